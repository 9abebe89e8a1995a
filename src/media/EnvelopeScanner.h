#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <thread>
#include <vector>

class EnvelopeJob;

// Finds the loudness envelope of a recording (see Envelope) with a decoding
// pipeline of its own, on a thread of its own: the stretch around a given
// moment first, then the whole recording from its start. Its times are the
// device's (GstMediaControl::Position()): an mp3's encoder delay and a WMA
// decoder's leading silence are not part of them, and MPEG streams, which
// the device plays as a decoded track, are timed by their samples.
//
// Nothing here blocks the thread the scanner lives on. Its signals are
// emitted on that thread, from its event loop, and only for the scan under
// way: none comes from a scan once it is cancelled or replaced.
class EnvelopeScanner : public QObject
{
    Q_OBJECT

public:
    // The stretch scanned first, around the moment asked for.
    static constexpr qint32 BeforeMs = 10000;
    static constexpr qint32 AfterMs = 30000;
    // Levels go out once they cover at least this much of the recording.
    static constexpr qint32 ChunkMs = 500;

    explicit EnvelopeScanner(QObject* parent = nullptr);
    // Cancels the scans under way and waits only until their pipelines have
    // stopped, which takes a few milliseconds.
    ~EnvelopeScanner() override;

    // Scans the recording at `path`, `lengthMs` long on the device, from
    // BeforeMs before `aroundMs` to AfterMs after it, then all of it.
    // Cancels the scan under way. The file's size and time are taken now:
    // a file that differs from them when the scan ends gives failed().
    void start(const QString& path, qint32 lengthMs, qint32 aroundMs);
    void cancel();
    bool isScanning() const { return job_ != nullptr; }

signals:
    // The levels of the buckets from `firstBucket` on. A bucket may come
    // again, with the same level or a truer one.
    void levelsFound(qsizetype firstBucket, QList<quint16> levels);
    // Every bucket of the length has come; buckets the recording has no
    // sound for came as silence.
    void finished();
    // The scan stopped; `note` says why in a few words, for the strip
    // ("No sound in this recording."). The details are logged.
    void failed(QString note);

private:
    struct Running
    {
        std::shared_ptr<EnvelopeJob> job;
        std::thread thread;
    };

    std::shared_ptr<EnvelopeJob> job_;
    // Threads of scans, current or cancelled, not yet joined.
    std::vector<Running> running_;

    friend class EnvelopeJob;
};
