#pragma once

#include "media/MediaControl.h"

#include <QTimer>

#include <functional>
#include <memory>

class DecodedTrack;
class Playbin;
typedef struct _GstElement GstElement;

// The media device on GStreamer. Keeps the mode machine of the classic
// control on top of a playbin: stopped and paused are both PAUSED to
// GStreamer, a play is one flushing accurate seek carrying its end, and a
// stop is reported at exactly the requested end.
class GstMediaControl final : public MediaControl
{
    Q_OBJECT

public:
    // Keeps the sound output open from now on (a sound server needs a moment
    // to settle on a short horizon, and the first play after opening a
    // recording must sound at once) and warms GStreamer's elements up, so
    // that the first recording opens fast. For the program's start; safe
    // from any thread.
    static void prepareSound();

    // Creates the element that renders sound. Called once per opened file;
    // the default is the desktop's audio output.
    using SinkFactory = std::function<GstElement*()>;

    static constexpr int OpenTimeoutMs = 5000;
    static constexpr int StatusIntervalMs = 100;

    explicit GstMediaControl(QObject* parent = nullptr);
    explicit GstMediaControl(SinkFactory audioSink, QObject* parent = nullptr);
    ~GstMediaControl() override;

    void command(DeviceCommand command) override;
    DeviceMode mode() const override { return mode_; }
    void jumpTo(qint32 ms) override;
    qint32 Position() const override;
    qint32 Length() const override { return length_; }
    bool hasPicture() const override { return hasPicture_; }
    // True when some element of the pipeline playing comes from `factory`.
    bool usesElement(const char* factory) const;

    // How long "open" waits for the sound of an MPEG stream to be decoded
    // before it goes on with the original and switches over at the next
    // moment that is not playing.
    void setDecodeWaitMs(int ms) { decodeWaitMs_ = ms; }

protected:
    void speedChanged() override;
    void volumeChanged() override;

private:
    // What the playbin plays: the media file or its decoded sound.
    struct Source
    {
        QString path;
        bool sequential = false; // read in order (see open())
    };

    // A file opened for playing, and where its length comes from.
    struct ChosenReading
    {
        std::unique_ptr<Playbin> playbin;
        Source source;
        qint64 lengthMs = -1;
        bool lengthIsExact = false;
    };

    void open();
    ChosenReading chooseReading(const QString& path);
    void close();
    void play();
    void pause();
    void adopt(std::unique_ptr<Playbin> playbin, Source source);
    bool recover();
    void onTrackDecoded(bool complete);
    void switchToDecodedTrack();
    void stopAt(qint32 ms);
    void endEarlyAt(qint32 ms);
    void playOnFrom(qint32 ms);
    double rate() const { return Speed() / double(NormalSpeed); }
    double gain() const { return Volume() / double(NormalVolume); }
    void onEndOfStream();
    void onDurationChanged();
    qint32 playEnd() const { return toEnd_ ? length_ : playEnd_; }
    qint32 clamp(qint64 ms) const;

    SinkFactory audioSink_;
    QTimer statusTimer_;
    QTimer startTimer_;
    std::unique_ptr<DecodedTrack> track_; // declared first: outlives the playbin reading it
    std::unique_ptr<Playbin> playbin_;
    Source source_;
    bool broken_ = false; // the stream failed; it is opened afresh before the next play
    bool switchPending_ = false;
    int decodeWaitMs_ = 2000;

    DeviceMode mode_ = DeviceMode::NotOpen;
    qint32 length_ = 0;
    bool hasPicture_ = false;
    bool lengthIsExact_ = false; // measured by us; GStreamer's estimates must not replace it
    qint32 playEnd_ = 0;         // where the current play stops, unless it runs to the end
    bool toEnd_ = false;
    bool endReached_ = false; // the current play hit its end while paused
    qint32 stoppedAt_ = 0;
    mutable qint32 lastPosition_ = 0;
};
