#include "workspace/CaptureCycle.h"

#include "media/MediaControl.h"
#include "model/FormatTime.h"
#include "model/SectionTableModel.h"
#include "model/WorkspaceState.h"

#include <algorithm>
#include <utility>

namespace {

constexpr int StartColumn = 0;
constexpr int EndColumn = 1;
constexpr int AutoRewindAfterPauseMs = 500;
constexpr int AutoRewindAfterReplayMs = 3000;

} // namespace

CaptureCycle::CaptureCycle(MediaControl& device, SectionTableModel& table,
                           const WorkspaceState& workspace, QObject* parent)
    : QObject(parent), device_(device), table_(table), workspace_(workspace)
{
    autoRewindTimer_.setObjectName(QStringLiteral("TimerAutoRewind"));
    autoRewindTimer_.setInterval(AutoRewindAfterReplayMs);
    // A table loaded whole goes on at its last section.
    connect(&table_, &QAbstractItemModel::modelReset, this,
            [this] { setCurrentRow(lastRow(), false); });
    connect(&device_, &MediaControl::soundOutputChanged, this, &CaptureCycle::onSoundOutputChanged);
}

// Sound lost while the capture section plays closes it where the sound
// stopped, as a pause does: its words can be typed, and Continue commits it
// and plays on once an output is back.
void CaptureCycle::onSoundOutputChanged(SoundOutput output)
{
    if (output != SoundOutput::Lost || phase_ != Phase::Capturing ||
        device_.mode() != DeviceMode::Paused)
        return;
    statusUpdate();
    setCaptureOpen(false);
    statusTick();
}

bool CaptureCycle::endFollowsPosition() const
{
    return (phase_ == Phase::Capturing || phase_ == Phase::Closed) && currentRow_ == lastRow();
}

void CaptureCycle::setAutoRewind(bool on)
{
    if (std::exchange(autoRewind_, on) != on)
        emit autoRewindChanged(on);
}

int CaptureCycle::lastRow() const
{
    return table_.rowCount() - 1;
}

// A row holds a section when its bounds are numbers. The empty row of a
// fresh workspace has none, and a damaged project file may hold other text.
bool CaptureCycle::isReplayable(int row) const
{
    return row >= 0 && row <= lastRow() && ReadRawPosition(table_.cell(row, StartColumn)) &&
           ReadRawPosition(table_.cell(row, EndColumn));
}

void CaptureCycle::setCurrentRow(int row, bool atTop)
{
    currentRow_ = row;
    emit currentRowChanged(row, atTop);
}

// Told every time, so that what is shown is what the cycle holds.
template <typename Change> void CaptureCycle::changeStatus(Change change)
{
    change(status_);
    emit statusChanged();
}

void CaptureCycle::setSection(qint32 start, qint32 end)
{
    start_ = start;
    end_ = end;
    emit sectionChanged();
}

void CaptureCycle::setRowBounds(int row, qint32 start, qint32 end)
{
    table_.setCell(row, StartColumn, RawPositionText(start));
    table_.setCell(row, EndColumn, RawPositionText(end));
    table_.setCell(row, 2, FormatTime(start));
    table_.setCell(row, 3, FormatTime(end));
}

bool CaptureCycle::captureIsOpen() const
{
    if (phase_ == Phase::Capturing || phase_ == Phase::Closed)
        return phase_ == Phase::Capturing;
    return captureLeftIn_ == Phase::Capturing;
}

void CaptureCycle::setCaptureOpen(bool open)
{
    captureLeftIn_ = open ? Phase::Capturing : Phase::Closed;
    if (phase_ == Phase::Capturing || phase_ == Phase::Closed)
        phase_ = captureLeftIn_;
}

// Another section becomes current: the capture section's end stays where it
// was until the capture section is replayed again.
void CaptureCycle::leaveCapture()
{
    if (phase_ == Phase::Capturing || phase_ == Phase::Closed)
        phase_ = Phase::Browsing;
    else if (phase_ == Phase::Replaying)
        replayReturnsToCapture_ = false;
}

