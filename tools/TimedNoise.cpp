#include "tools/TimedNoise.h"

#include <QDataStream>
#include <QIODevice>

#include <cmath>

namespace TimedNoise {

namespace {

constexpr float Amplitude = 0.3f;

} // namespace

std::vector<float> samples(qint64 count)
{
    std::vector<float> noise(std::size_t(std::max<qint64>(0, count)));
    quint32 state = 0x4b656c76; // any fixed seed; xorshift32 from there
    for (float& sample : noise) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        // Quantised as the file stores it, so the file and this agree.
        const auto stored =
            qint16(std::lround((float(state) / 4294967296.0f * 2 - 1) * Amplitude * 32767));
        sample = stored / 32768.0f;
    }
    return noise;
}

QByteArray wavFile(int seconds)
{
    const std::vector<float> noise = samples(qint64(seconds) * SampleRate);
    const auto dataBytes = quint32(noise.size() * 2);
    QByteArray file;
    QDataStream out(&file, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + dataBytes);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(SampleRate) << quint32(SampleRate * 2)
        << quint16(2) << quint16(16);
    out.writeRawData("data", 4);
    out << dataBytes;
    for (const float sample : noise)
        out << qint16(std::lround(sample * 32768.0f));
    return file;
}

} // namespace TimedNoise
