#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <vector>

// Noise made from a fixed seed: every few milliseconds of it are unlike any
// other, so a short stretch of it heard anywhere tells from where in the
// media it was taken. Media made of it can be played, recorded and every
// heard moment read back as a media time.
namespace TimedNoise {

constexpr int SampleRate = 48000;

// The noise's first `samples` samples, -1 to 1.
std::vector<float> samples(qint64 count);

// A mono 16-bit WAV file of the noise, `seconds` long.
QByteArray wavFile(int seconds);

} // namespace TimedNoise