void CaptureCycle::play()
{
    if (workspace_.mediaFile.isEmpty())
        return;
    bool committed = false;
    if (phase_ == Phase::Idle) {
        if (!openMedia())
            return;
        // Continue a table that holds sections (a loaded project, or one
        // whose media was closed for the quit question) where it ended:
        // replay its last section. A new transcription, or a project saved
        // before anything was captured, starts afresh.
        if (isReplayable(lastRow()))
            seekTo(device_.Length() - 1);
        else
            startFirstSection(device_.Position());
    } else {
        // At the end of the media, a capture section opened there holds no
        // sound: closing and committing it would only add empty rows.
        if (currentRow_ == lastRow() && captureIsOpen() && start_ == end_ && atMediaEnd())
            return;
        // Presses on the capture section alternate between closing it and
        // committing it; on an earlier section they only pause and resume.
        if (currentRow_ == lastRow()) {
            committed = !captureIsOpen();
            setCaptureOpen(committed);
            if (committed)
                commitSection();
        }
        sendPause();
    }
    emit workChanged();
    if (committed)
        emit sectionCommitted();
}

// Opens the media and starts playing it. A file the device cannot play shows
// as length 0.
bool CaptureCycle::openMedia()
{
    device_.setFileName(workspace_.mediaFile);
    device_.command(DeviceCommand::Close);
    device_.command(DeviceCommand::Open);
    device_.command(DeviceCommand::Play);
    // Rewind waits until a section has been closed.
    changeStatus([&](Status& shown) { shown.rewindShown = false; });
    const qint32 length = device_.Length();
    emit lengthChanged(length);
    phase_ = Phase::Browsing;
    captureLeftIn_ = Phase::Capturing;
    if (length != 0)
        return true;
    emit openFailed();
    return false;
}

// The first section of a new transcription starts, in its one row, where
// playing started.
void CaptureCycle::startFirstSection(qint32 position)
{
    setSection(position, position);
    emit highlightChanged(position, position);
    setRowBounds(lastRow(), position, position);
    setCurrentRow(lastRow(), false);
    phase_ = captureLeftIn_ = Phase::Capturing;
}

// Writes the closed capture section's bounds into its row and opens the next
// section, as a new last row, where the device stands. The row's text cell
// already holds the typed text, which text entry keeps there at every edit.
void CaptureCycle::commitSection()
{
    const int closed = lastRow();
    table_.appendRow();
    setRowBounds(closed, start_, end_);
    const int added = lastRow();
    setCurrentRow(added, true);
    emit textShown(QString());

    // The section's end follows the position from the next status update on.
    const qint32 position = device_.Position();
    start_ = position;
    emit sectionChanged();
    emit highlightChanged(position, position + 1);
    setRowBounds(added, position, position);
    phase_ = captureLeftIn_ = Phase::Capturing;
}

// "pause" pauses a playing device and resumes a paused one. When it pauses,
// the position is taken at once, so that a Continue pressed straight away
// commits the section up to the pause and no sound falls between sections.
// When it resumes, the buttons and timers are set for playing at once, not
// at the next status tick: Rewind is hidden and a replay armed for the pause
// is called off, so Continue always ends the auto-rewind loop and a quick F12
// cannot replay a section that has only just begun.
void CaptureCycle::sendPause()
{
    const bool wasPlaying = device_.mode() == DeviceMode::Playing;
    device_.command(DeviceCommand::Pause);
    if (wasPlaying && device_.mode() == DeviceMode::Paused) {
        statusUpdate();
    } else if (device_.mode() == DeviceMode::Playing) {
        changeStatus([&](Status& shown) { shown.rewindShown = false; });
        autoRewindTimer_.stop();
    }
}

void CaptureCycle::replay()
{
    if (workspace_.mediaFile.isEmpty() || phase_ == Phase::Idle)
        return;
    // A seek into the section starts this one replay where the user let go.
    const qint32 from = seekStart_ < 0 ? start_ : std::exchange(seekStart_, -1);
    device_.setFrom(from);
    device_.setTo(end_);
    device_.command(DeviceCommand::Play);
    emit thumbMoved(from);
    // An auto-rewind armed before would only start this replay over.
    autoRewindTimer_.stop();
    // Pause and Continue wait until the replay has ended; Rewind starts it over.
    changeStatus([&](Status& shown) {
        shown.playShown = false;
        shown.rewindShown = true;
    });
    // A replay of the capture section ends at its end, from where the end
    // follows the position again.
    if (phase_ == Phase::Capturing || phase_ == Phase::Closed)
        replayReturnsToCapture_ = true;
    else if (phase_ != Phase::Replaying)
        replayReturnsToCapture_ = false;
    replayReturnsToCapture_ = replayReturnsToCapture_ || currentRow_ == lastRow();
    if (phase_ == Phase::Capturing || phase_ == Phase::Closed)
        captureLeftIn_ = phase_;
    phase_ = Phase::Replaying;
}

