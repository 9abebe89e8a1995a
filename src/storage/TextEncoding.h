#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <functional>

// The one rule for the bytes of the program's text files (projects and
// exported transcripts). Text goes out in Windows-1252, the code page these
// files have always used, unless it holds a character that code page lacks;
// then the whole file is UTF-8, so that no character is lost. Reading goes by
// line (a line ends at LF, CR or CR LF): a line that is valid UTF-8 and holds
// a non-ASCII byte is UTF-8, any other line Windows-1252. A project edited in
// both code pages, or a stray byte, garbles no more than its own line. Text
// whose Windows-1252 bytes would read back as other characters ("Ã©") goes
// out as UTF-8 too.
QByteArray encodeText(QStringView text);
QString decodeText(const QByteArray& bytes);

// A text given piece by piece: the function hands every piece, in order, to
// the sink it is given, and may be called more than once.
using TextSink = std::function<void(QStringView piece)>;
using TextPieces = std::function<void(const TextSink& sink)>;

// Encodes the pieces as encodeText would encode them joined, without ever
// holding the joined text.
QByteArray encodeText(const TextPieces& pieces);
