#pragma once

#include <QWidget>

class LostReleaseWatch;

// The seek bar: a grey bar across the whole width, a green highlight over the
// current section and a triangular thumb above the bar at the current value.
// It maps the integer range linearly onto its width in twips and back; the
// user drags the thumb to choose a new value.
class PlaySlider : public QWidget
{
    Q_OBJECT

public:
    explicit PlaySlider(QWidget* parent = nullptr);
    ~PlaySlider() override;

    // Max and Min only give the span Max - Min; setting them moves nothing.
    qint32 Max() const { return max_; }
    void setMax(qint32 max) { max_ = max; }
    qint32 Min() const { return min_; }
    void setMin(qint32 min) { min_ = min; }
    // Settings made while the user drags the thumb are dropped.
    qint32 Value() const { return value_; }
    void setValue(qint32 value);
    // The start moves the highlight's left edge only; the end sets its width
    // from that edge, so the start is set first.
    qint32 SectionStart() const { return sectionStart_; }
    void setSectionStart(qint32 start);
    qint32 SectionEnd() const { return sectionEnd_; }
    void setSectionEnd(qint32 end);

    bool isDragging() const { return dragging; }
    double thumbLeftTwips() const { return thumbLeft_; }
    double sectionLeftTwips() const { return sectionLeft_; }
    // Below zero when the end lies left of the start; nothing is shown then.
    double sectionWidthTwips() const { return sectionWidth_; }
    QWidget* thumb() const { return picPoint; }

    QSize sizeHint() const override;

signals:
    // During a drag, after every move of the thumb: the value under its centre.
    void TryToSeekTo(qint32 position);
    // When a button pressed on the thumb is released: the value under its centre.
    void SeekTo(qint32 position);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    LostReleaseWatch* lostRelease_ = nullptr;
    double barWidthTwips() const;
    double positionOf(qint32 value) const;
    qint32 valueUnderThumb() const;
    void placeThumb(double left);
    void endLostDrag();
    void paintThumb();

    QWidget* picPoint;
    qint32 max_ = 0;
    qint32 min_ = 0;
    qint32 value_ = 0;
    qint32 sectionStart_ = 0;
    qint32 sectionEnd_ = 0;
    double thumbLeft_ = 0;
    double sectionLeft_ = 0;
    double sectionWidth_ = 0;
    bool dragging = false;
    double dragOffsetX = 0; // twips inside the thumb where it was grabbed
};
