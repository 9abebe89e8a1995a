#include "FuzzChecks.h"

#include "controls/PlaySlider.h"
#include "controls/Twips.h"
#include "storage/ProjectFile.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

bool hasLineBreak(const QString& text)
{
    return text.contains(u'\r') || text.contains(u'\n');
}

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
    bool maps() const { return slider.width() > 0 && span() != 0; }
    double pixelWorth() const { return double(std::abs(span())) / std::max(slider.width(), 1); }
    // Between 0 and the span, which the bar's ends show, give or take `slack`.
    bool onBar(double value, double slack = 0) const
    {
        return value >= std::min<qint64>(0, span()) - slack &&
               value <= std::max<qint64>(0, span()) + slack;
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

    // What a click or a drag reported: the value under the thumb's centre,
    // on the bar when the centre is.
    QString reported(const char* action) const
    {
        const double centre = slider.thumbLeftTwips() + pixelsToTwips(slider.thumb()->width()) / 2;
        if (!sought || (!maps() && *sought != 0) ||
            (maps() && centre > 0 && centre < width() && !onBar(*sought, pixelWorth())))
            return QString("%1 reported %2 with the thumb's centre at %3 twips (Min %4, Max %5, "
                           "%6 px)")
                .arg(action)
                .arg(sought.value_or(-1))
                .arg(centre)
                .arg(slider.Min())
                .arg(slider.Max())
                .arg(slider.width());
        return {};
    }
};

qint32 number(const QByteArray& bytes, qsizetype& next)
{
    quint32 value = 0;
    for (int shift = 0; shift < 32; shift += 8, ++next)
        value |= quint32(next < bytes.size() ? quint8(bytes[next]) : 0) << shift;
    return qint32(value);
}

} // namespace

QString FuzzChecks::projectFile(const QByteArray& bytes)
{
    const std::optional<ProjectContent> content = readProjectFileBytes(bytes);
    if (content.has_value() != beginsProjectFile(bytes.left(ProjectSignatureSize)))
        return "loading and the first bytes disagree on whether this is a project file";
    if (!content)
        return {};
    // Opening a project fills the section table so.
    SectionTableModel table;
    table.loadRows(content->rows);
    if (table.rowCount() < 1 || size_t(table.rowCount()) != content->rows.size() ||
        hasLineBreak(content->mediaFile))
        return "the table or the media path does not hold what was read";
    for (int row = 0; row < table.rowCount(); ++row) {
        for (int column = 0; column < SectionTableModel::ColumnCount; ++column) {
            const QString cell = table.data(table.index(row, column), Qt::DisplayRole).toString();
            if (cell != content->rows[row][column] || hasLineBreak(cell))
                return QString("row %1 cell %2 is \"%3\" in the table")
                    .arg(row)
                    .arg(column)
                    .arg(cell);
        }
    }
    const QByteArray written = projectFileBytes(*content);
    const std::optional<ProjectContent> again = readProjectFileBytes(written);
    if (!again || again->mediaFile != content->mediaFile || again->rows != content->rows ||
        projectFileBytes(*again) != written)
        return "written and read again, the project changed";
    return {};
}

// The script: the bar's width in pixels, then steps of one byte (its value
// modulo 9 picks the step) and their numbers: 0 setMin(n), 1 setMax(n),
// 2 setValue(n), 3 setValue at the fraction b/255 of the span (one byte b),
// 4 section from n to m, 5 a new width n, 6 a drag by n pixels, 7 a click on
// the thumb, 8 painting the bar's first pixels (it may be millions wide).
QString FuzzChecks::playSlider(const QByteArray& bytes)
{
    Bar bar;
    PlaySlider& slider = bar.slider;
    qsizetype next = 0;
    slider.resize(number(bytes, next), 30);
    while (next < bytes.size()) {
        QString failure;
        const int step = quint8(bytes[next++]) % 9;
        switch (step) {
        case 0:
            slider.setMin(number(bytes, next));
            break;
        case 1:
            slider.setMax(number(bytes, next));
            break;
        case 2:
        case 3: {
            // A fraction of the span lands on the bar often.
            const double fraction = next < bytes.size() ? quint8(bytes[next]) / 255.0 : 0;
            const qint32 value =
                step == 2 ? number(bytes, next)
                          : qint32(std::clamp<double>(std::round(double(bar.span()) * fraction),
                                                      INT32_MIN, INT32_MAX));
            next += step == 3 ? 1 : 0;
            slider.setValue(value);
            if (slider.Value() != value || !std::isfinite(slider.thumbLeftTwips()))
                return QString("setValue(%1) left the thumb at %2")
                    .arg(value)
                    .arg(slider.thumbLeftTwips());
            bar.drag(std::nullopt);
            failure = bar.reported("a click after setValue");
            // A value on the bar reads back within a pixel's worth.
            if (failure.isEmpty() && bar.maps() && bar.onBar(value) &&
                std::abs(double(*bar.sought) - value) > bar.pixelWorth())
                failure = QString("value %1 reads back as %2").arg(value).arg(*bar.sought);
            break;
        }
        case 4:
            slider.setSectionStart(number(bytes, next));
            slider.setSectionEnd(number(bytes, next));
            if (!std::isfinite(slider.sectionLeftTwips() + slider.sectionWidthTwips()))
                failure = "a section spans no finite twips";
            break;
        case 5:
            slider.resize(number(bytes, next), 30);
            break;
        case 6:
            bar.drag(number(bytes, next));
            failure = bar.tried != bar.sought ? "a drag ended elsewhere than it moved"
                                              : bar.reported("a drag");
            break;
        case 7:
            bar.drag(std::nullopt);
            failure = bar.reported("a click");
            break;
        default: {
            QImage image(std::clamp(slider.width(), 1, 600), 30, QImage::Format_RGB32);
            slider.render(&image, QPoint(), QRegion(image.rect()));
            break;
        }
        }
        if (!failure.isEmpty())
            return failure;
    }
    return {};
}
