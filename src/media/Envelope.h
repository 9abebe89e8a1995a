#pragma once

#include <QtGlobal>

#include <vector>

// The loudness envelope of a recording: the highest sample level in every
// BucketMs of it, on the device's timeline. It is filled in piece by piece,
// in any order, so each bucket also tells whether it is known yet.
class Envelope
{
public:
    static constexpr qint32 BucketMs = 5;
    // A bucket not scanned yet; every known level lies below it.
    static constexpr quint16 Unknown = 0xFFFF;
    // The level of a sample at full scale.
    static constexpr quint16 FullScale = 0xFFFE;

    Envelope() = default;
    // An envelope of `lengthMs` of which nothing is known yet.
    explicit Envelope(qint32 lengthMs);
    // An envelope whose buckets are all given, as a cache keeps them; empty
    // when their number does not fit the length.
    static Envelope fromBuckets(qint32 lengthMs, std::vector<quint16> buckets);

    qint32 lengthMs() const { return lengthMs_; }
    qsizetype bucketCount() const { return qsizetype(levels_.size()); }
    const std::vector<quint16>& buckets() const { return levels_; }
    bool isEmpty() const { return levels_.empty(); }

    // Sets `count` levels from bucket `first` on; those past the end are
    // dropped. Returns how many were set.
    qsizetype setLevels(qsizetype first, const quint16* levels, qsizetype count);
    quint16 level(qsizetype bucket) const;
    // The highest known level of the buckets that [fromMs, toMs) touches;
    // Unknown when none of them is known.
    quint16 peakBetween(qint32 fromMs, qint32 toMs) const;
    qsizetype knownCount() const { return known_; }
    bool isComplete() const { return !levels_.empty() && known_ == bucketCount(); }

    static qsizetype bucketAt(qint32 ms) { return ms / BucketMs; }

private:
    qint32 lengthMs_ = 0;
    std::vector<quint16> levels_;
    qsizetype known_ = 0;
};
