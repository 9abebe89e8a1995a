#include "media/DecodedTrack.h"

#include "media/Playbin.h"

#include <QDir>

DecodedTrack::DecodedTrack() : file_(QDir::tempPath() + QStringLiteral("/kelvane-sound-XXXXXX.wav"))
{
}

DecodedTrack::~DecodedTrack() = default;

std::unique_ptr<DecodedTrack> DecodedTrack::start(const QString& source, int timeoutMs)
{
    std::unique_ptr<DecodedTrack> track(new DecodedTrack);
    if (!track->file_.open())
        return {};
    track->file_.close(); // only the name is needed; the writer below creates the content

    const QByteArray target = QFile::encodeName(track->file_.fileName());
    const auto writer = [&target]() -> GstElement* {
        GstElement* bin = gst_parse_bin_from_description(
            "audioconvert ! audio/x-raw,format=S16LE ! wavenc ! filesink name=out", TRUE, nullptr);
        if (!bin)
            return nullptr;
        GstObjectPtr<GstElement> out(gst_bin_get_by_name(GST_BIN(bin), "out"));
        g_object_set(out.get(), "location", target.constData(), nullptr);
        return bin;
    };
    track->decoder_ = Playbin::open(source, writer, timeoutMs);
    if (!track->decoder_)
        return {};
    DecodedTrack* self = track.get();
    connect(self->decoder_.get(), &Playbin::endOfStream, self, [self] { self->end(true); });
    connect(self->decoder_.get(), &Playbin::failed, self, [self] { self->end(false); });
    // The file sink does not wait for the clock, so this runs flat out.
    self->decoder_->setPlaying(true);
    return track;
}

bool DecodedTrack::waitFinished(int timeoutMs)
{
    if (decoder_)
        decoder_->waitForEnd(timeoutMs); // its end message lands in end()
    return complete_;
}

void DecodedTrack::end(bool complete)
{
    if (!decoder_)
        return;
    complete_ = complete;
    // Finishing the pipeline here would destroy the object whose signal
    // called us; let it go once control is back in the event loop.
    Playbin* done = decoder_.release();
    done->setParent(this);
    done->deleteLater();
    emit finished(complete);
}
