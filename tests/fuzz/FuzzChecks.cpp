#include "FuzzChecks.h"

#include "controls/PlaySlider.h"
#include "controls/Twips.h"
#include "storage/ProjectFile.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace {

using Int32 = std::numeric_limits<qint32>;

// The message of a failed check: `text` with its %1, %2... filled in.
template <typename... Args> QString say(const char* text, const Args&... args)
{
    QString message = QString::fromUtf8(text);
    ((message = message.arg(args)), ...);
    return message;
}

bool hasLineBreak(const QString& text)
{
    return text.contains(u'\r') || text.contains(u'\n');
}

// The seek bar's script (see playSlider): numbers are 32 bits,
// little-endian; past the end every read gives 0.
class Script
{
public:
    explicit Script(const QByteArray& bytes) : bytes_(bytes) {}

    bool atEnd() const { return next_ >= bytes_.size(); }
    quint8 byte() { return atEnd() ? 0 : quint8(bytes_[next_++]); }
    qint32 number()
    {
        quint32 value = 0;
        for (int shift = 0; shift < 32; shift += 8)
            value |= quint32(byte()) << shift;
        return qint32(value);
    }

private:
    const QByteArray& bytes_;
    qsizetype next_ = 0;
};

// A seek bar and what it reports.
struct Bar
{
    PlaySlider slider;
    std::optional<qint32> tried;
    std::optional<qint32> sought;

    Bar()
    {
        QObject::connect(&slider, &PlaySlider::TryToSeekTo, [this](qint32 v) { tried = v; });
        QObject::connect(&slider, &PlaySlider::SeekTo, [this](qint32 v) { sought = v; });
    }

    qint64 span() const { return qint64(slider.Max()) - slider.Min(); }
    double width() const { return pixelsToTwips(slider.width()); }
    double centre() const
    {
        return slider.thumbLeftTwips() + pixelsToTwips(slider.thumb()->width()) / 2;
    }
    // Whether the bar maps values at all: a width and a span.
    bool maps() const { return slider.width() > 0 && span() != 0; }
    // Whether `value` lies between 0 and the span, which the bar's ends show.
    bool onBar(qint64 value) const
    {
        return value >= std::min<qint64>(0, span()) && value <= std::max<qint64>(0, span());
    }
    // The values one pixel of the bar covers.
    double pixelWorth() const { return double(std::abs(span())) / slider.width(); }
    QString where() const
    {
        return say("(Min %1, Max %2, %3 px)", slider.Min(), slider.Max(), slider.width());
    }

    // Presses the thumb, moves the pointer `dx` pixels if asked, releases.
    void drag(std::optional<qint32> dx)
    {
        tried.reset();
        sought.reset();
        const QPointF grip(6, 5);
        send(QEvent::MouseButtonPress, grip, Qt::LeftButton);
        if (dx)
            send(QEvent::MouseMove, grip + QPointF(*dx, 0), Qt::LeftButton);
        send(QEvent::MouseButtonRelease, grip + QPointF(dx.value_or(0), 0), Qt::NoButton);
    }

    void send(QEvent::Type type, QPointF at, Qt::MouseButtons buttons)
    {
        QWidget* thumb = slider.thumb();
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, thumb->mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(thumb, &event);
    }
};

// What a press and release of the thumb, or the end of a drag, reported:
// the value under the thumb's centre, which the bar maps from 0 at its left
// end to the span at its right end and on beyond the ends.
QString checkReported(const Bar& bar, const QString& action)
{
    if (!bar.sought)
        return say("%1 reported nothing %2", action, bar.where());
    const qint32 value = *bar.sought;
    if (!bar.maps())
        return value == 0 ? QString() : say("%1 on an empty bar reported %2", action, value);
    const double centre = bar.centre();
    const qint64 span = bar.span();
    const qint64 end = std::clamp<qint64>(span, Int32::min(), Int32::max());
    bool fits = value >= double(std::min<qint64>(0, span)) - bar.pixelWorth() &&
                value <= double(std::max<qint64>(0, span)) + bar.pixelWorth();
    if (centre >= bar.width())
        fits = span > 0 ? value >= end : value <= end;
    else if (centre <= 0)
        fits = span > 0 ? value <= 0 : value >= 0;
    return fits ? QString()
                : say("%1 reported %2 for the thumb's centre at %3 twips %4", action, value, centre,
                      bar.where());
}

QString checkValue(Bar& bar, qint32 value)
{
    bar.slider.setValue(value);
    if (bar.slider.Value() != value || !std::isfinite(bar.slider.thumbLeftTwips()))
        return say("setValue(%1) gave %2 at %3 twips %4", value, bar.slider.Value(),
                   bar.slider.thumbLeftTwips(), bar.where());
    bar.drag(std::nullopt);
    if (QString failure = checkReported(bar, say("a click after setValue(%1)", value));
        !failure.isEmpty() || !bar.maps() || !bar.onBar(value))
        return failure;
    if (bar.centre() < 0 || bar.centre() > bar.width())
        return say("value %1 puts the thumb's centre off the bar %2", value, bar.where());
    if (std::abs(double(*bar.sought) - value) > bar.pixelWorth())
        return say("value %1 reads back as %2 %3", value, *bar.sought, bar.where());
    return {};
}

