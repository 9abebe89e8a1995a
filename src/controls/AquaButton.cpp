#include "controls/AquaButton.h"

#include "controls/LostReleaseWatch.h"
#include "controls/Twips.h"

#include <QPainter>

namespace {

// Sizes in twips. A face is as high as the button may be; pressing shows the
// pressed face in its place.
constexpr int pressOffset = 330;
constexpr int MinWidth = 600;
constexpr int MaxWidth = 3000;
constexpr int CaptionTop = 50;

// Grey levels of the face from the top row down: an outline, a bright gloss,
// a light body brightening towards a dark bottom edge and its shadow.
constexpr int FaceRows = 22;
constexpr uchar Released[FaceRows] = {0xBF, 0xF4, 0xF5, 0xF6, 0xF7, 0xEA, 0xEB, 0xEC,
                                      0xED, 0xEE, 0xEF, 0xF0, 0xF0, 0xF1, 0xF2, 0xF5,
                                      0xF8, 0xFA, 0xFD, 0xFF, 0x47, 0x9F};
// Pressed: a dark top edge over a darker body.
constexpr uchar Pressed[FaceRows] = {0x77, 0xBA, 0xBA, 0xBA, 0xBA, 0xAD, 0xAF, 0xB1,
                                     0xB3, 0xB5, 0xB7, 0xB8, 0xBA, 0xBB, 0xBD, 0xBF,
                                     0xC8, 0xC8, 0xC8, 0xC8, 0x47, 0x9F};
constexpr uchar Outline = 0x9E;
// Each end is rounded over this many columns.
constexpr int EndColumns = 3;
// The right end piece lies over the caption: a long caption is cut off here.
constexpr int RightEndWidth = 5;

QColor grey(uchar level)
{
    return QColor(level, level, level);
}

} // namespace

AquaButton::AquaButton(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    // The size limits clamp every resize, as the face cannot stretch.
    setMinimumWidth(twipsToPixels(MinWidth));
    setMaximumSize(twipsToPixels(MaxWidth), twipsToPixels(pressOffset));
    // A press whose release is lost (the button hidden, a modal window over
    // it) leaves the button released without a Click: a hidden button is a
    // disabled one.
    new LostReleaseWatch(this, [this] {
        if (pressed_)
            setPressed(false);
    });
}

QSize AquaButton::sizeHint() const
{
    return QSize(twipsToPixels(1755), twipsToPixels(pressOffset));
}

void AquaButton::setCaption(const QString& caption)
{
    caption_ = caption;
    update();
}

// Centred; a caption wider than the button is cut off on both sides.
QPoint AquaButton::captionPos() const
{
    return QPoint((width() - fontMetrics().horizontalAdvance(caption_)) / 2,
                  twipsToPixels(CaptionTop));
}

void AquaButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const uchar* rows = pressed_ ? Pressed : Released;
    const int w = width();
    for (int row = 0; row < FaceRows; ++row)
        painter.fillRect(EndColumns, row, w - 2 * EndColumns, 1, grey(rows[row]));

    // The ends: each column nearer the edge is one row shorter at top and
    // bottom; the outermost one is the outline, and so is the top of the next.
    for (int column = 0; column < EndColumns; ++column) {
        const int inset = EndColumns - 1 - column;
        for (int row = inset; row < FaceRows - inset; ++row) {
            const bool outline = column == 0 || (inset > 0 && row == inset);
            const QColor colour = grey(outline ? Outline : rows[row]);
            painter.fillRect(column, row, 1, 1, colour);
            painter.fillRect(w - 1 - column, row, 1, 1, colour);
        }
    }

    painter.setClipRect(0, 0, w - RightEndWidth, height());
    painter.setPen(QColor(0x40, 0x40, 0x40));
    const QPoint pos = captionPos();
    painter.drawText(pos.x(), pos.y() + fontMetrics().ascent(), caption_);
}

void AquaButton::mousePressEvent(QMouseEvent*)
{
    setPressed(true);
}

// Qt turns the second press of a double click into this event.
void AquaButton::mouseDoubleClickEvent(QMouseEvent*)
{
    setPressed(true);
}

// Qt delivers the release to the widget that got the press, wherever the
// pointer is, so every release ends a press on this button.
void AquaButton::mouseReleaseEvent(QMouseEvent*)
{
    setPressed(false);
    emit Click();
}

// Painted at once, so that the look is right while a Click handler runs.
void AquaButton::setPressed(bool pressed)
{
    pressed_ = pressed;
    repaint();
}
