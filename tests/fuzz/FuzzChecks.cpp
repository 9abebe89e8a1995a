#include "FuzzChecks.h"

#include "controls/PlaySlider.h"
#include "controls/Twips.h"
#include "storage/ProjectFile.h"
#include "workspace/SectionGrid.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace {

using Int32 = std::numeric_limits<qint32>;

bool hasLineBreak(const QString& text)
{
    return text.contains(u'\r') || text.contains(u'\n');
}

// Where two contents differ first; "" when they are the same.
QString difference(const ProjectContent& a, const ProjectContent& b)
{
    if (a.mediaFile != b.mediaFile)
        return QStringLiteral("media path \"%1\" became \"%2\"").arg(a.mediaFile, b.mediaFile);
    if (a.rows.size() != b.rows.size())
        return QStringLiteral("%1 rows became %2").arg(a.rows.size()).arg(b.rows.size());
    for (size_t row = 0; row < a.rows.size(); ++row) {
        for (int column = 0; column < SectionTableModel::ColumnCount; ++column) {
            if (a.rows[row][column] != b.rows[row][column])
                return QStringLiteral("row %1 cell %2 \"%3\" became \"%4\"")
                    .arg(row)
                    .arg(column)
                    .arg(a.rows[row][column], b.rows[row][column]);
        }
    }
    return {};
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
class Bar
{
public:
    Bar()
    {
        QObject::connect(&slider, &PlaySlider::TryToSeekTo,
                         [this](qint32 value) { tried = value; });
        QObject::connect(&slider, &PlaySlider::SeekTo, [this](qint32 value) { sought = value; });
    }

    qint64 span() const { return qint64(slider.Max()) - slider.Min(); }
    double widthTwips() const { return pixelsToTwips(slider.width()); }
    double thumbCentre() const
    {
        return slider.thumbLeftTwips() + pixelsToTwips(slider.thumb()->width()) / 2;
    }
    // Whether the bar maps values at all: a width and a span.
    bool maps() const { return slider.width() > 0 && span() != 0; }
    // Whether `value` lies between 0 and the span, which the bar's ends show.
    bool onBar(qint64 value) const
    {
        return span() > 0 ? value >= 0 && value <= span() : value <= 0 && value >= span();
    }
    // The values one pixel of the bar covers.
    double pixelWorth() const { return double(std::abs(span())) / slider.width(); }

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

    PlaySlider slider;
    std::optional<qint32> tried;
    std::optional<qint32> sought;

private:
    void send(QEvent::Type type, QPointF at, Qt::MouseButtons buttons)
    {
        QWidget* thumb = slider.thumb();
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, thumb->mapToGlobal(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(thumb, &event);
    }
};

QString describe(const Bar& bar)
{
    return QStringLiteral("(Min %1, Max %2, %3 px)")
        .arg(bar.slider.Min())
        .arg(bar.slider.Max())
        .arg(bar.slider.width());
}

// What a press and release of the thumb, or the end of a drag, reported:
// the value under the thumb's centre, which the bar maps from 0 at its left
// end to the span at its right end and on beyond the ends.
QString checkReported(const Bar& bar, const QString& action)
{
    const QString where = describe(bar);
    if (!bar.sought)
        return QStringLiteral("%1 reported nothing %2").arg(action, where);
    const qint32 value = *bar.sought;
    if (!bar.maps()) {
        if (value != 0)
            return QStringLiteral("%1 on an empty bar reported %2 %3")
                .arg(action)
                .arg(value)
                .arg(where);
        return {};
    }
    const double centre = bar.thumbCentre();
    const qint64 span = bar.span();
    const qint64 end = std::clamp<qint64>(span, Int32::min(), Int32::max());
    bool fits = true;
    if (centre >= bar.widthTwips())
        fits = span > 0 ? value >= end : value <= end;
    else if (centre <= 0)
        fits = span > 0 ? value <= 0 : value >= 0;
    else
        fits = value >= double(std::min<qint64>(0, span)) - bar.pixelWorth() &&
               value <= double(std::max<qint64>(0, span)) + bar.pixelWorth();
    if (!fits)
        return QStringLiteral("%1 reported %2 for the thumb's centre at %3 twips %4")
            .arg(action)
            .arg(value)
            .arg(centre)
            .arg(where);
    return {};
}

QString checkValue(Bar& bar, qint32 value)
{
    bar.slider.setValue(value);
    const QString where = describe(bar);
    if (bar.slider.Value() != value)
        return QStringLiteral("Value() %1 after setValue(%2) %3")
            .arg(bar.slider.Value())
            .arg(value)
            .arg(where);
    if (!std::isfinite(bar.slider.thumbLeftTwips()))
        return QStringLiteral("thumb at %1 for value %2 %3")
            .arg(bar.slider.thumbLeftTwips())
            .arg(value)
            .arg(where);
    bar.drag(std::nullopt);
    const QString action = QStringLiteral("a click after setValue(%1)").arg(value);
    if (const QString failure = checkReported(bar, action); !failure.isEmpty())
        return failure;
    if (!bar.maps() || !bar.onBar(value))
        return {};
    const double centre = bar.thumbCentre();
    if (centre < 0 || centre > bar.widthTwips())
        return QStringLiteral("value %1 puts the thumb's centre at %2 twips, off the bar %3")
            .arg(value)
            .arg(centre)
            .arg(where);
    if (std::abs(double(*bar.sought) - value) > bar.pixelWorth())
        return QStringLiteral("value %1 reads back as %2 %3")
            .arg(value)
            .arg(*bar.sought)
            .arg(where);
    return {};
}

QString checkDrag(Bar& bar, qint32 dx)
{
    bar.drag(dx);
    const QString action = QStringLiteral("a drag by %1 px").arg(dx);
    if (!bar.tried || bar.tried != bar.sought)
        return QStringLiteral("%1 did not end where it moved %2").arg(action, describe(bar));
    const double centre = bar.thumbCentre();
    if (centre < -0.5 || centre > bar.widthTwips() + 0.5)
        return QStringLiteral("%1 left the thumb's centre at %2 twips, off the bar %3")
            .arg(action)
            .arg(centre)
            .arg(describe(bar));
    return checkReported(bar, action);
}

QString checkSection(Bar& bar, qint32 start, qint32 end)
{
    bar.slider.setSectionStart(start);
    bar.slider.setSectionEnd(end);
    const double left = bar.slider.sectionLeftTwips();
    const double right = left + bar.slider.sectionWidthTwips();
    if (!std::isfinite(left) || !std::isfinite(right))
        return QStringLiteral("section %1 to %2 spans %3 to %4 twips %5")
            .arg(start)
            .arg(end)
            .arg(left)
            .arg(right)
            .arg(describe(bar));
    // The end is rounded to a whole twip.
    const double width = bar.widthTwips();
    if (bar.maps() && bar.onBar(start) && bar.onBar(end) &&
        (left < -0.5 || left > width + 0.5 || right < -0.5 || right > width + 0.5))
        return QStringLiteral("section %1 to %2 lies off the bar at %3 to %4 twips %5")
            .arg(start)
            .arg(end)
            .arg(left)
            .arg(right)
            .arg(describe(bar));
    return {};
}

// Paints the bar's first pixels (the whole bar may be millions wide).
void paint(PlaySlider& slider)
{
    QImage image(std::clamp(slider.width(), 1, 600), std::max(slider.height(), 1),
                 QImage::Format_RGB32);
    slider.render(&image, QPoint(), QRegion(image.rect()));
}

} // namespace

QString FuzzChecks::projectFile(const QByteArray& bytes)
{
    const std::optional<ProjectContent> content = readProjectFileBytes(bytes);
    if (content.has_value() != beginsProjectFile(bytes.left(ProjectSignatureSize)))
        return content
                   ? QStringLiteral("loads, but its first bytes begin no project file")
                   : QStringLiteral("its first bytes begin a project file, but it does not load");
    if (!content)
        return {};
    if (hasLineBreak(content->mediaFile))
        return QStringLiteral("the media path holds a line break");

    // Opening a project fills the section table so.
    SectionTableModel table;
    table.loadRows(content->rows);
    if (table.rowCount() < 1 || size_t(table.rowCount()) != content->rows.size())
        return QStringLiteral("%1 rows read, %2 in the table")
            .arg(content->rows.size())
            .arg(table.rowCount());
    for (int row = 0; row < table.rowCount(); ++row) {
        for (int column = 0; column < SectionTableModel::ColumnCount; ++column) {
            const QModelIndex index = table.index(row, column);
            const QString cell = table.data(index, Qt::DisplayRole).toString();
            if (!index.isValid() || cell != content->rows[row][column])
                return QStringLiteral("row %1 has no cell %2 as read").arg(row).arg(column);
            if (hasLineBreak(cell))
                return QStringLiteral("row %1 cell %2 holds a line break").arg(row).arg(column);
        }
    }
    const QByteArray written = projectFileBytes(*content);
    const std::optional<ProjectContent> again = readProjectFileBytes(written);
    if (!again)
        return QStringLiteral("the written file does not load");
    if (const QString changed = difference(*content, *again); !changed.isEmpty())
        return QStringLiteral("written and read again, ") + changed;
    if (projectFileBytes(*again) != written)
        return QStringLiteral("written a second time, the bytes differ");
    return {};
}

// The script: the bar's width in pixels, then steps of one byte (its value
// modulo 9 picks the step) and their numbers: 0 setMin(n), 1 setMax(n),
// 2 setValue(n), 3 setValue at the fraction b/255 of the span (one byte b),
// 4 section from n to m, 5 a new width n, 6 a drag by n pixels, 7 a click on
// the thumb, 8 painting.
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
            // A value at a fraction of the span, to land on the bar often.
            const double fraction = script.byte() / 255.0;
            const double value = std::round(double(bar.span()) * fraction);
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
            failure = checkReported(bar, QStringLiteral("a click"));
            break;
        default:
            paint(bar.slider);
            break;
        }
        if (!failure.isEmpty())
            return failure;
    }
    return {};
}
