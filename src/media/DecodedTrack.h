#pragma once

#include <QObject>
#include <QTemporaryFile>

#include <memory>

class Playbin;

// The sound of a media file decoded once, as fast as the machine allows,
// into a temporary WAV file whose timeline is exact. Used for MPEG program
// streams: GStreamer's demuxer starts their timeline late, gets their length
// short and lands seeks off target. The file is removed with this object.
class DecodedTrack : public QObject
{
    Q_OBJECT

public:
    // Starts decoding `source`; null when it cannot even start.
    static std::unique_ptr<DecodedTrack> start(const QString& source, int timeoutMs);
    ~DecodedTrack() override;

    // Blocks until the file is complete, at most `timeoutMs`.
    bool waitFinished(int timeoutMs);
    bool isDecoding() const { return decoder_ != nullptr; }
    QString path() const { return file_.fileName(); }

signals:
    // Emitted once from the event loop when decoding ends, well or not.
    void finished(bool complete);

private:
    DecodedTrack();
    void end(bool complete);

    QTemporaryFile file_;
    std::unique_ptr<Playbin> decoder_; // declared after file_: stops writing before removal
    bool complete_ = false;
};
