#pragma once

#include <QByteArray>
#include <QString>

// What the fuzz target checks on one input. The regression test replays the
// inputs kept in the repository through the same function. It returns ""
// when the input passes, otherwise what went wrong.
namespace FuzzChecks {

// The bytes as a project file: whether they load agrees with their first
// bytes; a loaded project fills the section table as opening it does, five
// cells a row, without line breaks in any cell or the media path; writing
// the content and reading it again gives the same content.
QString projectFile(const QByteArray& bytes);

} // namespace FuzzChecks
