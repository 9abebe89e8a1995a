#include "controls/PlaySlider.h"

#include "controls/LostReleaseWatch.h"
#include "controls/SeekBarLook.h"
#include "controls/Twips.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QtNumeric>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace {

// Geometry in twips.
constexpr double ThumbWidth = 195;
constexpr double ThumbHeight = 165;
constexpr double ThumbTop = 45; // the thumb's bottom touches the bar's top
constexpr double HalfThumb = ThumbWidth / 2;
constexpr double BarTop = 210;
constexpr double BarHeight = 240;

// The bar and the highlight are pictures 444 pixels wide; a wider box shows
// its own background beyond the picture.
constexpr int PictureWidth = 444;
using namespace SeekBarLook;

// The integer nearest to x, a half going to the even one (the default
// floating-point rounding mode).
double nearest(double x)
{
    return std::nearbyint(x);
}

// p / d rounded to the nearest integer, a half going to the even one; d > 0.
qint64 divideToNearest(qint64 p, qint64 d)
{
    qint64 q = p / d;
    qint64 r = p % d;
    if (r < 0) {
        r += d;
        --q;
    }
    if (2 * r > d || (2 * r == d && (q & 1) != 0))
        ++q;
    return q;
}

// Pixels for a twips position that may lie far outside the widget.
int toPixels(double twips)
{
    constexpr double Limit = 1 << 24;
    return twipsToPixels(std::clamp(twips, -Limit * TwipsPerPixel, Limit * TwipsPerPixel));
}

QColor blend(QRgb from, QRgb to, double t)
{
    const auto mix = [t](int a, int b) {
        return qRound(a + (b - a) * t);
    };
    return QColor(mix(qRed(from), qRed(to)), mix(qGreen(from), qGreen(to)),
                  mix(qBlue(from), qBlue(to)));
}

} // namespace

PlaySlider::PlaySlider(QWidget* parent) : QWidget(parent), picPoint(new QWidget(this))
{
    picPoint->setObjectName(QStringLiteral("picPoint"));
    picPoint->setGeometry(0, twipsToPixels(ThumbTop), twipsToPixels(ThumbWidth),
                          twipsToPixels(ThumbHeight));
    picPoint->setCursor(Qt::PointingHandCursor);
    // Moves without a button held are seen too, to notice a lost release.
    picPoint->setMouseTracking(true);
    picPoint->installEventFilter(this);
    // Everything is 0 at creation; an empty span puts the thumb's centre at 0.
    placeThumb(nearest(0) - HalfThumb);
    lostRelease_ = new LostReleaseWatch(this, [this] { endLostDrag(); });
}

// The bar hides as it is destroyed: the watch must not tell a bar that is no
// longer one.
PlaySlider::~PlaySlider()
{
    delete lostRelease_;
}

// A drag whose release never comes (the bar hidden, a modal window over it)
// ends where the thumb is, as a release there would. SeekTo runs once the
// current event is done, like any other event, not inside whatever opened the
// modal window.
void PlaySlider::endLostDrag()
{
    if (!dragging)
        return;
    dragging = false;
    QTimer::singleShot(0, this, [this] { emit SeekTo(valueUnderThumb()); });
}

QSize PlaySlider::sizeHint() const
{
    return QSize(twipsToPixels(4515), twipsToPixels(455));
}

void PlaySlider::setValue(qint32 value)
{
    // While dragging, the thumb belongs to the user.
    if (dragging)
        return;
    value_ = value;
    placeThumb(nearest(positionOf(value)) - HalfThumb);
}

void PlaySlider::setSectionStart(qint32 start)
{
    sectionStart_ = start;
    sectionLeft_ = positionOf(start);
    update();
}

void PlaySlider::setSectionEnd(qint32 end)
{
    sectionEnd_ = end;
    sectionWidth_ = nearest(positionOf(end)) - sectionLeft_;
    update();
}

double PlaySlider::barWidthTwips() const
{
    return pixelsToTwips(width());
}

