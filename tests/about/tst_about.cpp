#include "TestFiles.h"
#include "TestWindow.h"
#include "UrlRecorder.h"

#include "about/FormAbout.h"
#include "about/HelpPages.h"
#include "controls/AquaButton.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void aboutBoxIsModalAndOpensTheProductPage();
    void helpKeyOpensTheUserGuide();
    void userGuideTellsEveryKey();
    void pagesHaveEverythingTheyShow();
};

void TestAbout::aboutBoxIsModalAndOpensTheProductPage()
{
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    const UrlRecorder browser;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));

    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<FormAbout*>(QApplication::activeModalWidget());
        QVERIFY(about);
        seen = true;
        const auto closing = qScopeGuard([about] { about->close(); });
        QCOMPARE(about->parentWidget(), &w);
        QCOMPARE(about->windowTitle(), QString("About"));
        QVERIFY(!(about->windowFlags() &
                  (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(about->minimumSize(), QSize(363, 198));
        QCOMPARE(about->maximumSize(), QSize(363, 198));
        const FormAbout::Controls& a = about->controls();
        QCOMPARE(a.Label1->text(), QString("Kelvane"));
        QCOMPARE(a.Label1->font().pointSize(), 12);
        QCOMPARE(a.Label2->text(), QString("version 1.1"));
        QCOMPARE(a.cmdHomepage->Caption(), QString("Homepage"));

        // Every click opens the product page; the box stays.
        QTest::mouseClick(a.cmdHomepage, Qt::LeftButton);
        QTest::mouseClick(a.cmdHomepage, Qt::LeftButton);
        QCOMPARE(browser.opened, QList<QUrl>(2, productPageAddress()));
        QVERIFY(about->isVisible());
    });
    c.menuAbout->trigger();
    QVERIFY(seen);
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(QFileInfo(productPageAddress().toLocalFile()).isFile());
    QCOMPARE(prompts.asked.size(), 0);
}

// F1 opens the user guide from the text box, with or without a project,
// and leaves the window as it was. A page that is missing is explained.
void TestAbout::helpKeyOpensTheUserGuide()
{
    TestWindow t;
    auto& [device, prompts, w, c] = t;
    const UrlRecorder browser;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    c.txtScript->setFocus();
    QTest::keyClicks(c.txtScript, "half a sen");
    const QString title = w.windowTitle();

    QTest::keyClick(c.txtScript, Qt::Key_F1);
    QCOMPARE(browser.opened, QList<QUrl>{userGuideAddress()});
    QVERIFY(QFileInfo(userGuideAddress().toLocalFile()).isFile());
    QCOMPARE(c.txtScript->toPlainText(), QString("half a sen"));
    QVERIFY(c.txtScript->textCursor().atEnd());
    QCOMPARE(w.windowTitle(), title);
    QCOMPARE(prompts.asked.size(), 0);

    prompts.script({Prompts::Answer::Ok});
    openHelpPage(&w, prompts, QUrl::fromLocalFile("/nonexistent/help/user-guide.html"));
    QCOMPARE(prompts.asked.size(), 1);
    QVERIFY(prompts.asked[0].text.contains("/nonexistent/help/user-guide.html"));
    QVERIFY(prompts.asked[0].text.contains("missing"));
    QCOMPARE(browser.opened.size(), 1);
}

// The guide's key table names every key of the menus, as "Ctrl+N" in
// keyboard marks.
void TestAbout::userGuideTellsEveryKey()
{
    const QString guide = QString::fromUtf8(TestFiles::read(userGuideAddress().toLocalFile()));
    TestWindow t;
    int keys = 0;
    for (QMenu* menu : {t.c.mFile, t.c.menuPlayControl, t.c.menuHelp}) {
        for (const QAction* item : menu->actions()) {
            if (item->shortcut().isEmpty())
                continue;
            QStringList parts = item->shortcut().toString().split(u'+');
            for (QString& part : parts)
                part = "<kbd>" + part + "</kbd>";
            QVERIFY2(guide.contains(parts.join(u'+')), qPrintable(item->text()));
            ++keys;
        }
    }
    QCOMPARE(keys, 12);
}

// Every file the pages link to or show comes with them.
void TestAbout::pagesHaveEverythingTheyShow()
{
    const QDir help = QFileInfo(userGuideAddress().toLocalFile()).dir();
    const QRegularExpression local(R"re((?:src|href)="([^"#:]+)(?:#[^"]*)?")re");
    int links = 0;
    for (const QString& page : help.entryList({"*.html"}, QDir::Files)) {
        const QString html = QString::fromUtf8(TestFiles::read(help.filePath(page)));
        for (const QRegularExpressionMatch& link : local.globalMatch(html)) {
            QVERIFY2(QFileInfo(help.filePath(link.captured(1))).isFile(),
                     qPrintable(page + ": " + link.captured(1)));
            ++links;
        }
    }
    QVERIFY(links >= 6); // the pages, the style sheet and the screenshots
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
