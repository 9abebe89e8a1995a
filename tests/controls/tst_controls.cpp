// The seek bar and the push button, driven with the mouse as a person would.

#include "controls/AquaButton.h"
#include "controls/PlaySlider.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <limits>

namespace {

// The main window's bar: 301 pixels, 4515 twips.
void setRange(PlaySlider& slider, qint32 min, qint32 max, int widthPixels = 301)
{
    slider.resize(widthPixels, 30);
    slider.setMin(min);
    slider.setMax(max);
}

// Grabs the thumb at its centre, moves the pointer by dx pixels, lets go.
void drag(PlaySlider& slider, int dx)
{
    QTest::mousePress(slider.thumb(), Qt::LeftButton);
    QTest::mouseMove(slider.thumb(), QPoint(6 + dx, 5));
    QTest::mouseRelease(slider.thumb(), Qt::LeftButton);
}

} // namespace

class TestControls : public QObject
{
    Q_OBJECT

private slots:
    void seekBarMapsValuesAndDrags()
    {
        // The thumb's centre goes to the nearest twip, a half to the even one;
        // Min is not subtracted; an empty span puts it at 0.
        using Case = std::tuple<qint32, qint32, qint32, double>;
        for (const auto& [min, max, value, left] :
             {Case{0, 600000, 300000, 2160.5}, Case{0, 9030, 4513, 2158.5},
              Case{100, 1100, 100, 452 - 97.5}, Case{7, 7, 5, -97.5}}) {
            PlaySlider slider;
            setRange(slider, min, max);
            slider.setValue(value);
            QCOMPARE(slider.thumbLeftTwips(), left);
            QCOMPARE(slider.thumb()->geometry(), QRect(qRound(left / 15), 3, 13, 11));
        }
        // The highlight's end sets its width from the left edge as it stands.
        PlaySlider slider;
        setRange(slider, 0, 600000);
        slider.setSectionStart(100000);
        slider.setSectionEnd(200000);
        QCOMPARE(slider.sectionLeftTwips(), 752.5);
        QCOMPARE(slider.sectionWidthTwips(), 752.5);
        slider.setSectionStart(300000);
        QCOMPARE(slider.sectionWidthTwips(), 752.5);
        slider.setValue(300000);
        QSignalSpy trying(&slider, &PlaySlider::TryToSeekTo);
        QSignalSpy seeking(&slider, &PlaySlider::SeekTo);
        // A plain click reports the value under the thumb's centre on release;
        // settings from playback are dropped while the user holds the thumb.
        QTest::mousePress(slider.thumb(), Qt::LeftButton);
        slider.setValue(100000);
        QCOMPARE(slider.thumbLeftTwips(), 2160.5);
        QTest::mouseRelease(slider.thumb(), Qt::LeftButton);
        QCOMPARE(trying.count(), 0);
        QCOMPARE(seeking.takeFirst().at(0).toInt(), 300066);
        // The grabbed point follows the pointer, within the bar: the centre can
        // end one twip beyond it, not half a thumb.
        const QList<std::pair<int, int>> drags = {{10, 320000}, {-1000, 0}, {302, 600133}};
        for (const auto& [dx, value] : drags) {
            drag(slider, dx);
            QCOMPARE(trying.takeFirst().at(0).toInt(), value);
            QCOMPARE(seeking.takeFirst().at(0).toInt(), value);
        }
        // Ten hours of milliseconds times the bar width needs more than 32 bits.
        slider.setMax(36000000);
        drag(slider, 1000);
        QCOMPARE(seeking.takeFirst().at(0).toInt(), 36007973);
        // A half between two values goes to the even one.
        setRange(slider, 0, 4500, 300);
        slider.setValue(250);
        slider.setMax(45);
        QTest::mouseClick(slider.thumb(), Qt::LeftButton);
        QCOMPARE(seeking.takeFirst().at(0).toInt(), 2);
        // A thumb that a smaller span left far beyond the bar reports the end of
        // the range, never a value that wrapped around.
        setRange(slider, 0, 1, 16777215);
        slider.setValue(17);
        slider.setMin(std::numeric_limits<qint32>::min());
        slider.setMax(std::numeric_limits<qint32>::max());
        QTest::mouseClick(slider.thumb(), Qt::LeftButton);
        QCOMPARE(seeking.takeFirst().at(0).toInt(), std::numeric_limits<qint32>::max());
        // A bar without width or span reports 0.
        setRange(slider, 0, 1000, 0);
        drag(slider, 5);
        QCOMPARE(seeking.takeFirst().at(0).toInt(), 0);
    }

    // A release the toolkit drops (to a modal window, or a hide) ends the press:
    // the seek bar seeks where its thumb is, the button lets go without a click.
    void releasesLostToAModalWindowOrAHide()
    {
        QWidget window;
        auto* slider = new PlaySlider(&window);
        auto* button = new AquaButton(&window);
        setRange(*slider, 0, 600000);
        slider->setValue(300000);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy seeking(slider, &PlaySlider::SeekTo);
        QSignalSpy clicks(button, &AquaButton::Click);

        QTest::mousePress(slider->thumb(), Qt::LeftButton);
        QTest::mouseMove(slider->thumb(), QPoint(16, 5));
        QTest::mousePress(button, Qt::LeftButton);
        QWidget modal;
        modal.setWindowModality(Qt::ApplicationModal);
        modal.show();
        QVERIFY(!slider->isDragging() && !button->isPressed());
        QTRY_COMPARE(seeking.count(), 1);
        QCOMPARE(seeking.takeFirst().at(0).toInt(), 320000);
        modal.close();

        QTest::mousePress(slider->thumb(), Qt::LeftButton);
        QTest::mousePress(button, Qt::LeftButton);
        slider->hide();
        button->hide();
        QVERIFY(!slider->isDragging() && !button->isPressed());
        QTRY_COMPARE(seeking.count(), 1);
        slider->show();
        // A move over the thumb with no button held means the release was lost.
        QTest::mousePress(slider->thumb(), Qt::LeftButton);
        QMouseEvent free(QEvent::MouseMove, {6, 5}, {}, Qt::NoButton, Qt::NoButton, {});
        QApplication::sendEvent(slider->thumb(), &free);
        QVERIFY(!slider->isDragging());
        QTRY_COMPARE(seeking.count(), 2);
        QCOMPARE(clicks.count(), 0);
        QTest::mouseRelease(slider->thumb(), Qt::LeftButton); // QTest's own button state
    }

    void buttonClicksOnEveryRelease()
    {
        AquaButton button;
        button.resize(7, 13); // clamped to 600 to 3000 twips wide, 330 high
        QCOMPARE(button.size(), QSize(40, 13));
        button.resize(120, 22);
        QSignalSpy clicks(&button, &AquaButton::Click);
        bool pressedInHandler = false;
        connect(&button, &AquaButton::Click, [&] { pressedInHandler |= button.isPressed(); });
        // Pressed and dragged off, the button still clicks on release.
        QTest::mousePress(&button, Qt::LeftButton);
        QTest::mouseMove(&button, QPoint(500, 200));
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(500, 200));
        // Qt delivers a double click as press, release, double click, release.
        QTest::mouseClick(&button, Qt::RightButton);
        QTest::mouseDClick(&button, Qt::LeftButton);
        QVERIFY(button.isPressed());
        QTest::mouseRelease(&button, Qt::LeftButton);
        QCOMPARE(clicks.count(), 3);
        QVERIFY(!pressedInHandler);
    }
};

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
