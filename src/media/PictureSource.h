#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QSize>

#include <atomic>
#include <memory>

class BusWatch;
typedef struct _GstMessage GstMessage;
typedef struct _GstElement GstElement;
typedef struct _GstBus GstBus;

// The pictures of a recording, for showing beside the sound that another
// pipeline plays: a pipeline of its own decodes the picture only, ahead of
// time and at its own pace, and hands out the frame that belongs to a
// moment. Read in order while the recording plays; sought when the moment
// asked for jumps back or far ahead. Nothing here waits for a frame.
class PictureSource : public QObject
{
    Q_OBJECT

public:
    // Starts opening the picture stream of `path`, without waiting for it:
    // ready() or failed() follows. Null when no pipeline can be made.
    static std::unique_ptr<PictureSource> open(const QString& path);
    ~PictureSource() override;

    // The picture's size as it is meant to be seen (its pixel shape
    // applied).
    QSize displaySize() const { return displaySize_; }
    // Frames come scaled to fit `size`, their shape kept; an empty size
    // gives them at their display size.
    void setFitSize(QSize size);

    // The frame to show at `ms` of the recording; null until one is
    // decoded. When it is not there yet, frameArrived() follows.
    QImage frameAt(qint64 ms);
    // The time of the frame frameAt() last gave, in ms; -1 for none.
    qint64 frameMs() const;
    // The time of the next frame decoded, in ms; -1 while it is not there.
    qint64 nextFrameMs() const;

    // True when some element of the running pipeline comes from `factory`.
    bool contains(const char* factory) const;

signals:
    // The first frame is decoded; displaySize() is known.
    void ready();
    // A frame was decoded that a frameAt() call waited for.
    void frameArrived();
    // The file has no picture that can be decoded, or the picture stream
    // cannot be decoded on.
    void failed();

private:
    explicit PictureSource(GstElement* pipeline);
    bool start();
    void onPrerolled();
    void fail();
    void seek(qint64 ns);
    bool pullNext();
    void handle(GstMessage* message);
    static int onNewSample(GstElement* sink, PictureSource* self);

    GstElement* pipeline_;         // owned
    GstBus* bus_;                  // owned
    GstElement* sink_ = nullptr;   // owned by the pipeline
    GstElement* filter_ = nullptr; // the frame size, owned by the pipeline
    BusWatch* busWatch_ = nullptr;
    QSize displaySize_;
    QSize fitSize_;

    // The frame shown and the next one decoded, by their stream times.
    QImage current_;
    qint64 currentNs_ = -1;
    QImage next_;
    qint64 nextNs_ = -1;
    qint64 seekNs_ = 0;      // where the last seek went
    QElapsedTimer caughtUp_; // since the picture last had to catch up
    bool ended_ = false;     // the last frame was decoded
    bool ready_ = false;
    bool failed_ = false;
    std::atomic<bool> waiting_ = false; // frameAt() found nothing new
    std::atomic<bool> notified_ = false;
};
