#include "storage/EnvelopeCache.h"

#include "storage/FileAccess.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtEndian>

// A file holds, numbers little-endian: the signature; the key's size (4
// bytes) and the key; the length in ms (4) and the number of buckets (8);
// the buckets, 2 bytes each; a hash of all that.

namespace {

const QByteArray Signature = "Kelvane envelope 1\n";
// Fast: an hour's envelope is checked in about 2 ms.
constexpr auto Checksum = QCryptographicHash::Blake2b_256;
constexpr qsizetype ChecksumSize = 32;

// The recording as it is on disk now: its absolute path, size and time; ""
// when there is no such file.
QByteArray keyOf(const QString& mediaPath)
{
    const QFileInfo media(mediaPath);
    if (!media.isFile())
        return {};
    return media.absoluteFilePath().toUtf8() + '\0' + QByteArray::number(media.size()) + '\0' +
           QByteArray::number(media.lastModified().toMSecsSinceEpoch());
}

QString cachePath(const QByteArray& key)
{
    const QByteArray name = QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex();
    return envelopeCacheFolder() + '/' + QString::fromLatin1(name) + QStringLiteral(".envelope");
}

template <typename T> void put(QByteArray& bytes, T value)
{
    value = qToLittleEndian(value);
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

std::optional<Envelope> envelopeFrom(const QByteArray& bytes, const QByteArray& key,
                                     qint32 lengthMs)
{
    const qsizetype head = Signature.size() + 4 + key.size() + 4 + 8;
    const qsizetype levelBytes = bytes.size() - head - ChecksumSize;
    if (levelBytes < 0 || levelBytes % 2 != 0 || !bytes.startsWith(Signature))
        return {};
    const char* at = bytes.constData() + Signature.size();
    if (qFromLittleEndian<quint32>(at) != quint32(key.size()) ||
        QByteArrayView(at + 4, key.size()) != key)
        return {};
    at += 4 + key.size();
    if (qFromLittleEndian<qint32>(at) != lengthMs ||
        qFromLittleEndian<quint64>(at + 4) != quint64(levelBytes / 2) ||
        QCryptographicHash::hash(QByteArrayView(bytes).first(bytes.size() - ChecksumSize),
                                 Checksum) != bytes.last(ChecksumSize))
        return {};
    std::vector<quint16> buckets(size_t(levelBytes / 2));
    qFromLittleEndian<quint16>(at + 12, qsizetype(buckets.size()), buckets.data());
    Envelope envelope = Envelope::fromBuckets(lengthMs, std::move(buckets));
    if (envelope.isEmpty())
        return {};
    return envelope;
}

} // namespace

QString envelopeCacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
           QStringLiteral("/envelopes");
}

std::optional<Envelope> readCachedEnvelope(const QString& mediaPath, qint32 lengthMs)
{
    const QByteArray key = keyOf(mediaPath);
    if (key.isEmpty())
        return {};
    const QString path = cachePath(key);
    QByteArray bytes;
    if (!QFileInfo::exists(path) || readWholeFile(path, bytes))
        return {};
    std::optional<Envelope> envelope = envelopeFrom(bytes, key, lengthMs);
    if (!envelope) {
        QFile::remove(path);
        return {};
    }
    // A use: the files used least recently are the first to go.
    if (QFile file(path); file.open(QIODevice::ReadOnly))
        file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileModificationTime);
    return envelope;
}

std::optional<QString> writeCachedEnvelope(const QString& mediaPath, const Envelope& envelope)
{
    const QByteArray key = keyOf(mediaPath);
    if (key.isEmpty())
        return QStringLiteral("The recording is not there.");
    if (!envelope.isComplete())
        return QStringLiteral("The envelope is not complete.");
    if (!QDir().mkpath(envelopeCacheFolder()))
        return QStringLiteral("The cache folder could not be made.");
    const qsizetype count = envelope.bucketCount();
    QByteArray bytes = Signature;
    bytes.reserve(Signature.size() + key.size() + 16 + count * 2 + ChecksumSize);
    put(bytes, quint32(key.size()));
    bytes.append(key);
    put(bytes, qint32(envelope.lengthMs()));
    put(bytes, quint64(count));
    const qsizetype levels = bytes.size();
    bytes.resize(levels + count * 2);
    qToLittleEndian<quint16>(envelope.buckets().data(), count, bytes.data() + levels);
    bytes.append(QCryptographicHash::hash(bytes, Checksum));
    if (std::optional<QString> failure = writeWholeFile(cachePath(key), bytes))
        return failure;
    trimEnvelopeCache();
    return std::nullopt;
}

void trimEnvelopeCache(qint64 maxBytes)
{
    qint64 kept = 0;
    // Newest first, leftovers of an interrupted write among them.
    for (const QFileInfo& file :
         QDir(envelopeCacheFolder()).entryInfoList(QDir::Files | QDir::Hidden, QDir::Time)) {
        kept += file.size();
        if (kept > maxBytes)
            QFile::remove(file.filePath());
    }
}
