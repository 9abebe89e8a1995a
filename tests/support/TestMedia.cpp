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

QString numberedVideo(const QString& dir, const QString& fileName, int seconds, QSize size,
                      bool sound)
{
    const QString picture =
        QString("color=c=gray:s=%1x%2:r=25:d=%3,format=gray,"
                "geq=lum='if(lt(Y\\,H/2)\\,255*mod(floor(N/pow(2\\,floor(X*%4/W)))\\,2)\\,128)'")
            .arg(size.width())
            .arg(size.height())
            .arg(seconds)
            .arg(FrameBits);
    QStringList args = {"-f", "lavfi", "-i", picture};
    if (sound)
        args += {"-i", writeFile(dir, "noise.wav", TimedNoise::wavFile(seconds)), "-c:a", "aac"};
    const QString path = QDir(dir).filePath(fileName);
    args += {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-g", "50", "-crf", "18", path};
    return ffmpeg(args) ? path : QString();
}

int frameNumber(const QImage& picture)
{
    // The grey lower half tells where the picture lies: the upper half is
    // as high, and may be black where it meets the letterbox.
    const auto grey = [&picture](int x, int y) {
        return qAbs(qGray(picture.pixel(x, y)) - 128) < 40;
    };
    const int middle = picture.width() / 2;
    int top = -1;
    int bottom = -1;
    for (int y = 0; y < picture.height(); ++y)
        if (grey(middle, y))
            bottom = y, top = top < 0 ? y : top;
    if (top < 0 || bottom - top < 4)
        return -1;
    const int row = (top + bottom) / 2;
    int left = middle;
    int right = middle;
    while (left > 0 && grey(left - 1, row))
        --left;
    while (right + 1 < picture.width() && grey(right + 1, row))
        ++right;
    const int width = right + 1 - left;
    const int bits = top - (bottom + 1 - top) / 2; // the middle of the upper half
    if (width < 2 * FrameBits || bits < 0)
        return -1;
    int number = 0;
    for (int bit = 0; bit < FrameBits; ++bit)
        if (qGray(picture.pixel(left + (2 * bit + 1) * width / (2 * FrameBits), bits)) > 128)
            number |= 1 << bit;
    return number;
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