void CaptureCycle::autoRewindFired()
{
    autoRewindTimer_.stop();
    replay();
}

void CaptureCycle::selectRow(int row)
{
    currentRow_ = row;
    replayCurrentRow();
}

// Loads the current row into the current section and replays it. A capture
// section that is playing is closed before it is replayed; the first Play of
// a loaded project opens the media here.
void CaptureCycle::replayCurrentRow()
{
    if (!isReplayable(currentRow_)) {
        seekStart_ = -1;
        return;
    }
    if (currentRow_ == lastRow() && captureIsOpen())
        play();
    const int row = currentRow_;
    if (!isReplayable(row)) {
        seekStart_ = -1;
        return;
    }
    if (row != lastRow())
        leaveCapture();
    setSection(*ReadRawPosition(table_.cell(row, StartColumn)),
               *ReadRawPosition(table_.cell(row, EndColumn)));
    emit highlightChanged(start_, end_);
    // Before the first Play nothing replays, but the thumb still shows where
    // the row picked starts.
    if (phase_ == Phase::Idle)
        emit thumbMoved(seekStart_ >= 0 ? seekStart_ : start_);
    emit textShown(table_.cell(row, SectionTableModel::TextColumn));
    replay();
}

void CaptureCycle::moveBoundary(int row, qint32 ms)
{
    if (!isReplayable(row) || !isReplayable(row + 1))
        return;
    const qint32 start = *ReadRawPosition(table_.cell(row, StartColumn));
    const qint32 end = *ReadRawPosition(table_.cell(row + 1, EndColumn));
    ms = std::clamp(ms, start, std::max(start, end));
    if (ReadRawPosition(table_.cell(row, EndColumn)) == ms &&
        ReadRawPosition(table_.cell(row + 1, StartColumn)) == ms)
        return;
    setRowBounds(row, start, ms);
    setRowBounds(row + 1, ms, end);
    if (currentRow_ == row || currentRow_ == row + 1) {
        setSection(currentRow_ == row ? start_ : ms, currentRow_ == row ? ms : end_);
        emit highlightChanged(start_, end_);
    }
    emit workChanged();
}

void CaptureCycle::seekTo(qint32 position)
{
    if (workspace_.mediaFile.isEmpty() || phase_ == Phase::Idle)
        return;
    // The section holding the position is the first that ends after it; a
    // position at a section's end belongs to the next one.
    const int last = lastRow();
    int found = -1;
    for (int row = 0; row <= last && found < 0; ++row) {
        const std::optional<qint32> end = ReadRawPosition(table_.cell(row, EndColumn));
        if (end && *end > position)
            found = row;
    }
    if (found >= 0) {
        seekStart_ = position;
        setCurrentRow(found, false);
    } else {
        // At or past every end: the whole last section is replayed.
        setCurrentRow(last, false);
        seekStart_ = ReadRawPosition(table_.cell(last, StartColumn)).value_or(-1);
    }
    replayCurrentRow();
}

// Back `ms`, playing or paused as before and towards the same end.
// While the capture section plays, its end follows the position, so the jump
// stops at the section's start: the section keeps its start and never ends
// before it. Once the section is closed and waits for its text, its end is
// where its words end, and a jump would file them under a shorter section;
// F12 replays it instead.
void CaptureCycle::jumpBack(qint32 ms)
{
    const DeviceMode mode = device_.mode();
    if (phase_ == Phase::Idle || (mode != DeviceMode::Playing && mode != DeviceMode::Paused))
        return;
    const bool capturing = endFollowsPosition();
    if (capturing && phase_ == Phase::Closed)
        return;
    qint32 target = std::max(0, device_.Position() - ms);
    if (capturing)
        target = std::max(target, start_);
    device_.jumpTo(target);
    emit thumbMoved(device_.Position());
    statusUpdate();
}

void CaptureCycle::statusTick()
{
    const DeviceMode mode = device_.mode();
    if (mode == DeviceMode::Stopped) {
        onDeviceStopped();
        return;
    }
    if (mode == DeviceMode::Playing)
        autoRewindTimer_.stop();
    else if (mode == DeviceMode::Paused && autoRewind_)
        armAutoRewind(AutoRewindAfterPauseMs);
    changeStatus([this, mode](Status& shown) {
        switch (mode) {
        case DeviceMode::NotOpen:
            shown.mode = ModeShown::PlayerReady;
            break;
        case DeviceMode::Playing:
            shown.mode = phase_ == Phase::Replaying ? ModeShown::Rewinding : ModeShown::Playing;
            shown.rewindShown = shown.rewindShown && phase_ == Phase::Replaying;
            shown.play = PlayCaption::Pause;
            break;
        case DeviceMode::Recording:
            shown.mode = ModeShown::Recording;
            break;
        case DeviceMode::Seeking:
            shown.mode = ModeShown::Seeking;
            break;
        case DeviceMode::Paused:
            shown.mode = ModeShown::Paused;
            shown.play = PlayCaption::Continue;
            shown.rewindShown = true;
            break;
        case DeviceMode::Ready:
            shown.mode = ModeShown::Ready;
            break;
        case DeviceMode::Stopped:
            break;
        }
    });
}

