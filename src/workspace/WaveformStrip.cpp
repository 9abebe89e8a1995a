#include "workspace/WaveformStrip.h"

#include "controls/LostReleaseWatch.h"
#include "controls/SeekBarLook.h"
#include "media/Envelope.h"
#include "model/FormatTime.h"
#include "model/SectionTableModel.h"

#include <QApplication>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

namespace {

const QColor Outside(0xC8, 0xC8, 0xC8); // before the start or past the end of the recording
const QColor Uncut(0xFF, 0xFF, 0xFF);   // in the recording but in no section
const QColor Shades[] = {QColor(0xE0, 0xE0, 0xE0),
                         QColor(0xEE, 0xEE, 0xEE)}; // rows 1, 3...; 2, 4...
const QColor Ink(0x4A, 0x4A, 0x4A);
const QColor Boundary(0x80, 0x80, 0x80);
const QColor LabelText(0x40, 0x40, 0x40);
const QColor PlayLine(SeekBarLook::ThumbDark);

constexpr qint32 ZoomSpansMs[] = {5000, 10000, 20000, 30000, 60000, 120000, 300000, 600000};
// Between two reports the line moves on for a second at most: a device that
// stops reporting does not leave it running away.
constexpr qint64 MovesOnForMs = 1000;
constexpr int WheelNotch = 120;
// A notch of the wheel scrolls a tenth of the view.
constexpr int NotchesPerSpan = 10;
constexpr int LabelMargin = 3;

constexpr int StartColumn = 0;
constexpr int EndColumn = 1;

// The share of the half height a level fills: full scale fills it, RangeDb
// below it nothing.
double heightOf(quint16 level)
{
    if (level == 0)
        return 0;
    const double db = 20 * std::log10(double(level) / Envelope::FullScale);
    return std::clamp(1 + db / WaveformStrip::RangeDb, 0.0, 1.0);
}

} // namespace

WaveformStrip::WaveformStrip(const SectionTableModel& table, QWidget* parent)
    : QWidget(parent), table_(table)
{
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true); // the cursor tells a boundary under the pointer
    setAttribute(Qt::WA_OpaquePaintEvent);
    frames_.setInterval(FrameMs);
    connect(&frames_, &QTimer::timeout, this, &WaveformStrip::onFrame);
    connect(&table_, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) {
                onRowsChanged(from.row(), to.row());
            });
    const auto readAll = [this] {
        readRows(0, table_.rowCount() - 1);
        invalidate();
    };
    connect(&table_, &QAbstractItemModel::rowsInserted, this, readAll);
    connect(&table_, &QAbstractItemModel::rowsRemoved, this, readAll);
    connect(&table_, &QAbstractItemModel::modelReset, this, readAll);
    connect(&table_, &QAbstractItemModel::layoutChanged, this, readAll);
    readRows(0, table_.rowCount() - 1);
    sinceReport_.start();
    lostRelease_ = new LostReleaseWatch(this, [this] { pressed_ = false; });
}

// The widget hides as it is destroyed: the watch must not tell a strip that
// is no longer one.
WaveformStrip::~WaveformStrip()
{
    delete lostRelease_;
}

QSize WaveformStrip::sizeHint() const
{
    return {600, 72};
}

QSize WaveformStrip::minimumSizeHint() const
{
    return {100, 32};
}

void WaveformStrip::setEnvelope(const Envelope* envelope)
{
    envelope_ = envelope;
    invalidate();
}

void WaveformStrip::envelopeGrew(qint32 fromMs, qint32 toMs)
{
    if (!pictureValid_ || envelope_ == nullptr)
        return; // drawn whole at the next paint
    const qint64 from = std::max<qint64>(columnOf(fromMs) - pictureColumn_, 0);
    const qint64 to = std::min<qint64>(columnOf(toMs) + 1 - pictureColumn_, 3 * width());
    if (from >= to)
        return;
    {
        QPainter painter(&picture_);
        drawColumns(painter, int(from), int(to));
    }
    const qint64 left = from + pictureColumn_ - viewColumn(shownPosition());
    if (left < width() && left + (to - from) > 0)
        update(int(std::max<qint64>(left, 0)), 0, int(to - from), height());
}

void WaveformStrip::setNote(const QString& note)
{
    note_ = note;
    update();
}

