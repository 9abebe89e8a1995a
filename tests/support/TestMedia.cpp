#include "TestMedia.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <iterator>

namespace TestMedia {

namespace {

QStringList source(Kind kind, int seconds)
{
    const QString d = QString::number(seconds);
    // VBR encoders need material whose complexity changes: quiet noise, then loud.
    if (kind == Kind::Mp3Vbr || kind == Kind::Mp3VbrNoHeader)
        return {"-f", "lavfi", "-i",
                "anoisesrc=d=" + d + ":r=48000:a=0.3,volume='if(lt(t," +
                    QString::number(seconds / 2.0) + "),0.05,1)':eval=frame"};
    return {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=" + d};
}

QStringList picture(int seconds)
{
    return {"-f", "lavfi", "-i",
            "testsrc=size=160x120:rate=25:duration=" + QString::number(seconds)};
}

struct Format
{
    Kind kind;
    const char* name;
    const char* extension;
};

constexpr Format Formats[] = {
    {Kind::Wav, "wav", "wav"},         {Kind::Mp3Cbr, "mp3-cbr", "mp3"},
    {Kind::Mp3Vbr, "mp3-vbr", "mp3"},  {Kind::Mp3VbrNoHeader, "mp3-vbr-no-header", "mp3"},
    {Kind::Wma, "wma", "wma"},         {Kind::Wmv, "wmv", "wmv"},
    {Kind::Avi, "avi", "avi"},         {Kind::Mpeg, "mpeg", "mpeg"},
    {Kind::MpegTs, "mpeg-ts", "mpeg"}, {Kind::Aac, "aac", "aac"},
};

const Format& format(Kind kind)
{
    return *std::find_if(std::begin(Formats), std::end(Formats),
                         [kind](const Format& f) { return f.kind == kind; });
}

} // namespace

QString name(Kind kind)
{
    return format(kind).name;
}

QString extension(Kind kind)
{
    return format(kind).extension;
}

bool ffmpeg(const QStringList& args)
{
    QProcess process;
    process.start("ffmpeg", QStringList{"-v", "error", "-nostdin", "-y"} + args);
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QString generate(const QString& dir, Kind kind, int seconds)
{
    const QString path = QDir(dir).filePath(name(kind) + "." + extension(kind));

    const QStringList withPicture =
        picture(seconds) + source(kind, seconds) + QStringList{"-map", "0", "-map", "1"};
    QStringList args = source(kind, seconds);
    switch (kind) {
    case Kind::Wav:
        args += QStringList{"-c:a", "pcm_s16le"};
        break;
    case Kind::Mp3Cbr:
        args += QStringList{"-c:a", "libmp3lame", "-b:a", "128k"};
        break;
    case Kind::Mp3Vbr:
        args += QStringList{"-c:a", "libmp3lame", "-q:a", "2"};
        break;
    case Kind::Mp3VbrNoHeader:
        args += QStringList{"-c:a", "libmp3lame", "-q:a", "2", "-write_xing", "0"};
        break;
    case Kind::Wma:
        args += QStringList{"-c:a", "wmav2"};
        break;
    case Kind::Wmv:
        args = withPicture + QStringList{"-c:v", "wmv2", "-c:a", "wmav2"};
        break;
    case Kind::Avi:
        args = withPicture + QStringList{"-c:v", "mpeg4", "-c:a", "libmp3lame"};
        break;
    case Kind::Mpeg:
        args = withPicture + QStringList{"-c:v", "mpeg1video", "-c:a", "mp2"};
        break;
    case Kind::MpegTs:
        args = withPicture + QStringList{"-c:v", "mpeg2video", "-c:a", "mp2", "-f", "mpegts"};
        break;
    case Kind::Aac:
        args += QStringList{"-c:a", "aac", "-f", "adts"};
        break;
    }
    return ffmpeg(args << path) ? path : QString();
}

qint64 decodedLengthMs(const QString& path)
{
    QProcess process;
    process.start("ffmpeg", {"-v", "error", "-nostdin", "-i", path, "-map", "0:a:0", "-ac", "1",
                             "-ar", "48000", "-f", "s16le", "-"});
    if (!process.waitForFinished(120000) || process.exitCode() != 0)
        return -1;
    const qint64 samples = process.readAllStandardOutput().size() / 2;
    return (samples + 24) / 48;
}

QString writeFile(const QString& dir, const QString& fileName, const QByteArray& bytes)
{
    const QString path = QDir(dir).filePath(fileName);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

} // namespace TestMedia
