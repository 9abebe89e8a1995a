#include "media/Envelope.h"

#include <algorithm>

Envelope::Envelope(qint32 lengthMs)
    : lengthMs_(std::max(lengthMs, 0)),
      levels_(size_t((lengthMs_ + BucketMs - 1) / BucketMs), Unknown)
{
}

Envelope Envelope::fromBuckets(qint32 lengthMs, std::vector<quint16> buckets)
{
    Envelope envelope(lengthMs);
    if (buckets.size() != envelope.levels_.size() ||
        std::find(buckets.begin(), buckets.end(), Unknown) != buckets.end())
        return {};
    envelope.levels_ = std::move(buckets);
    envelope.known_ = envelope.bucketCount();
    return envelope;
}

qsizetype Envelope::setLevels(qsizetype first, const quint16* levels, qsizetype count)
{
    if (first < 0) {
        levels -= first;
        count += first;
        first = 0;
    }
    count = std::clamp(bucketCount() - first, qsizetype(0), std::max(count, qsizetype(0)));
    for (qsizetype i = 0; i < count; ++i) {
        quint16& kept = levels_[size_t(first + i)];
        known_ += kept == Unknown;
        kept = std::min(levels[i], FullScale);
    }
    return count;
}

quint16 Envelope::level(qsizetype bucket) const
{
    return bucket >= 0 && bucket < bucketCount() ? levels_[size_t(bucket)] : Unknown;
}

quint16 Envelope::peakBetween(qint32 fromMs, qint32 toMs) const
{
    const qsizetype first = std::max(bucketAt(fromMs), qsizetype(0));
    const qsizetype end = std::min(bucketAt(std::max(toMs - 1, fromMs)) + 1, bucketCount());
    int peak = -1;
    for (qsizetype bucket = first; bucket < end; ++bucket)
        if (const quint16 known = levels_[size_t(bucket)]; known != Unknown)
            peak = std::max(peak, int(known));
    return peak < 0 ? Unknown : quint16(peak);
}
