#pragma once

#include <QByteArray>
#include <QString>

// The one rule for the bytes of the program's text files (projects and
// exported transcripts). Text goes out in Windows-1252, the code page these
// files have always used, unless it holds a character that code page lacks;
// then the whole file is UTF-8, so that no character is lost. Reading takes
// a file that is valid UTF-8 and holds a non-ASCII byte as UTF-8, and any
// other file as Windows-1252.
QByteArray encodeText(const QString& text);
QString decodeText(const QByteArray& bytes);
