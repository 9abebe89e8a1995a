#include "TestFiles.h"
#include "TestWindow.h"
#include "UrlRecorder.h"

#include "about/FormAbout.h"
#include "about/HelpPages.h"
#include "controls/AquaButton.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTimer>

class TestAboutBox : public QObject
{
    Q_OBJECT

private slots:
    void aboutBoxOpensTheProductPage();
    void helpPagesAreComplete();
};

void TestAboutBox::aboutBoxOpensTheProductPage()
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

    // A page that is missing is explained, not handed to the browser.
    t.prompts.script({Prompts::Answer::Ok});
    openHelpPage(&t.w, t.prompts, QUrl::fromLocalFile("/nonexistent/help/user-guide.html"));
    QVERIFY(
        t.prompts.asked.value(0).text.contains("/nonexistent/help/user-guide.html\nis missing"));
    QCOMPARE(browser.opened.size(), 1);
}

// The guide names every key of the menus ("<kbd>Ctrl</kbd>+<kbd>N</kbd>").
void TestAboutBox::helpPagesAreComplete()
{
    const QString guide = QString::fromUtf8(TestFiles::read(userGuideAddress().toLocalFile()));
    TestWindow t;
    int keys = 0;
    for (QMenu* menu : {t.c.mFile, t.c.menuPlayControl, t.c.menuHelp}) {
        for (const QAction* item : menu->actions()) {
            QStringList parts = item->shortcut().toString().split(u'+', Qt::SkipEmptyParts);
            for (QString& part : parts)
                part = "<kbd>" + part + "</kbd>";
            QVERIFY2(parts.isEmpty() || guide.contains(parts.join(u'+')), qPrintable(item->text()));
            keys += !parts.isEmpty();
        }
    }
    QCOMPARE(keys, 12);
}

QTEST_MAIN(TestAboutBox)
#include "tst_aboutbox.moc"
