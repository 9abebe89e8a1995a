#include "media/MpegAudioScan.h"

#include <QFile>

#include <array>
#include <cstring>
#include <functional>
#include <optional>

#include <sys/mman.h>
#include <unistd.h>

namespace {

struct Frame
{
    int version; // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    int layer;   // 1, 2 or 3
    int sampleRate;
    int samples;
    int size;
    bool mono;

    bool sameStream(const Frame& other) const
    {
        return version == other.version && layer == other.layer && sampleRate == other.sampleRate;
    }
};

constexpr std::array<std::array<int, 15>, 5> Bitrates{{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}, // V1 L1
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},    // V1 L2
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},     // V1 L3
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},    // V2 L1
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},         // V2 L2, L3
}};

std::optional<Frame> parseFrame(const uchar* p)
{
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return std::nullopt;
    const int version = (p[1] >> 3) & 3;
    const int layer = 4 - ((p[1] >> 1) & 3);
    const int bitrateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    // Reserved values, and free-format frames whose size is not in the header.
    if (version == 1 || layer == 4 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return std::nullopt;

    static constexpr int BaseRates[3] = {44100, 48000, 32000};
    const int sampleRate = BaseRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    const int table = version == 3 ? layer - 1 : (layer == 1 ? 3 : 4);
    const int bitrate = Bitrates[table][bitrateIndex] * 1000;
    const int padding = (p[2] >> 1) & 1;

    Frame frame{version, layer, sampleRate, 0, 0, ((p[3] >> 6) & 3) == 3};
    if (layer == 1) {
        frame.samples = 384;
        frame.size = (12 * bitrate / sampleRate + padding) * 4;
    } else {
        frame.samples = (layer == 3 && version != 3) ? 576 : 1152;
        frame.size = frame.samples / 8 * bitrate / sampleRate + padding;
    }
    return frame;
}

// Frame at `pos` that is followed by `chain` - 1 more frames of the same stream.
std::optional<Frame> frameChainAt(const uchar* data, qint64 size, qint64 pos, int chain)
{
    if (pos + 4 > size)
        return std::nullopt;
    const auto first = parseFrame(data + pos);
    if (!first)
        return std::nullopt;
    qint64 next = pos + first->size;
    for (int i = 1; i < chain; ++i) {
        if (next + 4 > size)
            return next == size ? first : std::nullopt;
        const auto frame = parseFrame(data + next);
        if (!frame || !frame->sameStream(*first))
            return std::nullopt;
        next += frame->size;
    }
    return first;
}

qint64 id3v2Size(const uchar* data, qint64 size)
{
    if (size < 10 || std::memcmp(data, "ID3", 3) != 0)
        return 0;
    const qint64 body = (qint64(data[6] & 0x7F) << 21) | ((data[7] & 0x7F) << 14) |
                        ((data[8] & 0x7F) << 7) | (data[9] & 0x7F);
    const bool footer = data[5] & 0x10;
    return 10 + body + (footer ? 10 : 0);
}

// The Xing/Info tag follows the side information, whose size depends on the
// MPEG version and channel count.
qint64 xingOffset(const Frame& header)
{
    return 4 + (header.version == 3 ? (header.mono ? 17 : 32) : (header.mono ? 9 : 17));
}

bool hasVbrHeader(const uchar* frame, const Frame& header, qint64 available)
{
    // VBRI sits at a fixed offset.
    const qint64 xing = xingOffset(header);
    const auto tagAt = [&](qint64 offset, const char* tag) {
        return offset + 4 <= available && offset + 4 <= header.size &&
               std::memcmp(frame + offset, tag, 4) == 0;
    };
    return tagAt(xing, "Xing") || tagAt(xing, "Info") || tagAt(36, "VBRI");
}

bool startsWithContainer(const uchar* data, qint64 size)
{
    static constexpr const char* Magics[] = {
        "RIFF", "OggS", "fLaC", "\x30\x26\xB2\x75", "\x00\x00\x01\xBA", "\x1A\x45\xDF\xA3"};
    for (const char* magic : Magics)
        if (size >= 4 && std::memcmp(data, magic, 4) == 0)
            return true;
    return size >= 8 && std::memcmp(data + 4, "ftyp", 4) == 0;
}

// Tags that may follow the last frame.
bool atTrailer(const uchar* data, qint64 size, qint64 pos)
{
    const auto is = [&](const char* tag, qint64 length) {
        return pos + length <= size && std::memcmp(data + pos, tag, size_t(length)) == 0;
    };
    return is("TAG", 3) || is("APETAGEX", 8) || is("LYRICSBEGIN", 11);
}

constexpr int ChainToLock = 4;      // frames in a row before a stream is trusted
constexpr qint64 JunkLimit = 65536; // bytes searched for the first frame

// The first frame of the stream, at `pos`, or nothing.
std::optional<Frame> firstFrame(const uchar* data, qint64 size, qint64& pos)
{
    if (startsWithContainer(data, size))
        return std::nullopt;
    pos = id3v2Size(data, size);
    for (const qint64 limit = std::min(size, pos + JunkLimit); pos < limit; ++pos)
        if (auto stream = frameChainAt(data, size, pos, ChainToLock))
            return stream;
    return std::nullopt;
}

// How often the walk reports how far it has come.
constexpr qint64 ProgressStep = 1 << 20;

// The walk over every frame; `passed` hears, every ProgressStep bytes, that
// nothing before that offset is read again.
qint64 walkFrames(const uchar* data, qint64 size, const std::function<void(qint64)>& passed)
{
    qint64 pos = 0;
    const std::optional<Frame> stream = firstFrame(data, size, pos);
    if (!stream)
        return -1;
    if (hasVbrHeader(data + pos, *stream, size - pos))
        return -1;

    qint64 samples = 0;
    for (qint64 reported = 0; pos + 4 <= size && !atTrailer(data, size, pos);) {
        if (passed && pos - reported >= ProgressStep)
            passed(reported = pos);
        const auto frame = parseFrame(data + pos);
        if (frame && frame->sameStream(*stream) && pos + frame->size <= size) {
            samples += frame->samples;
            pos += frame->size;
            continue;
        }
        // Damaged data: look for the next run of good frames.
        ++pos;
        while (pos + 4 <= size && !frameChainAt(data, size, pos, ChainToLock))
            ++pos;
    }
    return (samples * 1000 + stream->sampleRate / 2) / stream->sampleRate;
}

} // namespace

