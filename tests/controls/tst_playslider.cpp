// The seek bar's mapping, drag and painting on the main window's 301-pixel bar
// (4515 twips).

#include "controls/PlaySlider.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

class TestPlaySlider : public QObject
{
    Q_OBJECT

    static void setRange(PlaySlider& slider, qint32 min, qint32 max, int widthPixels = 301)
    {
        slider.resize(widthPixels, 30);
        slider.setMin(min);
        slider.setMax(max);
    }

    // Grabs the thumb at its centre, moves the pointer by dx pixels, lets go.
    static void drag(PlaySlider& slider, int dx)
    {
        QTest::mousePress(slider.thumb(), Qt::LeftButton);
        QTest::mouseMove(slider.thumb(), QPoint(6 + dx, 5));
        QTest::mouseRelease(slider.thumb(), Qt::LeftButton);
    }

private slots:
    void valuePutsThumbCentreOnBar_data()
    {
        QTest::addColumn<int>("min");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("value");
        QTest::addColumn<double>("left");
        QTest::newRow("x 2257.5 goes up to even") << 0 << 600000 << 300000 << 2160.5;
        QTest::newRow("x 2256.5 goes down to even") << 0 << 9030 << 4513 << 2158.5;
        QTest::newRow("min not subtracted") << 100 << 1100 << 100 << 452 - 97.5;
        QTest::newRow("empty span") << 7 << 7 << 5 << -97.5;
    }
    void valuePutsThumbCentreOnBar()
    {
        QFETCH(int, min);
        QFETCH(int, max);
        QFETCH(int, value);
        QFETCH(double, left);
        PlaySlider slider;
        setRange(slider, min, max);
        slider.setValue(value);
        QCOMPARE(slider.thumbLeftTwips(), left);
        QCOMPARE(slider.thumb()->geometry(), QRect(qRound(left / 15), 3, 13, 11));
    }

    void dragReportsValueUnderThumbCentre()
    {
        PlaySlider slider;
        setRange(slider, 0, 600000);
        slider.setValue(300000);
        QSignalSpy trying(&slider, &PlaySlider::TryToSeekTo);
        QSignalSpy seeking(&slider, &PlaySlider::SeekTo);

        // A plain click reports where the thumb is (centre 2258) and only on release.
        QTest::mousePress(slider.thumb(), Qt::LeftButton);
        QVERIFY(slider.isDragging());
        QCOMPARE(seeking.count(), 0);
        // Settings from playback are dropped while the user holds the thumb.
        slider.setValue(100000);
        QCOMPARE(slider.Value(), 300000);
        QCOMPARE(slider.thumbLeftTwips(), 2160.5);
        QTest::mouseRelease(slider.thumb(), Qt::LeftButton);
        QVERIFY(!slider.isDragging());
        QCOMPARE(trying.count(), 0);
        QCOMPARE(seeking.takeFirst().at(0).toInt(), 300066);

        // The grabbed point follows the pointer: 10 px right, left 2310, centre 2408.
        drag(slider, 10);
        QCOMPARE(slider.thumbLeftTwips(), 2310.0);
        QCOMPARE(trying.takeFirst().at(0).toInt(), 320000);
        QCOMPARE(seeking.takeFirst().at(0).toInt(), 320000);

        drag(slider, -1000);
        QCOMPARE(slider.thumbLeftTwips(), -98.0);
        QCOMPARE(trying.takeFirst().at(0).toInt(), 0);
        QCOMPARE(seeking.takeFirst().at(0).toInt(), 0);

        // The centre can end one twip beyond the bar (4516), a little above Max.
        drag(slider, 1000);
        QCOMPARE(slider.thumbLeftTwips(), 4418.0);
        QCOMPARE(trying.takeFirst().at(0).toInt(), 600133);
        QCOMPARE(seeking.takeFirst().at(0).toInt(), 600133);
        QCOMPARE(slider.Value(), 300000);

        // Ten hours of milliseconds times the bar width needs more than 32 bits.
        slider.setMax(36000000);
        drag(slider, 1000);
        QCOMPARE(seeking.takeFirst().at(0).toInt(), 36007973);

        // Back to value: a half between two values goes to the even one
        // (span 45 on a 4500-twip bar: centre 250 gives 2.5, reported as 2).
        setRange(slider, 0, 4500, 300);
        slider.setValue(250);
        slider.setMax(45);
        QTest::mouseClick(slider.thumb(), Qt::LeftButton);
        QCOMPARE(seeking.takeFirst().at(0).toInt(), 2);
    }