// The device has stopped: a replay has reached its section's end, or the
// media has played to its end (or to where its sound ran out before the
// length it claims), or playing stopped elsewhere.
void CaptureCycle::onDeviceStopped()
{
    const qint32 position = device_.Position();
    const bool endedEarly = device_.endedEarlyAt() == position;
    // A replay stops at the end it was given (its section's, unless a
    // boundary moved since), or at the end of the media when a loaded
    // section reaches past it (the recording was replaced).
    if (phase_ == Phase::Replaying &&
        (endedEarly || std::clamp(device_.To(), 0, device_.Length()) == position)) {
        changeStatus([&](Status& shown) {
            shown.mode = ModeShown::Stopped;
            shown.play = PlayCaption::Continue;
            shown.playShown = shown.rewindShown = true;
        });
        // Wait paused at the section's end; Continue then plays on to the
        // end of the media.
        device_.setTo(device_.Length());
        device_.command(DeviceCommand::Play);
        sendPause();
        if (autoRewind_)
            armAutoRewind(AutoRewindAfterReplayMs);
        phase_ = replayReturnsToCapture_ ? captureLeftIn_ : Phase::Browsing;
    } else if (endedEarly || position == device_.Length()) {
        sendPause();
        // Playing the capture section to the end of the media closes it, as
        // a pause would: the next press commits it.
        if (phase_ == Phase::Capturing && currentRow_ == lastRow() && start_ < position) {
            statusUpdate();
            setCaptureOpen(false);
        }
    } else {
        replayCurrentRow();
    }
    if (endedEarly) {
        // The capture section ends where the sound did, not at the length.
        statusUpdate();
        if (std::exchange(earlyEndTold_, position) != position)
            emit recordingEndedEarly(position);
    }
}

// The device stands where the media ends, or where its sound ran out.
bool CaptureCycle::atMediaEnd() const
{
    const qint32 position = device_.Position();
    return position >= device_.Length() || device_.endedEarlyAt() == position;
}

void CaptureCycle::statusUpdate()
{
    const qint32 position = device_.Position();
    emit positionChanged(position);
    if (!endFollowsPosition())
        return;
    // The open section ends where the device is, playing or paused.
    end_ = position;
    emit sectionChanged();
    emit highlightEndChanged(position);
    table_.setCell(currentRow_, EndColumn, RawPositionText(position));
    table_.setCell(currentRow_, 3, FormatTime(position));
}

// The status tick arms the timer again at every tick while the device waits.
// Arming a running timer with the interval it already has keeps its
// countdown, so the replay comes within a second of the pause instead of
// being put off tick after tick.
void CaptureCycle::armAutoRewind(int intervalMs)
{
    if (autoRewindTimer_.isActive() && autoRewindTimer_.interval() == intervalMs)
        return;
    autoRewindTimer_.start(intervalMs);
}

void CaptureCycle::closeMedia()
{
    device_.command(DeviceCommand::Close);
    phase_ = Phase::Idle;
    captureLeftIn_ = Phase::Capturing;
    replayReturnsToCapture_ = false;
    seekStart_ = -1;
    earlyEndTold_.reset();   // opened again, the media is told about afresh
    autoRewindTimer_.stop(); // a replay must not come
    changeStatus([&](Status& shown) {
        shown.play = PlayCaption::Play;
        shown.playShown = shown.rewindShown = true;
    });
}

void CaptureCycle::reset()
{
    closeMedia();
    changeStatus([&](Status& shown) { shown.mode = ModeShown::None; });
    setSection(0, 0);
    emit highlightChanged(0, 1);
    setAutoRewind(false);
    emit textShown(QString());
    table_.resize(1);
    for (int column = 0; column < SectionTableModel::ColumnCount; ++column)
        table_.setCell(0, column, QString());
    // The one row is current, as in any grid until another is chosen.
    currentRow_ = 0;
}
