#pragma once

#include "media/Envelope.h"
#include "media/EnvelopeScanner.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

// The envelope of the recording the window plays: from the cache at once
// when the cache has it, else found in the background, the stretch around
// the play position first, and kept in the cache once whole. The window
// never waits for it.
class EnvelopeFeed final : public QObject
{
    Q_OBJECT

public:
    explicit EnvelopeFeed(QObject* parent = nullptr);

    // Null while there is no envelope; it then may have a note saying why.
    const Envelope* envelope() const { return envelope_.isEmpty() ? nullptr : &envelope_; }
    const QString& note() const { return note_; }

    // The envelope of the recording at `path`, `lengthMs` long, the part
    // around `aroundMs` first. The same recording again keeps what is known.
    void open(const QString& path, qint32 lengthMs, qint32 aroundMs);
    // No recording: no envelope, no note, no scan.
    void close();

signals:
    // The envelope, or the note, is another one.
    void replaced();
    // More of the envelope is known, from `fromMs` to `toMs`.
    void grew(qint32 fromMs, qint32 toMs);

private:
    void onLevels(qsizetype firstBucket, const QList<quint16>& levels);
    void onFinished();
    void onFailed(const QString& note);

    EnvelopeScanner scanner_;
    Envelope envelope_;
    QString path_;
    QString note_;
    QElapsedTimer scanning_;
};