void WaveformStrip::setLength(qint32 lengthMs)
{
    lengthMs_ = std::max(lengthMs, 0);
    invalidate();
}

void WaveformStrip::setPosition(qint32 ms)
{
    reported_ = ms;
    sinceReport_.restart();
    if (scrolledStartMs_ >= 0) {
        const qint64 view = viewColumn(ms);
        if (columnOf(ms) < view || columnOf(ms) >= view + width())
            scrolledStartMs_ = -1; // a seek elsewhere: follow the line again
    }
    // While playing, the next frame shows it.
    if (!frames_.isActive())
        update();
}

void WaveformStrip::setPlaying(bool playing, double speed)
{
    // Told at every report of the position: only a change needs a frame.
    if (playing == playing_ && speed == speed_)
        return;
    reported_ = shownPosition();
    sinceReport_.restart();
    playing_ = playing;
    speed_ = speed;
    if (playing)
        scrolledStartMs_ = -1;
    runFrames();
    update();
}

void WaveformStrip::setCaptureRow(int row)
{
    if (std::exchange(captureRow_, row) != row)
        invalidate();
}

void WaveformStrip::setSpanMs(qint32 spanMs)
{
    zoomTo(spanMs, width() / 2.0);
}

void WaveformStrip::zoomIn()
{
    setSpanMs(nextSpan(true));
}

void WaveformStrip::zoomOut()
{
    setSpanMs(nextSpan(false));
}

// The next of the usual spans, narrower or wider.
qint32 WaveformStrip::nextSpan(bool narrower) const
{
    if (narrower) {
        const auto below = std::find_if(std::rbegin(ZoomSpansMs), std::rend(ZoomSpansMs),
                                        [this](qint32 span) { return span < spanMs_; });
        return below == std::rend(ZoomSpansMs) ? MinSpanMs : *below;
    }
    const auto* above = std::find_if(std::begin(ZoomSpansMs), std::end(ZoomSpansMs),
                                     [this](qint32 span) { return span > spanMs_; });
    return above == std::end(ZoomSpansMs) ? MaxSpanMs : *above;
}

// A view scrolled by the wheel keeps the time under `anchorX` where it is; a
// view that follows the play line keeps following it.
void WaveformStrip::zoomTo(qint32 spanMs, double anchorX)
{
    spanMs = std::clamp(spanMs, MinSpanMs, MaxSpanMs);
    if (spanMs == spanMs_)
        return;
    const qint32 anchor = timeAt(anchorX);
    spanMs_ = spanMs;
    if (scrolledStartMs_ >= 0)
        scrollTo(anchor - anchorX * msPerPixel());
    invalidate();
}

void WaveformStrip::scrollTo(double startMs)
{
    const qint64 column = clampView(qint64(std::floor(std::max(startMs, 0.0) / msPerPixel())));
    scrolledStartMs_ = qint32(std::ceil(double(column) * msPerPixel()));
}

qint32 WaveformStrip::shownPosition() const
{
    if (!playing_)
        return reported_;
    const qint64 elapsed = std::min(sinceReport_.elapsed(), MovesOnForMs);
    qint64 position = reported_ + qRound64(double(elapsed) * speed_);
    if (lengthMs_ > 0)
        position = std::min<qint64>(position, std::max(lengthMs_, reported_));
    return qint32(position);
}

qint32 WaveformStrip::timeAt(double x) const
{
    return qint32(std::lround((double(viewColumn(shownPosition())) + x) * msPerPixel()));
}

int WaveformStrip::xOf(qint32 ms) const
{
    return int(columnOf(ms) - viewColumn(shownPosition()));
}

double WaveformStrip::msPerPixel() const
{
    return spanMs_ / double(std::max(width(), 1));
}

qint64 WaveformStrip::columnOf(qint32 ms) const
{
    return qint64(std::floor(ms / msPerPixel()));
}

// The first column in view: where the wheel put it, or with the play line
// in the middle, unless that shows more than the recording's whole length.
// Following the play line, the view moves on in steps of ScrollStep columns:
// between two steps only the line moves, which costs a frame a few columns
// of drawing instead of the whole strip.
qint64 WaveformStrip::viewColumn(qint32 shown) const
{
    if (scrolledStartMs_ >= 0)
        return clampView(columnOf(scrolledStartMs_));
    const qint64 centred = columnOf(shown) - width() / 2;
    return clampView(centred - ((centred % ScrollStep) + ScrollStep) % ScrollStep);
}

