// The waveform strip under the two panels: the envelope of the recording
// around the play position, the sections on it, zoomed from the View menu.
#include "workspace/FormMain.h"

#include "media/MediaControl.h"
#include "workspace/MainLayout.h"
#include "workspace/WaveformStrip.h"

#include <QAction>
#include <QMenu>

void FormMain::connectWaveform()
{
    WaveformStrip* strip = ui_.waveform;
    connect(&envelope_, &EnvelopeFeed::replaced, this, [this, strip] {
        strip->setEnvelope(envelope_.envelope());
        strip->setNote(envelope_.note());
    });
    connect(&envelope_, &EnvelopeFeed::grew, strip, &WaveformStrip::envelopeGrew);
    connect(strip, &WaveformStrip::seekRequested, this, [this](qint32 ms) { cycle_.seekTo(ms); });
    connect(strip, &WaveformStrip::boundaryMoved, &cycle_, &CaptureCycle::moveBoundary);
    const auto follow = [this] {
        showPlayingOnStrip();
    };
    connect(&cycle_, &CaptureCycle::statusChanged, this, follow);
    connect(&cycle_, &CaptureCycle::sectionChanged, this, follow);
    connect(&cycle_, &CaptureCycle::currentRowChanged, this, follow);
    connect(&cycle_, &CaptureCycle::lengthChanged, this, [this, strip](qint32 length) {
        strip->setLength(length);
        envelopeWanted_ = length > 0;
    });
    // The envelope of a recording just opened is looked for once it plays:
    // its first sound does not wait for the scan's start.
    connect(&cycle_, &CaptureCycle::positionChanged, this, [this] {
        if (envelopeWanted_ && mmc_.mode() == DeviceMode::Playing) {
            envelopeWanted_ = false;
            findEnvelope();
        }
    });
}

// The envelope is looked for only while the strip is shown: hidden, it
// costs nothing.
void FormMain::findEnvelope()
{
    const qint32 length = mmc_.Length();
    if (!ui_.waveform->isVisible() || length <= 0 || state_.mediaFile.isEmpty())
        return;
    envelope_.open(state_.mediaFile, length, mmc_.Position());
}

// Where the strip's play line is and whether it moves on by itself; the open
// capture section is drawn as such.
void FormMain::showPlayingOnStrip()
{
    WaveformStrip& strip = *ui_.waveform;
    strip.setPlaying(mmc_.mode() == DeviceMode::Playing, mmc_.Speed() / 1000.0);
    strip.setPosition(mmc_.Position());
    // The last row is the capture section, committed by the next Continue.
    strip.setCaptureRow(table_.rowCount() - 1);
}

void FormMain::menuWaveform_Click()
{
    const bool shown = ui_.menuWaveform->isChecked();
    ui_.waveform->setVisible(shown);
    setClientMinimum();
    Form_Resize();
    if (shown)
        findEnvelope();
    else
        envelope_.close();
}

void FormMain::menuZoomIn_Click()
{
    ui_.waveform->zoomIn();
}

void FormMain::menuZoomOut_Click()
{
    ui_.waveform->zoomOut();
}
