#pragma once

#include <QElapsedTimer>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <vector>

class Envelope;
class LostReleaseWatch;
class SectionTableModel;

// A strip across the window showing a span of the recording around the play
// position: its loudness, mirrored about the middle on a decibel scale, the
// sections of the table in two alternating greys, the open capture section in
// the seek bar's green, a line at every boundary and the play line.
//
// While playing, the view scrolls with the play line, in steps of a few
// columns, so that the line stands near the middle unless the start or the
// end of the recording is in view; between two steps a frame draws only the
// columns the line left and reached. Between two positions reported by the
// program the line moves on at the playing speed, at 20 frames a second at
// most, with a timer that runs only while playing and visible. The envelope and the sections are
// drawn into a picture three views wide, which each frame shows at an offset; it is drawn again
// only when the view leaves it or a committed section changes. The capture section's end follows
// the play line while its row ends at the position last reported: each frame draws only the columns
// it passed, and its label.
//
// A plain wheel scrolls the view while paused (until playing or a position
// outside the view brings it back to the play line); Ctrl and the wheel zoom,
// about the pointer when the view was scrolled, else about the play line. A
// press within GrabPixels of a boundary between two timed rows drags it: the
// strip asks for the move with boundaryMoved at every step, clamped between
// the start of the one section and the end of the other (either may become
// empty), and shows the move once the table holds it. The end of the capture section follows the
// position and is no boundary. A click elsewhere, or on a boundary without
// moving, asks to seek there. The strip never takes the keyboard focus.
class WaveformStrip final : public QWidget
{
    Q_OBJECT

public:
    static constexpr qint32 MinSpanMs = 5000;
    static constexpr qint32 MaxSpanMs = 600000;
    static constexpr qint32 DefaultSpanMs = 20000;
    static constexpr int FrameMs = 50;
    static constexpr int GrabPixels = 4;
    static constexpr int ScrollStep = 8;
    // The quietest level drawn, below full scale; anything quieter shows as
    // the middle line alone.
    static constexpr double RangeDb = 50;

    // The table outlives the strip; rows are read from its raw times.
    explicit WaveformStrip(const SectionTableModel& table, QWidget* parent = nullptr);
    ~WaveformStrip() override;

    // Not owned; nullptr leaves the strip empty but for the sections and the
    // note. The envelope must live until it is replaced.
    void setEnvelope(const Envelope* envelope);
    // More of the envelope is known from `fromMs` to `toMs`: only those columns
    // are drawn again.
    void envelopeGrew(qint32 fromMs, qint32 toMs);
    // A short note shown while there is no envelope ("" for none).
    void setNote(const QString& note);
    void setLength(qint32 lengthMs);
    // The position as the program reports it.
    void setPosition(qint32 ms);
    // Between two reports the play line moves on at `speed` (1 = as recorded).
    void setPlaying(bool playing, double speed = 1);
    // The open capture section's row, -1 for none.
    void setCaptureRow(int row);

    qint32 spanMs() const { return spanMs_; }
    // Kept between MinSpanMs and MaxSpanMs.
    void setSpanMs(qint32 spanMs);
    void zoomIn();
    void zoomOut();

    // Where the play line stands now, between reports too.
    qint32 shownPosition() const;
    // The time under the column `x` of the strip, and the column of a time.
    qint32 timeAt(double x) const;
    int xOf(qint32 ms) const;
    // The timer of the frames, for the tests.
    const QTimer& frameTimer() const { return frames_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // A click (no drag) at that time.
    void seekRequested(qint32 ms);
    // The end of `row` and the start of `row + 1` are to move to `ms`.
    void boundaryMoved(int row, qint32 ms);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    struct Bounds
    {
        qint32 start = 0;
        qint32 end = 0;
        bool timed = false;
    };
    // The rows whose boundaries lie nearest a column: the first and the
    // last of those that coincide; -1 when none is within reach.
    struct Grab
    {
        int first = -1;
        int last = -1;
    };

    qint32 nextSpan(bool narrower) const;
    void zoomTo(qint32 spanMs, double anchorX);
    void scrollTo(double startMs);
    double msPerPixel() const;
    // Columns are counted on the whole timeline, from its start.
    qint64 columnOf(qint32 ms) const;
    qint64 viewColumn(qint32 shown) const;
    qint64 clampView(qint64 column) const;
    void readRows(int first, int last);
    void onRowsChanged(int first, int last);
    void invalidate();
    void runFrames();
    void onFrame();
    void ensurePicture(qint64 view, qint32 shown);
    void drawColumns(QPainter& painter, int from, int to) const;
    void drawLabel(QPainter& painter, int row, int left, int right) const;
    qint32 captureEndAt(qint32 shown) const;
    Grab grabAt(double x) const;
    qint32 boundaryLimit(int row, bool upper) const;

    const SectionTableModel& table_;
    LostReleaseWatch* lostRelease_ = nullptr;
    const Envelope* envelope_ = nullptr;
    QString note_;
    qint32 lengthMs_ = 0;
    qint32 spanMs_ = DefaultSpanMs;
    std::vector<Bounds> rows_;
    int captureRow_ = -1;

    // The position last reported, and the clock since then.
    qint32 reported_ = 0;
    QElapsedTimer sinceReport_;
    bool playing_ = false;
    double speed_ = 1;
    QTimer frames_;
    qint64 lastFrameColumn_ = -1;
    qint64 lastFrameView_ = -1;

    // A view scrolled by the wheel starts here; -1 while it follows the line.
    qint32 scrolledStartMs_ = -1;
    int wheelZoom_ = 0; // wheel steps towards the next zoom

    QPixmap picture_;
    qint64 pictureColumn_ = 0; // the timeline column of its left edge
    bool pictureValid_ = false;
    qint32 captureDrawnEnd_ = 0; // the capture section's end in the picture

    // The press, the boundary grabbed and the row chosen for the drag.
    double pressX_ = 0;
    bool pressed_ = false;
    bool moved_ = false;
    Grab grab_;
    int dragRow_ = -1;
    qint32 grabOffsetMs_ = 0;
};