qint64 WaveformStrip::clampView(qint64 column) const
{
    const qint64 last = columnOf(lengthMs_) + 1 - width();
    return std::max<qint64>(0, std::min(column, last));
}

void WaveformStrip::readRows(int first, int last)
{
    rows_.resize(size_t(std::max(table_.rowCount(), 0)));
    for (int row = std::max(first, 0); row <= last && row < int(rows_.size()); ++row) {
        const std::optional<qint32> start = ReadRawPosition(table_.cell(row, StartColumn));
        const std::optional<qint32> end = ReadRawPosition(table_.cell(row, EndColumn));
        rows_[size_t(row)] = {start.value_or(0), end.value_or(0), start && end};
    }
}

// The picture is drawn again, unless only the capture section's end or text
// changed: the next frame draws the columns its end passed, and its label.
void WaveformStrip::onRowsChanged(int first, int last)
{
    const bool captureOnly =
        first == captureRow_ && last == captureRow_ && captureRow_ < int(rows_.size());
    const Bounds before = captureOnly ? rows_[size_t(captureRow_)] : Bounds();
    readRows(first, last);
    if (!captureOnly || before.start != rows_[size_t(captureRow_)].start ||
        before.timed != rows_[size_t(captureRow_)].timed)
        pictureValid_ = false;
    // While playing, the capture section's end grows at every report of the
    // position; the next frame shows it.
    else if (frames_.isActive())
        return;
    update();
}

void WaveformStrip::invalidate()
{
    pictureValid_ = false;
    update();
}

void WaveformStrip::runFrames()
{
    if (playing_ && isVisible())
        frames_.start();
    else
        frames_.stop();
}

// A frame is drawn when the play line has moved by a column, which at the
// widest zoom is less often than the timer runs.
void WaveformStrip::onFrame()
{
    const qint32 shown = shownPosition();
    const qint64 column = columnOf(shown);
    const qint64 view = viewColumn(shown);
    const qint64 line = std::exchange(lastFrameColumn_, column);
    if (std::exchange(lastFrameView_, view) != view)
        update();
    else if (line != column) // the line and the capture end near it
        update(int(std::min(line, column) - view) - 2, 0, int(std::abs(column - line)) + 6,
               height());
}

void WaveformStrip::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    pictureValid_ = false;
}

void WaveformStrip::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    runFrames();
}

void WaveformStrip::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    runFrames();
}

