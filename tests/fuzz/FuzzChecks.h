#pragma once

#include <QByteArray>
#include <QString>

// What the fuzz targets check on one input. The regression test replays the
// inputs kept in the repository through the same functions. Each returns ""
// when the input passes, otherwise what went wrong. Both need a
// QApplication.
namespace FuzzChecks {

// The bytes as a project file: whether they load agrees with their first
// bytes; a loaded project fills the section table as opening it does, five
// cells a row, without line breaks in any cell or the media path; writing
// the content and reading it again gives the same content.
QString projectFile(const QByteArray& bytes);

// The bytes as a script for a seek bar: its width, span, values, section
// and thumb drags. A value inside the span puts the thumb's centre on the
// bar, and the value under the thumb is within a pixel's worth of it; a
// dragged thumb reports values within the span.
QString playSlider(const QByteArray& bytes);

} // namespace FuzzChecks