qint64 mpegAudioLengthMs(const uchar* data, qint64 size)
{
    return walkFrames(data, size, {});
}

qint64 mpegAudioLengthMs(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 4)
        return -1;
    if (const uchar* data = file.map(0, file.size())) {
        // The pages already walked are handed back as the walk goes on, so
        // that an hour's recording never sits in memory whole.
        const qint64 page = sysconf(_SC_PAGESIZE);
        return walkFrames(data, file.size(), [data, page](qint64 done) {
            madvise(const_cast<uchar*>(data), size_t(done / page * page), MADV_DONTNEED);
        });
    }
    const QByteArray bytes = file.readAll();
    return mpegAudioLengthMs(reinterpret_cast<const uchar*>(bytes.constData()), bytes.size());
}

std::optional<MpegAudioGap> mpegAudioGap(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray head = file.read(JunkLimit + (1 << 16));
    const auto* data = reinterpret_cast<const uchar*>(head.constData());
    const qint64 size = head.size();
    qint64 pos = 0;
    const std::optional<Frame> stream = firstFrame(data, size, pos);
    if (!stream || stream->layer != 3)
        return std::nullopt;
    const uchar* tag = data + pos + xingOffset(*stream);
    const qint64 available = size - (tag - data);
    if (available < 8 || (std::memcmp(tag, "Xing", 4) != 0 && std::memcmp(tag, "Info", 4) != 0))
        return std::nullopt;
    // The Xing fields present (frames, bytes, table of contents, quality),
    // then the encoder's tag: its name, and 21 bytes on, 12 bits of delay
    // and 12 of padding, in samples.
    const int flags = tag[7];
    const qint64 encoder =
        8 + (flags & 1 ? 4 : 0) + (flags & 2 ? 4 : 0) + (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
    if (available < encoder + 24 || pos + xingOffset(*stream) + encoder + 24 > pos + stream->size)
        return std::nullopt;
    const uchar* lame = tag + encoder;
    if (std::memcmp(lame, "LAME", 4) != 0 && std::memcmp(lame, "Lavc", 4) != 0 &&
        std::memcmp(lame, "Lavf", 4) != 0)
        return std::nullopt;
    const int delay = (lame[21] << 4) | (lame[22] >> 4);
    const int padding = ((lame[22] & 0x0F) << 8) | lame[23];
    // The decoder adds 529 samples of its own ahead of the encoder's delay;
    // they come off the padding at the end.
    constexpr int DecoderDelay = 529;
    const auto ns = [rate = stream->sampleRate](qint64 samples) {
        return samples * 1000000000 / rate;
    };
    return MpegAudioGap{ns(delay + DecoderDelay), ns(std::max(0, padding - DecoderDelay))};
}
