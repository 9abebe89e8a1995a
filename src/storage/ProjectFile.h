#pragma once

#include "model/ProjectContent.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// A project file holds one workspace: the header line "kv project file",
// the media path, and one line per section row with its five cells joined
// by "<|S|>". Every line ends in CR LF. The cells are stored as they stand;
// nothing is escaped or recomputed.

// The file's bytes. A `preamble` of ASCII lines goes before them, as the
// recovery file has one, without a copy of the whole file.
QByteArray projectFileBytes(const ProjectContent& content, const QString& preamble = {});

// Whether a file's first bytes can begin a project file: the header line,
// which is plain ASCII in either code page. A file that cannot is no project
// and need not be read further.
constexpr qsizetype ProjectSignatureSize = 16;
bool beginsProjectFile(const QByteArray& start);

// Reads a project file's bytes. A file whose first line is not exactly the
// header is no project: nullopt. Anything else loads: a line may end in
// CR LF, CR or LF; missing cells are empty; the first four separators divide
// the cells and any further ones belong to the text; blank lines at the end
// are dropped; a file without row lines gives one empty row, since the
// workspace always has its capture section.
// A row line whose time cells are not what the program writes (columns 0 and
// 1 empty or a raw position, 2 and 3 empty or a FormatTime text), as when a
// separator went missing or a line of plain text was added, keeps its words:
// it becomes a text-only row, the line's pieces between separators that are
// not empty joined by a blank, and is listed in `repairedRows`. When that is
// the last row, an empty row follows it, so that the capture section never
// overwrites the words.
std::optional<ProjectContent> readProjectFileBytes(const QByteArray& bytes);
