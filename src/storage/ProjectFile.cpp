#include "storage/ProjectFile.h"

#include "storage/TextEncoding.h"

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
    for (size_t i = 2; i < lines.size(); ++i)
        content.rows.push_back(cellsOf(lines[i]));
    if (content.rows.empty())
        content.rows.emplace_back();
    return content;
}
