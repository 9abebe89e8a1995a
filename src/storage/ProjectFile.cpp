#include "storage/ProjectFile.h"

#include "storage/TextEncoding.h"

#include <algorithm>

namespace {

const QString Header = QStringLiteral("kv project file");
const QString Separator = QStringLiteral("<|S|>");
const QString LineEnd = QStringLiteral("\r\n");

// The lines of a text; the end of the last line is optional.
std::vector<QStringView> linesOf(QStringView text)
{
    std::vector<QStringView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.push_back(text.sliced(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.sliced(start));
    return lines;
}

SectionTableModel::Cells cellsOf(QStringView line)
{
    SectionTableModel::Cells cells;
    qsizetype start = 0;
    for (int k = 0; k < SectionTableModel::ColumnCount - 1; ++k) {
        const qsizetype end = line.indexOf(Separator, start);
        if (end < 0) {
            cells[k] = line.sliced(start).toString();
            return cells;
        }
        cells[k] = line.sliced(start, end - start).toString();
        start = end + Separator.size();
    }
    cells.back() = line.sliced(start).toString();
    return cells;
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Columns 0 and 1 as RawPositionText writes them: decimal digits, after a
// minus for a position before the start.
bool isRawPositionCell(QStringView cell)
{
    const QStringView digits = cell.startsWith(u'-') ? cell.sliced(1) : cell;
    return cell.isEmpty() ||
           (!digits.isEmpty() && std::all_of(digits.begin(), digits.end(), isAsciiDigit));
}

// One field of a FormatTime text: its value's last two digits, or a minus and
// one digit for a value from -1 to -9. Minutes and seconds stay below 60.
bool isTimeField(QStringView field, bool belowSixty)
{
    if (field[0] == u'-')
        return field[1] >= u'1' && field[1] <= u'9';
    return isAsciiDigit(field[0]) && isAsciiDigit(field[1]) && (!belowSixty || field[0] < u'6');
}

// Columns 2 and 3 as FormatTime writes them: "hh:mm:ss".
bool isTimeCell(QStringView cell)
{
    if (cell.isEmpty())
        return true;
    return cell.size() == 8 && cell[2] == u':' && cell[5] == u':' &&
           isTimeField(cell.sliced(0, 2), false) && isTimeField(cell.sliced(3, 2), true) &&
           isTimeField(cell.sliced(6, 2), true);
}

bool hasTimeCells(const SectionTableModel::Cells& cells)
{
    return isRawPositionCell(cells[0]) && isRawPositionCell(cells[1]) && isTimeCell(cells[2]) &&
           isTimeCell(cells[3]);
}

// A damaged line's words in the text cell, no separator among them.
SectionTableModel::Cells textOnlyCells(QStringView line)
{
    SectionTableModel::Cells cells;
    for (const QStringView piece : line.split(Separator, Qt::SkipEmptyParts)) {
        if (!cells.back().isEmpty())
            cells.back() += u' ';
        cells.back() += piece;
    }
    return cells;
}

} // namespace

QByteArray projectFileBytes(const ProjectContent& content, const QString& preamble)
{
    // ASCII reads the same in either code page, so the preamble leaves the
    // choice of code page to the content.
    return encodeText([&content, &preamble](const TextSink& write) {
        write(preamble);
        write(Header);
        write(LineEnd);
        write(content.mediaFile);
        write(LineEnd);
        for (const SectionTableModel::Cells& cells : content.rows) {
            for (int k = 0; k < SectionTableModel::ColumnCount; ++k) {
                if (k > 0)
                    write(Separator);
                write(cells[k]);
            }
            write(LineEnd);
        }
    });
}

bool beginsProjectFile(const QByteArray& start)
{
    const QByteArray header = Header.toLatin1();
    if (!start.startsWith(header))
        return false;
    return start.size() == header.size() || start[header.size()] == '\r' ||
           start[header.size()] == '\n';
}

std::optional<ProjectContent> readProjectFileBytes(const QByteArray& bytes)
{
    const QString text = decodeText(bytes);
    std::vector<QStringView> lines = linesOf(text);
    if (lines.empty() || lines.front() != Header)
        return std::nullopt;
    // Blank lines after the last row (an editor may add one) hold no section.
    while (lines.size() > 2 && lines.back().isEmpty())
        lines.pop_back();
    ProjectContent content;
    if (lines.size() > 1)
        content.mediaFile = lines[1].toString();
    content.rows.reserve(std::max<size_t>(lines.size(), 3) - 2);
    bool lastRepaired = false;
    for (size_t i = 2; i < lines.size(); ++i) {
        SectionTableModel::Cells cells = cellsOf(lines[i]);
        lastRepaired = !hasTimeCells(cells);
        if (lastRepaired) {
            content.repairedRows.push_back(int(content.rows.size()));
            cells = textOnlyCells(lines[i]);
        }
        content.rows.push_back(std::move(cells));
    }
    // The capture section is never a repaired row, as its cells are rewritten.
    if (content.rows.empty() || lastRepaired)
        content.rows.emplace_back();
    return content;
}
