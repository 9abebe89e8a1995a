#include "TestWindow.h"
#include "UrlRecorder.h"

#include "about/FormAbout.h"
#include "about/HelpPages.h"
#include "controls/AquaButton.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>

class TestAboutBox : public QObject
{
    Q_OBJECT

private slots:
    // The About box shows the version over the main window and opens the product
    // page, which comes with the program; a missing page is told, not opened.
    void aboutBoxOpensTheProductPage()
    {
        TestWindow t;
        const UrlRecorder browser;
        QString version;
        QTimer::singleShot(0, [&] {
            auto* about = qobject_cast<FormAbout*>(QApplication::activeModalWidget());
            if (!about || about->parentWidget() != &t.w)
                return;
            version = about->controls().Label2->text();
            QTest::mouseClick(about->controls().cmdHomepage, Qt::LeftButton);
            about->close();
        });
        t.c.menuAbout->trigger();
        QCOMPARE(version, QString("version 1.1"));
        QCOMPARE(browser.opened, QList<QUrl>{productPageAddress()});
        QVERIFY(QFileInfo(productPageAddress().toLocalFile()).isFile());
        t.prompts.script({Prompts::Answer::Ok});
        openHelpPage(&t.w, t.prompts, QUrl::fromLocalFile("/nonexistent/user-guide.html"));
        QVERIFY(t.prompts.asked.value(0).text.contains("/nonexistent/user-guide.html\nis missing"));
        QCOMPARE(browser.opened.size(), 1);
    }
};

QTEST_MAIN(TestAboutBox)
#include "tst_aboutbox.moc"