// The picture covers three views, the view a half view from its left edge:
// playing on, it lasts for a view and a half. While the capture section's end
// moves on, the columns it passes are drawn again.
void WaveformStrip::ensurePicture(qint64 view, qint32 shown)
{
    const int w = width();
    const qint32 captureEnd = captureEndAt(shown);
    if (pictureValid_ && view >= pictureColumn_ && view + w <= pictureColumn_ + 3 * w) {
        const qint64 from = columnOf(std::min(captureEnd, captureDrawnEnd_)) - pictureColumn_;
        const qint64 to = columnOf(std::max(captureEnd, captureDrawnEnd_)) - pictureColumn_;
        captureDrawnEnd_ = captureEnd;
        if (from < to && to > 0 && from < 3 * w) {
            QPainter painter(&picture_);
            drawColumns(painter, int(std::max<qint64>(from, 0)), int(std::min<qint64>(to, 3 * w)));
        }
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const QSize size = QSize(3 * w, height()) * ratio;
    if (picture_.size() != size) {
        picture_ = QPixmap(size);
        picture_.setDevicePixelRatio(ratio);
    }
    pictureColumn_ = view - w / 2;
    pictureValid_ = true;
    captureDrawnEnd_ = captureEnd;
    QPainter painter(&picture_);
    drawColumns(painter, 0, 3 * w);
}

// Draws the picture's columns [from, to): the background, the committed
// sections, the envelope, the boundaries and the labels.
void WaveformStrip::drawColumns(QPainter& painter, int from, int to) const
{
    const int h = height();
    painter.setClipRect(from, 0, to - from, h);
    painter.fillRect(from, 0, to - from, h, Outside);
    const double perPixel = msPerPixel();
    // Labels start where their section does, or at the picture's left edge,
    // whichever columns are drawn.
    const auto inPicture = [&](qint64 column) {
        return int(std::clamp<qint64>(column - pictureColumn_, -1, 3 * width()));
    };
    const int mediaFrom = inPicture(0);
    const int mediaTo = inPicture(qint64(std::ceil(lengthMs_ / perPixel)));
    painter.fillRect(mediaFrom, 0, mediaTo - mediaFrom, h, Uncut);

    const auto sections = [&](auto draw) {
        for (int row = 0; row < int(rows_.size()); ++row) {
            const Bounds& b = rows_[size_t(row)];
            if (!b.timed)
                continue;
            const int left = inPicture(columnOf(b.start));
            const int right = inPicture(columnOf(row == captureRow_ ? captureDrawnEnd_ : b.end));
            if (right >= from && left < to)
                draw(row, left, right);
        }
    };
    QLinearGradient green(0, 0, 0, h);
    const int greens = int(std::size(SeekBarLook::SectionRows));
    for (int i = 0; i < greens; ++i)
        green.setColorAt(double(i) / (greens - 1), QColor(SeekBarLook::SectionRows[i]));
    sections([&](int row, int left, int right) {
        if (row == captureRow_)
            painter.fillRect(left, 0, right - left, h, green);
        else
            painter.fillRect(left, 0, right - left, h, Shades[row % 2]);
    });

    if (envelope_ != nullptr) {
        const int middle = h / 2;
        const int most = middle - 1;
        for (int x = from; x < to; ++x) {
            const qint64 column = pictureColumn_ + x;
            const auto start = qint32(std::floor(double(column) * perPixel));
            const auto end = qint32(std::floor(double(column + 1) * perPixel));
            if (column < 0 || start >= lengthMs_)
                continue;
            const quint16 peak = envelope_->peakBetween(start, std::max(end, start + 1));
            if (peak == Envelope::Unknown)
                continue;
            const int half = qRound(heightOf(peak) * most);
            painter.fillRect(x, middle - half, 1, 2 * half + 1, Ink);
        }
    }

    // The capture section's end is the play line's while it follows it, and
    // its label is drawn with it.
    sections([&](int row, int left, int right) {
        painter.fillRect(left, 0, 1, h, Boundary);
        if (row != captureRow_) {
            painter.fillRect(right, 0, 1, h, Boundary);
            drawLabel(painter, row, left, right);
        }
    });
}

// The row's number as the table shows it, then the first words of its text,
// at the section's top left where they fit.
void WaveformStrip::drawLabel(QPainter& painter, int row, int left, int right) const
{
    const int room = right - left - 2 * LabelMargin;
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    const QFontMetrics metrics(small);
    const QString number = QString::number(row + 1);
    if (metrics.horizontalAdvance(number) > room)
        return;
    // No character is narrower than a pixel: longer text would be elided anyway.
    const QString text = table_.cell(row, SectionTableModel::TextColumn).left(room);
    const QString label = text.isEmpty() ? number : number + QStringLiteral("  ") + text;
    painter.setFont(small);
    painter.setPen(LabelText);
    painter.drawText(QRect(left + LabelMargin, 1, room, metrics.height()),
                     Qt::AlignLeft | Qt::AlignTop, metrics.elidedText(label, Qt::ElideRight, room));
}

// Where the capture section ends: where its row says, or further on with the
// play line while its end follows the position.
qint32 WaveformStrip::captureEndAt(qint32 shown) const
{
    if (captureRow_ < 0 || captureRow_ >= int(rows_.size()))
        return 0;
    const Bounds& b = rows_[size_t(captureRow_)];
    return playing_ && b.end == reported_ ? std::max(b.end, shown) : b.end;
}

void WaveformStrip::paintEvent(QPaintEvent*)
{
    const qint32 shown = shownPosition();
    const qint64 view = viewColumn(shown);
    ensurePicture(view, shown);
    QPainter painter(this);
    painter.drawPixmap(int(pictureColumn_ - view), 0, picture_);
    if (captureRow_ >= 0 && captureRow_ < int(rows_.size()) && rows_[size_t(captureRow_)].timed) {
        const auto inView = [&](qint32 ms) {
            return int(std::clamp<qint64>(columnOf(ms) - view, -1, width()));
        };
        drawLabel(painter, captureRow_, inView(rows_[size_t(captureRow_)].start),
                  inView(captureDrawnEnd_));
    }
    const qint64 line = columnOf(shown) - view;
    if (line >= -1 && line < width())
        painter.fillRect(int(line), 0, 2, height(), PlayLine);
    if (envelope_ == nullptr && !note_.isEmpty()) {
        painter.setPen(LabelText);
        painter.drawText(rect(), Qt::AlignCenter, note_);
    }
}

// The boundary rows under column `x`: the end of `first` (and of the rows up
// to `last`, all at the same column) lies within GrabPixels, and the row
// after each holds times too.
WaveformStrip::Grab WaveformStrip::grabAt(double x) const
{
    Grab found;
    qint64 best = GrabPixels + 1;
    qint64 bestColumn = 0;
    const qint64 column = viewColumn(shownPosition()) + qint64(std::floor(x));
    for (int row = 0; row + 1 < int(rows_.size()); ++row) {
        if (!rows_[size_t(row)].timed || !rows_[size_t(row) + 1].timed)
            continue;
        const qint64 at = columnOf(rows_[size_t(row)].end);
        if (std::abs(at - column) < best) {
            best = std::abs(at - column);
            bestColumn = at;
            found = {row, row};
        } else if (found.first >= 0 && at == bestColumn) {
            found.last = row;
        }
    }
    return found;
}

// How far the boundary after `row` may move: from the row's start to the
// next row's end.
qint32 WaveformStrip::boundaryLimit(int row, bool upper) const
{
    const qint32 lowest = rows_[size_t(row)].start;
    return upper ? std::max(lowest, rows_[size_t(row) + 1].end) : lowest;
}

void WaveformStrip::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    pressed_ = true;
    moved_ = false;
    pressX_ = event->position().x();
    grab_ = grabAt(pressX_);
    dragRow_ = -1;
}

