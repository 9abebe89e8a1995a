// The push button's size limits, caption placement, pressed look and Click rule.

#include "controls/AquaButton.h"

#include <QSignalSpy>
#include <QTest>

class TestAquaButton : public QObject
{
    Q_OBJECT

    // Where the caption's text covers at least half of a pixel, between the
    // rounded ends and above the dark bottom edge, where each row of the face
    // is one flat grey that text can only darken.
    static QRect inkOf(AquaButton& button)
    {
        const QImage face = button.grab().toImage();
        QRect ink;
        for (int y = 0; y < 20; ++y) {
            int background = 0;
            for (int x = 3; x < face.width() - 3; ++x)
                background = qMax(background, qGray(face.pixel(x, y)));
            for (int x = 3; x < face.width() - 3; ++x)
                if (2 * (background - qGray(face.pixel(x, y))) > background - 0x40)
                    ink |= QRect(x, y, 1, 1);
        }
        return ink;
    }

private slots:
    // Sizes in twips: 100 x 200 becomes 600 x 200, 5000 x 500 becomes 3000 x 330.
    void sizeIsClamped()
    {
        AquaButton button;
        button.resize(7, 13);
        QCOMPARE(button.size(), QSize(40, 13));
        button.resize(333, 33);
        QCOMPARE(button.size(), QSize(200, 22));
    }

    void captionIsCentred()
    {
        AquaButton button;
        button.resize(120, 22);
        button.setCaption(QStringLiteral("Play (F11)"));
        QCOMPARE(button.Caption(), QStringLiteral("Play (F11)"));
        const QRect ink = inkOf(button);
        QVERIFY(ink.width() > 20);
        QVERIFY(qAbs(ink.center().x() - 60) <= 2);
        QVERIFY(ink.top() >= 3);
        // A caption wider than the button is cut off on both sides: neither
        // of the Ws shows.
        button.setCaption(QStringLiteral("WW") + QString(80, u' ') + QStringLiteral("WW"));
        QVERIFY(button.fontMetrics().horizontalAdvance(button.Caption()) > 140);
        QVERIFY(inkOf(button).isNull());
        button.setCaption(QString());
        QVERIFY(inkOf(button).isNull());
    }

    void everyReleaseOfAPressClicks()
    {
        AquaButton button;
        button.resize(120, 22);
        QSignalSpy clicks(&button, &AquaButton::Click);
        // A handler runs with the button already released.
        bool pressedInHandler = false;
        connect(&button, &AquaButton::Click, [&] { pressedInHandler |= button.isPressed(); });
        QTest::mouseClick(&button, Qt::RightButton);
        QCOMPARE(clicks.count(), 1);

        // Pressed and dragged off: the release still goes to the button.
        QTest::mousePress(&button, Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);
        QTest::mouseMove(&button, QPoint(500, 200));
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(500, 200));
        QCOMPARE(clicks.count(), 2);

        // Qt delivers a double click as press, release, double click, release.
        QTest::mousePress(&button, Qt::LeftButton);
        QTest::mouseRelease(&button, Qt::LeftButton);
        QTest::mouseDClick(&button, Qt::LeftButton);
        QVERIFY(button.isPressed());
        QTest::mouseRelease(&button, Qt::LeftButton);
        QCOMPARE(clicks.count(), 4);
        QVERIFY(!button.isPressed() && !pressedInHandler);
    }

    // The face darkens while pressed; the caption stays where it is.
    void pressedLookIsDarker()
    {
        AquaButton button;
        button.resize(120, 22);
        button.setCaption(QStringLiteral("Rewind (F12)"));
        const auto grey = [&button] {
            return qGray(button.grab().toImage().pixel(5, 10));
        };
        const QRect caption = inkOf(button);
        const int released = grey();
        QTest::mousePress(&button, Qt::LeftButton);
        QVERIFY(button.isPressed());
        QCOMPARE(inkOf(button), caption);
        QVERIFY(grey() < released - 32);
        QTest::mouseRelease(&button, Qt::LeftButton);
        QCOMPARE(grey(), released);
    }

    // A press whose release is lost leaves the button released and silent:
    // a hidden button does nothing, and a modal window took the mouse.
    void lostReleaseReleasesWithoutClick()
    {
        QWidget window;
        auto* button = new AquaButton(&window);
        button->resize(117, 22);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy clicks(button, &AquaButton::Click);

        QTest::mousePress(button, Qt::LeftButton);
        button->hide();
        QVERIFY(!button->isPressed());
        button->show();
        QTest::mouseRelease(button, Qt::LeftButton);
        clicks.clear(); // QTest delivers the release itself; the toolkit would not

        QTest::mousePress(button, Qt::LeftButton);
        QWidget modal;
        modal.setWindowModality(Qt::ApplicationModal);
        modal.show();
        QVERIFY(!button->isPressed());
        QCOMPARE(clicks.count(), 0);
        QTest::mouseRelease(button, Qt::LeftButton);
    }
};

QTEST_MAIN(TestAquaButton)
#include "tst_aquabutton.moc"