// Min is not subtracted: 0 is the bar's left edge and the span its right edge.
double PlaySlider::positionOf(qint32 value) const
{
    const qint64 span = qint64(max_) - min_;
    if (span == 0)
        return 0;
    return barWidthTwips() * value / double(span);
}

qint32 PlaySlider::valueUnderThumb() const
{
    const auto barWidth = qint64(barWidthTwips());
    if (barWidth == 0)
        return 0;
    // A span of hours in milliseconds times the bar width needs 64 bits.
    const qint64 span = qint64(max_) - min_;
    const auto centre = qint64(nearest(thumbLeft_ + HalfThumb));
    constexpr qint32 Lowest = std::numeric_limits<qint32>::min();
    constexpr qint32 Highest = std::numeric_limits<qint32>::max();
    // A thumb that a smaller span left far beyond the bar may need more; its
    // value then lies beyond 32 bits whatever the bar's width.
    qint64 product = 0;
    if (qMulOverflow(span, centre, &product))
        return (span < 0) == (centre < 0) ? Highest : Lowest;
    return qint32(std::clamp<qint64>(divideToNearest(product, barWidth), Lowest, Highest));
}

void PlaySlider::placeThumb(double left)
{
    thumbLeft_ = left;
    picPoint->move(toPixels(left), picPoint->y());
}

void PlaySlider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);

    static_assert(std::size(BarRows) == BarHeight / TwipsPerPixel);
    static_assert(std::size(SectionRows) == BarHeight / TwipsPerPixel);
    const QRect bar(0, twipsToPixels(BarTop), width(), twipsToPixels(BarHeight));
    painter.fillRect(bar, QColor(BarBackground));
    for (int row = 0; row < bar.height(); ++row)
        painter.fillRect(0, bar.top() + row, std::min(PictureWidth, bar.width()), 1,
                         QColor(BarRows[row]));

    if (sectionWidth_ <= 0)
        return;
    const int left = toPixels(sectionLeft_);
    const int right = toPixels(sectionLeft_ + sectionWidth_);
    const QRect section(left, bar.top(), right - left, bar.height());
    painter.fillRect(section, QColor(SectionBackground));
    for (int row = 0; row < section.height(); ++row)
        painter.fillRect(left, section.top() + row, std::min(PictureWidth, section.width()), 1,
                         QColor(SectionRows[row]));
}

// A blue triangle pointing down, as wide as the thumb in its top row and one
// pixel at its tip, shaded from light at the top to dark at the tip.
void PlaySlider::paintThumb()
{
    QPainter painter(picPoint);
    painter.fillRect(picPoint->rect(), Qt::white);
    const int rows = picPoint->height();
    const int last = picPoint->width() - 1;
    for (int row = 0; row < rows; ++row) {
        const double t = rows > 1 ? double(row) / (rows - 1) : 0;
        const int inset = qRound(t * last / 2);
        painter.fillRect(inset, row, last - 2 * inset + 1, 1, blend(ThumbLight, ThumbDark, t));
    }
}

bool PlaySlider::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != picPoint)
        return QWidget::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::Paint:
        paintThumb();
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: // the second press of a double click
        dragging = true;
        dragOffsetX = pixelsToTwips(static_cast<QMouseEvent*>(event)->position().x());
        return true;
    case QEvent::MouseMove: {
        if (!dragging)
            return true;
        // Back over the thumb with no button held: the release went elsewhere.
        if (static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton) {
            endLostDrag();
            return true;
        }
        // Keep the grabbed point of the thumb under the pointer, with the
        // thumb's centre on the bar.
        const double x = pixelsToTwips(static_cast<QMouseEvent*>(event)->position().x());
        double left = nearest(thumbLeft_ - (dragOffsetX - x));
        if (left < -HalfThumb)
            left = nearest(-HalfThumb);
        if (left > barWidthTwips() - HalfThumb)
            left = nearest(barWidthTwips() - HalfThumb);
        placeThumb(left);
        emit TryToSeekTo(valueUnderThumb());
        return true;
    }
    case QEvent::MouseButtonRelease:
        // The release point is not used: the thumb is where the last move put it.
        dragging = false;
        emit SeekTo(valueUnderThumb());
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}
