#pragma once

#include "media/GstSupport.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class BusWatch;

// One opened media file in a GStreamer playbin that renders sound only: a
// picture stream is not even decoded.
// Owns the pipeline and watches its bus through the bus's poll descriptor, so
// messages arrive whichever event loop Qt runs on.
class Playbin : public QObject
{
    Q_OBJECT

public:
    using SinkFactory = std::function<GstElement*()>;

    enum class Reading
    {
        Random,     // the demuxer reads where it likes (GStreamer's choice for files)
        Sequential, // the file is pushed to the demuxer in order
    };

    // Opens `path` and waits, at most `timeoutMs`, until the first sound is
    // ready. Returns null when the file cannot be played.
    static std::unique_ptr<Playbin> open(const QString& path, const SinkFactory& audioSink,
                                         int timeoutMs, Reading reading = Reading::Random);
    ~Playbin() override;

    // Opens a short silent sound once and lets it go, so that the first
    // recording the user opens does not pay for GStreamer's first use of its
    // elements (some 30 ms). Safe from any thread.
    static void warmUp();

    // Stream duration as GStreamer sees it, in ms; -1 when unknown.
    qint64 durationMs() const;
    // True when some element of the running pipeline comes from `factory`.
    bool contains(const char* factory) const;
    // True when the file holds a picture stream, left undecoded here when
    // the file has sound.
    bool hasPicture() const { return pictureFound_; }
    // False for a picture without sound, which plays in silence.
    bool hasSound() const { return hasSound_; }

    // Flushing, sample-accurate seek to startMs; playback stops at stopMs,
    // or runs to the end of the stream when stopMs is negative. The stretch
    // plays at `rate` times normal speed, its pitch kept.
    void seek(qint64 startMs, qint64 stopMs, double rate);
    void setPlaying(bool playing);
    // Plays on from a pause, from `positionMs` where the pipeline cannot
    // tell where it stands. Like every play, it starts on a fresh stream of
    // the sound output, so it sounds at once however long the pause was.
    void resume(qint64 positionMs);
    // The loudness of the sound, 1.0 as recorded (up to 10.0). Heard at
    // once, without a seek: the sound runs on.
    void setVolume(double linear);

    // Current position in ms, or the target of a seek still in progress.
    // Returns -1 when the position cannot be known.
    qint64 positionMs() const;

    // Blocks until the stream has ended, at most `timeoutMs`. False on an
    // error or when time ran out.
    bool waitForEnd(int timeoutMs);

    // True when the sound goes to a sound server or device, not to a silent
    // stand-in.
    bool outputFeedsDevice() const;

    // Stops the pipeline for good and lets go of the sound output.
    void release();

    // Handles every message already waiting on the bus.
    void dispatchPending();

signals:
    void endOfStream();
    void durationChanged();
    // Streaming stopped on an error: in the sound output, or in reading or
    // decoding the file.
    void failed(bool inSoundOutput);

private:
    // What times a play: the sound, or, for a file without sound, the
    // picture.
    enum class Timeline
    {
        Sound,
        Picture,
    };
    static std::unique_ptr<Playbin> openAs(const QString& path, const SinkFactory& audioSink,
                                           int timeoutMs, Reading reading, Timeline timeline,
                                           bool* pictureFound);
    explicit Playbin(GstElement* pipeline);
    bool prepare(const QString& path, int timeoutMs);
    void handle(GstMessage* message);
    bool fromSoundOutput(GstMessage* message) const;
    void seekNs(gint64 start);
    bool renewOutput();

    GstObjectPtr<GstElement> pipeline_;
    GstObjectPtr<GstBus> bus_;
    BusWatch* busWatch_ = nullptr;
    bool seekPending_ = false;
    qint64 seekTargetMs_ = 0;
    // The stretch the last seek asked for, which a resumed play keeps.
    qint64 stopMs_ = -1;
    double rate_ = 1.0;
    bool playing_ = false;
    // Times in the file are this much earlier than in the decoded stream,
    // which also runs this much longer at its end (an mp3 encoder's delay
    // and padding). Every time in and out is the file's.
    GstElement* filter_ = nullptr; // the time stretcher, owned by the pipeline
    qint64 leadNs_ = 0;
    qint64 trailNs_ = 0;
    std::atomic<bool> pictureFound_ = false;
    bool hasSound_ = true;
    // Since the output's stream was renewed; invalid once it has played.
    QElapsedTimer renewed_;
};
