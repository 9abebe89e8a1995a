#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

// Media files made at test time with ffmpeg, so that the tests play real
// files of every format the program supports without shipping any.
namespace TestMedia {

// The six formats the program is made for, an MPEG transport stream (which
// broadcast recordings often are, even when named .mpeg) and raw AAC.
enum class Kind
{
    Wav,
    Mp3Cbr,
    Mp3Vbr,
    Mp3VbrNoHeader,
    Wma,
    Wmv,
    Avi,
    M4a,
    Mpeg,
    MpegTs,
    Aac,
};

// What the media holds: a steady 440 Hz tone; TimedNoise, from which the
// moment of any heard sound can be read back; or silence but for a loud
// 1 kHz tone during the first BurstMs of every tenth second from 1 s on.
enum class Signal
{
    Tone,
    TimedNoise,
    Bursts,
};
constexpr int BurstMs = 200;
inline bool inBurst(qint64 ms)
{
    return ms % 10000 >= 1000 && ms % 10000 < 1000 + BurstMs;
}

inline const QList<Kind> AllKinds = {Kind::Wav,  Kind::Mp3Cbr, Kind::Mp3Vbr, Kind::Mp3VbrNoHeader,
                                     Kind::Wma,  Kind::Wmv,    Kind::Avi,    Kind::M4a,
                                     Kind::Mpeg, Kind::MpegTs, Kind::Aac};

QString name(Kind kind);
QString extension(Kind kind);

// Writes a `seconds` long file of `kind` into `dir` and returns its path;
// "" when ffmpeg failed.
QString generate(const QString& dir, Kind kind, int seconds = 4, Signal signal = Signal::Tone);

// A video of `seconds` at 25 frames a second whose every frame shows its own
// number as a row of FrameBits black and white blocks across its upper half
// (the lowest bit on the left) over a grey lower half, in H.264 in MP4; with
// TimedNoise as its sound when `sound`. "" when ffmpeg failed.
constexpr int FrameBits = 12;
QString numberedVideo(const QString& dir, const QString& fileName, int seconds, QSize size,
                      bool sound = true);
// The number of the frame `picture` shows, wherever it lies in it on black;
// -1 when it shows none.
int frameNumber(const QImage& picture);

// Runs ffmpeg with `args`; true on success.
bool ffmpeg(const QStringList& args);

// Length of the sound in `path` as ffmpeg decodes it, in ms; -1 on failure.
// An independent measure of a file's true length.
qint64 decodedLengthMs(const QString& path);

// Writes `bytes` to `dir`/`fileName` and returns the path.
QString writeFile(const QString& dir, const QString& fileName, const QByteArray& bytes);

} // namespace TestMedia
