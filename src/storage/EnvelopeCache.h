#pragma once

#include "media/Envelope.h"

#include <QString>

#include <optional>

// Envelopes of recordings kept in the user's cache folder ("envelopes" in
// QStandardPaths::CacheLocation), so that a recording opened again shows
// its envelope at once. One file per recording, named by a hash of its
// absolute path, size and modification time, which the file repeats in full:
// a recording changed since, or a name shared by chance, finds no envelope.
// A file is checked whole by a hash of its bytes; one that is damaged, cut
// short or stale is a miss, and is removed.
//
// The folder holds at most EnvelopeCacheBytes (some 70 hour-long
// recordings): each write removes the files used least recently (a hit
// counts as a use) beyond that.
constexpr qint64 EnvelopeCacheBytes = qint64(100) << 20;

QString envelopeCacheFolder();

// The envelope kept for the recording at `mediaPath` as it is on disk now,
// `lengthMs` long on the device.
std::optional<Envelope> readCachedEnvelope(const QString& mediaPath, qint32 lengthMs);

// Keeps the complete `envelope` of the recording at `mediaPath`, replacing
// the file only once the new one is whole. Returns why it could not.
std::optional<QString> writeCachedEnvelope(const QString& mediaPath, const Envelope& envelope);

// Removes the files used least recently until the folder holds at most
// `maxBytes`.
void trimEnvelopeCache(qint64 maxBytes = EnvelopeCacheBytes);