QString checkDrag(Bar& bar, qint32 dx)
{
    bar.drag(dx);
    const QString action = say("a drag by %1 px", dx);
    if (!bar.tried || bar.tried != bar.sought)
        return say("%1 did not end where it moved %2", action, bar.where());
    if (bar.centre() < -0.5 || bar.centre() > bar.width() + 0.5)
        return say("%1 left the thumb's centre off the bar %2", action, bar.where());
    return checkReported(bar, action);
}

QString checkSection(Bar& bar, qint32 start, qint32 end)
{
    bar.slider.setSectionStart(start);
    bar.slider.setSectionEnd(end);
    const double left = bar.slider.sectionLeftTwips();
    const double right = left + bar.slider.sectionWidthTwips();
    // The end is rounded to a whole twip.
    const auto off = [&bar](double x) {
        return x < -0.5 || x > bar.width() + 0.5;
    };
    if (!std::isfinite(left) || !std::isfinite(right) ||
        (bar.maps() && bar.onBar(start) && bar.onBar(end) && (off(left) || off(right))))
        return say("section %1 to %2 lies at %3 to %4 twips %5", start, end, left, right,
                   bar.where());
    return {};
}

} // namespace

QString FuzzChecks::projectFile(const QByteArray& bytes)
{
    const std::optional<ProjectContent> content = readProjectFileBytes(bytes);
    if (content.has_value() != beginsProjectFile(bytes.left(ProjectSignatureSize)))
        return content ? say("loads, but its first bytes begin no project file")
                       : say("its first bytes begin a project file, but it does not load");
    if (!content)
        return {};
    if (hasLineBreak(content->mediaFile))
        return say("the media path holds a line break");

    // Opening a project fills the section table so.
    SectionTableModel table;
    table.loadRows(content->rows);
    if (table.rowCount() < 1 || size_t(table.rowCount()) != content->rows.size())
        return say("%1 rows read, %2 in the table", int(content->rows.size()), table.rowCount());
    for (int row = 0; row < table.rowCount(); ++row) {
        for (int column = 0; column < SectionTableModel::ColumnCount; ++column) {
            const QString cell = table.data(table.index(row, column), Qt::DisplayRole).toString();
            if (cell != content->rows[row][column] || hasLineBreak(cell))
                return say("row %1 cell %2 is \"%3\" in the table", row, column, cell);
        }
    }
    const QByteArray written = projectFileBytes(*content);
    const std::optional<ProjectContent> again = readProjectFileBytes(written);
    if (!again || again->mediaFile != content->mediaFile || again->rows != content->rows)
        return say("written and read again, the project changed");
    if (projectFileBytes(*again) != written)
        return say("written a second time, the bytes differ");
    return {};
}

// The script: the bar's width in pixels, then steps of one byte (its value
// modulo 9 picks the step) and their numbers: 0 setMin(n), 1 setMax(n),
// 2 setValue(n), 3 setValue at the fraction b/255 of the span (one byte b),
// 4 section from n to m, 5 a new width n, 6 a drag by n pixels, 7 a click on
// the thumb, 8 painting the bar's first pixels (it may be millions wide).
QString FuzzChecks::playSlider(const QByteArray& bytes)
{
    Script script(bytes);
    Bar bar;
    bar.slider.resize(script.number(), 30);
    while (!script.atEnd()) {
        QString failure;
        switch (script.byte() % 9) {
        case 0:
            bar.slider.setMin(script.number());
            break;
        case 1:
            bar.slider.setMax(script.number());
            break;
        case 2:
            failure = checkValue(bar, script.number());
            break;
        case 3: {
            const double value = std::round(double(bar.span()) * script.byte() / 255.0);
            failure =
                checkValue(bar, qint32(std::clamp<double>(value, Int32::min(), Int32::max())));
            break;
        }
        case 4: {
            const qint32 start = script.number();
            failure = checkSection(bar, start, script.number());
            break;
        }
        case 5:
            bar.slider.resize(script.number(), 30);
            break;
        case 6:
            failure = checkDrag(bar, script.number());
            break;
        case 7:
            bar.drag(std::nullopt);
            failure = checkReported(bar, say("a click"));
            break;
        default: {
            QImage image(std::clamp(bar.slider.width(), 1, 600), 30, QImage::Format_RGB32);
            bar.slider.render(&image, QPoint(), QRegion(image.rect()));
            break;
        }
        }
        if (!failure.isEmpty())
            return failure;
    }
    return {};
}