void WaveformStrip::mouseMoveEvent(QMouseEvent* event)
{
    const double x = event->position().x();
    if (pressed_ && !(event->buttons() & Qt::LeftButton))
        pressed_ = false; // the release went elsewhere
    if (!pressed_) {
        if (grabAt(x).first >= 0)
            setCursor(Qt::SizeHorCursor);
        else
            unsetCursor();
        return;
    }
    if (grab_.first < 0) {
        moved_ = moved_ || std::abs(x - pressX_) >= QApplication::startDragDistance();
        return;
    }
    if (dragRow_ < 0) {
        if (std::floor(x) == std::floor(pressX_))
            return;
        // Boundaries on one column (an empty section between them) separate the
        // way the pointer goes.
        dragRow_ = x < pressX_ ? grab_.first : grab_.last;
        grabOffsetMs_ = rows_[size_t(dragRow_)].end - timeAt(pressX_);
        moved_ = true;
    }
    const qint32 ms = std::clamp(timeAt(x) + grabOffsetMs_, boundaryLimit(dragRow_, false),
                                 boundaryLimit(dragRow_, true));
    if (ms != rows_[size_t(dragRow_)].end || ms != rows_[size_t(dragRow_) + 1].start)
        emit boundaryMoved(dragRow_, ms);
}

void WaveformStrip::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    if (pressed_ && !moved_)
        emit seekRequested(std::clamp(timeAt(pressX_), 0, lengthMs_));
    pressed_ = false;
}

void WaveformStrip::wheelEvent(QWheelEvent* event)
{
    const QPoint delta = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        // Touch pads send small steps: a zoom comes with each whole notch.
        wheelZoom_ += delta.y();
        for (; wheelZoom_ >= WheelNotch; wheelZoom_ -= WheelNotch)
            zoomTo(nextSpan(true), event->position().x());
        for (; wheelZoom_ <= -WheelNotch; wheelZoom_ += WheelNotch)
            zoomTo(nextSpan(false), event->position().x());
        event->accept();
        return;
    }
    if (playing_) {
        event->ignore();
        return;
    }
    // Up and left go back in time.
    const int notches = delta.x() != 0 ? delta.x() : delta.y();
    scrollTo(timeAt(0) - double(notches) * spanMs_ / (NotchesPerSpan * WheelNotch));
    update();
    event->accept();
}
