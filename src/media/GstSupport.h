#pragma once

#include "media/MpegAudioScan.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <gst/gst.h>

#include <atomic>
#include <memory>

// Owning handles for GStreamer objects, so that every reference taken is
// dropped on every path out of a function.
struct GstObjectUnref
{
    void operator()(gpointer object) const
    {
        if (object)
            gst_object_unref(object);
    }
};
template <typename T> using GstObjectPtr = std::unique_ptr<T, GstObjectUnref>;

struct GstMiniObjectUnref
{
    void operator()(gpointer object) const
    {
        if (object)
            gst_mini_object_unref(GST_MINI_OBJECT_CAST(object));
    }
};
using GstMessagePtr = std::unique_ptr<GstMessage, GstMiniObjectUnref>;
using GstEventPtr = std::unique_ptr<GstEvent, GstMiniObjectUnref>;

// Initialises GStreamer on first use; later calls are free. Start-up stays
// fast because nothing touches GStreamer until the first media is opened.
bool ensureGstreamer();

// playbin's GstPlayFlags, which are not in a public header.
namespace PlayFlag {
constexpr guint Video = 1u << 0;
constexpr guint Audio = 1u << 1;
constexpr guint SoftVolume = 1u << 4;
} // namespace PlayFlag

// True when `path` names a regular file or a link to one: a named pipe or a
// device would block a reader with nothing to play.
bool isRegularFile(const QString& path);
// True when the file at `path` begins as a RIFF WAVE file does.
bool isWaveFile(const QString& path);

// The URI playbin reads `path` by; with `sequential`, through GStreamer's
// pushing file source, which feeds the demuxer in order. "" when `path` can
// make no URI.
QByteArray fileUri(const QString& path, bool sequential);

// Logs GStreamer's words for an error or a warning message: which element,
// what happened, and its details.
void logProblem(GstMessage* message);

// True when `element` is, or holds, the sink of a sound device or server
// rather than a silent stand-in.
bool feedsAudioDevice(GstElement* element);

// The first element inside `bin`, at any depth, that `factory` made; null
// when there is none.
GstObjectPtr<GstElement> findElement(GstElement* bin, const char* factory);

// What the decoders of `pipeline`, prerolled on the file at `path`, put
// before and after its sound, which GStreamer plays as part of the stream:
// an mp3 encoder's delay and padding as its LAME tag tells them, or the
// frame of silence FFmpeg's WMA decoders put ahead. Every moment of the
// sound comes `leadNs` later in the stream than its time in the file.
MpegAudioGap decoderGap(const QString& path, GstElement* pipeline);

// Keeps `playbin` from decoding the streams of one kind, "Audio" or
// "Video" (pictures of every kind): playbin decodes every stream of a file,
// those its flags leave unplayed too, and throws what they give away.
// `found`, when given, is set once a stream of that kind was met; it must
// outlive the playbin.
void skipDecoding(GstElement* playbin, const char* kind, std::atomic<bool>* found = nullptr);

// Waits, at most `timeoutMs`, until `pipeline`, taken towards PAUSED, has
// something to play; logs why not.
bool waitForPreroll(GstElement* pipeline, GstBus* bus, int timeoutMs);

// Nanoseconds to milliseconds, rounded to the nearest (never truncated).
constexpr qint64 nsToMs(gint64 ns)
{
    return (ns + GST_MSECOND / 2) / GST_MSECOND;
}
constexpr gint64 msToNs(qint64 ms)
{
    return ms * GST_MSECOND;
}
