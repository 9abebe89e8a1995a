#include "workspace/EnvelopeFeed.h"

#include "media/MediaLog.h"
#include "storage/EnvelopeCache.h"

#include <QDir>

EnvelopeFeed::EnvelopeFeed(QObject* parent) : QObject(parent)
{
    connect(&scanner_, &EnvelopeScanner::levelsFound, this, &EnvelopeFeed::onLevels);
    connect(&scanner_, &EnvelopeScanner::finished, this, &EnvelopeFeed::onFinished);
    connect(&scanner_, &EnvelopeScanner::failed, this, &EnvelopeFeed::onFailed);
}

void EnvelopeFeed::open(const QString& path, qint32 lengthMs, qint32 aroundMs)
{
    if (path == path_ && envelope_.lengthMs() == lengthMs &&
        (envelope_.isComplete() || scanner_.isScanning()))
        return;
    scanner_.cancel();
    path_ = path;
    note_.clear();
    scanning_.start();
    if (std::optional<Envelope> cached = readCachedEnvelope(path, lengthMs)) {
        envelope_ = std::move(*cached);
        qCInfo(lcMedia, "envelope of %s: whole in %lld ms, from the cache, %lld bytes",
               qUtf8Printable(QDir::toNativeSeparators(path)), qlonglong(scanning_.elapsed()),
               qlonglong(envelope_.bucketCount() * qsizetype(sizeof(quint16))));
        emit replaced();
        return;
    }
    envelope_ = Envelope(lengthMs);
    emit replaced();
    scanner_.start(path, lengthMs, aroundMs);
}

void EnvelopeFeed::close()
{
    scanner_.cancel();
    path_.clear();
    note_.clear();
    envelope_ = Envelope();
    emit replaced();
}

void EnvelopeFeed::onLevels(qsizetype firstBucket, const QList<quint16>& levels)
{
    const qsizetype set = envelope_.setLevels(firstBucket, levels.constData(), levels.size());
    if (set > 0)
        emit grew(qint32(firstBucket * Envelope::BucketMs),
                  qint32((firstBucket + set) * Envelope::BucketMs));
}

void EnvelopeFeed::onFinished()
{
    qCInfo(lcMedia, "envelope of %s: whole in %lld ms, scanned, %lld bytes",
           qUtf8Printable(QDir::toNativeSeparators(path_)), qlonglong(scanning_.elapsed()),
           qlonglong(envelope_.bucketCount() * qsizetype(sizeof(quint16))));
    // A cache that cannot be written only costs the next open a scan.
    if (const std::optional<QString> failure = writeCachedEnvelope(path_, envelope_))
        qCWarning(lcMedia, "envelope not kept in the cache: %s", qUtf8Printable(*failure));
}

void EnvelopeFeed::onFailed(const QString& note)
{
    envelope_ = Envelope();
    note_ = note;
    emit replaced();
}