    // A drag whose release the toolkit drops (a modal window opens, the bar is
    // hidden) ends where the thumb is, so playback may move the thumb again.
    void lostReleaseEndsTheDrag()
    {
        QWidget window;
        auto* slider = new PlaySlider(&window);
        setRange(*slider, 0, 600000);
        slider->setValue(300000);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy seeking(slider, &PlaySlider::SeekTo);

        QTest::mousePress(slider->thumb(), Qt::LeftButton);
        QTest::mouseMove(slider->thumb(), QPoint(16, 5));
        QWidget modal;
        modal.setWindowModality(Qt::ApplicationModal);
        modal.show();
        QVERIFY(!slider->isDragging());
        QTRY_COMPARE(seeking.count(), 1);
        QCOMPARE(seeking.takeFirst().at(0).toInt(), 320000);
        modal.close();
        slider->setValue(100000);
        QCOMPARE(slider->Value(), 100000);

        QTest::mousePress(slider->thumb(), Qt::LeftButton);
        slider->hide();
        QVERIFY(!slider->isDragging());
        QTRY_COMPARE(seeking.count(), 1);
        slider->show();

        // A move over the thumb with no button held means the release was lost.
        QTest::mousePress(slider->thumb(), Qt::LeftButton);
        QMouseEvent free(QEvent::MouseMove, QPointF(6, 5),
                         slider->thumb()->mapToGlobal(QPointF(6, 5)), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(slider->thumb(), &free);
        QVERIFY(!slider->isDragging());
        QTRY_COMPARE(seeking.count(), 2);
        QTest::mouseRelease(slider->thumb(), Qt::LeftButton); // QTest's own button state
    }

    void sectionEndWorksFromCurrentLeftEdge()
    {
        PlaySlider slider;
        setRange(slider, 0, 600000);
        slider.setSectionStart(100000);
        slider.setSectionEnd(200000);
        QCOMPARE(slider.sectionLeftTwips(), 752.5);
        QCOMPARE(slider.sectionWidthTwips(), 752.5);
        slider.setSectionStart(300000);
        QCOMPARE(slider.sectionLeftTwips(), 2257.5);
        QCOMPARE(slider.sectionWidthTwips(), 752.5);
        slider.setSectionEnd(0);
        QCOMPARE(slider.sectionWidthTwips(), -2257.5);
    }

    void resizeMovesNothingUntilNextSetting()
    {
        PlaySlider slider;
        setRange(slider, 0, 600000);
        slider.setValue(600000);
        slider.setSectionStart(300000);
        slider.resize(602, 30);
        QCOMPARE(slider.thumbLeftTwips(), 4417.5);
        QCOMPARE(slider.sectionLeftTwips(), 2257.5);
        slider.setValue(600000);
        slider.setSectionStart(300000);
        QCOMPARE(slider.thumbLeftTwips(), 9030 - 97.5);
        QCOMPARE(slider.sectionLeftTwips(), 4515.0);
        drag(slider, 1000);
        QCOMPARE(slider.thumbLeftTwips(), 8932.0);
    }

    void emptySpanOrBarReportsZero()
    {
        PlaySlider fresh;
        QSignalSpy seeking(&fresh, &PlaySlider::SeekTo);
        drag(fresh, 5);
        setRange(fresh, 0, 1000, 0);
        fresh.setValue(500);
        fresh.setSectionStart(100);
        fresh.setSectionEnd(900);
        drag(fresh, 5);
        const QList<QList<QVariant>> zeroTwice{{0}, {0}};
        QCOMPARE(QList<QList<QVariant>>(seeking), zeroTwice);
        QVERIFY(qIsFinite(fresh.thumbLeftTwips()) && qIsFinite(fresh.sectionWidthTwips()));
    }

    // 500 px with one twip per unit: highlight 10..490 px, thumb centred at 250 px.
    void paintsBarSectionAndThumb()
    {
        PlaySlider slider;
        setRange(slider, 0, 7500, 500);
        slider.setValue(3750);
        slider.setSectionStart(150);
        slider.setSectionEnd(7350);
        const auto at = [&slider](int x, int y) {
            return slider.grab().toImage().pixel(x, y);
        };
        QCOMPARE(at(5, 14), qRgb(0xB4, 0xB4, 0xB4));
        QCOMPARE(at(495, 20), qRgb(0xE0, 0xE0, 0xE0)); // bar beyond its picture
        QCOMPARE(at(20, 14), qRgb(0x6D, 0xA5, 0x3B));
        QCOMPARE(at(470, 20), qRgb(0xC0, 0xC0, 0xC0)); // highlight beyond its picture
        QCOMPARE(at(250, 3), qRgb(0x73, 0x9F, 0xF6));
        QCOMPARE(at(250, 13), qRgb(0x2B, 0x45, 0xD3));
        QCOMPARE(at(245, 13), qRgb(0xFF, 0xFF, 0xFF));
        slider.setSectionEnd(0);
        QCOMPARE(at(20, 14), qRgb(0xB4, 0xB4, 0xB4));
    }
};

QTEST_MAIN(TestPlaySlider)
#include "tst_playslider.moc"
