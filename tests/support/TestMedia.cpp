#include "TestMedia.h"

#include "TestFiles.h"
#include "tools/TimedNoise.h"

#include <QDir>
#include <QProcess>

#include <algorithm>
#include <iterator>

namespace TestMedia {

namespace {

struct Format
{
    Kind kind;
    const char* name;
    const char* extension;
    QStringList codecs; // with a picture when it names a video codec
};

const Format Formats[] = {
    {Kind::Wav, "wav", "wav", {"-c:a", "pcm_s16le"}},
    {Kind::Mp3Cbr, "mp3-cbr", "mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}},
    {Kind::Mp3Vbr, "mp3-vbr", "mp3", {"-c:a", "libmp3lame", "-q:a", "2"}},
    {Kind::Mp3VbrNoHeader,
     "mp3-vbr-no-header",
     "mp3",
     {"-c:a", "libmp3lame", "-q:a", "2", "-write_xing", "0"}},
    {Kind::Wma, "wma", "wma", {"-c:a", "wmav2"}},
    {Kind::Wmv, "wmv", "wmv", {"-c:v", "wmv2", "-c:a", "wmav2"}},
    {Kind::Avi, "avi", "avi", {"-c:v", "mpeg4", "-c:a", "libmp3lame"}},
    {Kind::Mpeg, "mpeg", "mpeg", {"-c:v", "mpeg1video", "-c:a", "mp2"}},
    {Kind::MpegTs, "mpeg-ts", "mpeg", {"-c:v", "mpeg2video", "-c:a", "mp2", "-f", "mpegts"}},
    {Kind::Aac, "aac", "aac", {"-c:a", "aac", "-f", "adts"}},
    {Kind::M4a, "m4a", "m4a", {"-c:a", "aac"}},
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

QString generate(const QString& dir, Kind kind, int seconds, Signal signal)
{
    const Format& f = format(kind);
    const QString d = QString::number(seconds);
    // A tone; VBR encoders need material whose complexity changes: quiet
    // noise, then loud.
    QStringList args = {"-f", "lavfi", "-i",
                        kind == Kind::Mp3Vbr || kind == Kind::Mp3VbrNoHeader
                            ? "anoisesrc=d=" + d + ":r=48000:a=0.3,volume='if(lt(t," +
                                  QString::number(seconds / 2.0) + "),0.05,1)':eval=frame"
                            : "sine=frequency=440:sample_rate=48000:duration=" + d};
    if (signal == Signal::Bursts)
        args[3] = QString("aevalsrc='0.8*sin(2*PI*1000*t)*lt(mod(t+9\\,10)\\,%1)':s=48000:d=%2")
                      .arg(BurstMs / 1000.0)
                      .arg(d);
    if (signal == Signal::TimedNoise) {
        const QString noise = writeFile(dir, "noise.wav", TimedNoise::wavFile(seconds));
        if (kind == Kind::Wav)
            return noise;
        args = QStringList{"-i", noise};
    }
    if (f.codecs.contains("-c:v"))
        args = QStringList{"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=" + d} +
               args + QStringList{"-map", "0", "-map", "1"};
    const QString path = QDir(dir).filePath(f.name + QString(".") + f.extension);
    return ffmpeg(args + f.codecs + QStringList{path}) ? path : QString();
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
    return TestFiles::write(path, bytes) ? path : QString();
}

} // namespace TestMedia
