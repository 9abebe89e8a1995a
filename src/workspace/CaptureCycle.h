#pragma once

#include <QObject>
#include <QTimer>

#include <optional>

class MediaControl;
enum class SoundOutput;
class SectionTableModel;
struct WorkspaceState;

// The transcription cycle: which section is current, where it starts and
// ends, what the device is doing with it, and the rules that lead from one
// step to the next. Each press of Play pauses, continues or commits; a pause
// closes the capture section (the table's last row) and a Continue commits it
// and opens the next one where the device stands; a replay plays the current
// section again. The cycle drives the media device and the section table and
// signals what changed; it holds no widget and no text of its own.
class CaptureCycle final : public QObject
{
    Q_OBJECT

public:
    enum class Phase
    {
        Idle,      // no media is open: the next Play opens it
        Capturing, // the capture section is open; its end follows the position
        Closed,    // a pause has closed the capture section, which waits for its text
        Replaying, // the current section plays again, up to its end
        Browsing,  // an earlier section is current, outside a replay
    };

    // What the status monitor last saw of the device, as the window shows it.
    enum class ModeShown
    {
        None,
        PlayerReady,
        Stopped,
        Playing,
        Rewinding,
        Recording,
        Seeking,
        Paused,
        Ready,
    };
    enum class PlayCaption
    {
        Play,
        Pause,
        Continue,
    };
    struct Status
    {
        ModeShown mode = ModeShown::None;
        PlayCaption play = PlayCaption::Play;
        // A hidden button is a disabled one, and so is its key.
        bool playShown = true;
        bool rewindShown = true;
    };

    static constexpr int JumpBackMs = 3000;

    // `workspace` names the media to open; all three outlive the cycle.
    CaptureCycle(MediaControl& device, SectionTableModel& table, const WorkspaceState& workspace,
                 QObject* parent = nullptr);

    Phase phase() const { return phase_; }
    const Status& status() const { return status_; }
    // The current section: its table row and its bounds in milliseconds.
    int currentRow() const { return currentRow_; }
    qint32 sectionStart() const { return start_; }
    qint32 sectionEnd() const { return end_; }
    // Where the next replay starts instead of the section's start; -1 for none.
    qint32 seekStart() const { return seekStart_; }
    // While the capture section is current and open or closed, its end
    // follows the position, playing or paused.
    bool endFollowsPosition() const;
    // The capture section is open, not closed by a pause to wait for its
    // text; it stays so while another section is replayed or browsed.
    bool captureIsOpen() const;
    bool autoRewind() const { return autoRewind_; }
    // The one-shot timer of the replay that follows a pause.
    QTimer& autoRewindTimer() { return autoRewindTimer_; }

    // Play, Pause or Continue: the first press opens the media and starts the
    // first section (or replays the last one of a loaded table); later
    // presses on the capture section close and commit it in turn; a press
    // elsewhere only pauses or resumes.
    void play();
    // Replays the current section from its start, or from a seek into it.
    void replay();
    void autoRewindFired();
    // The status monitor: the device's mode every 500 ms, its position at
    // every status update.
    void statusTick();
    void statusUpdate();
    // The user has picked `row` in the table: it becomes the current section
    // and is replayed.
    void selectRow(int row);
    // Replays the section that holds `position`, from there to its end.
    void seekTo(qint32 position);
    // `ms` back (3 seconds unless told), playing or paused as before; never
    // before the start of a capture section that is still open, and not at
    // all once it is closed.
    void jumpBack(qint32 ms = JumpBackMs);
    void setAutoRewind(bool on);
    // Moves the boundary between `row` and `row + 1`, the end of one and the
    // start of the other, to `ms`, kept between the start of `row` and the
    // end of `row + 1` (a section may become empty). Both rows must hold
    // times. A replay under way keeps the end it was given; the next one
    // plays to the new end.
    void moveBoundary(int row, qint32 ms);

    // Closes the media and leaves the sections as they are: the next Play
    // opens the media again.
    void closeMedia();
    // Back to an empty workspace's cycle: no media, one empty section.
    void reset();

signals:
    void statusChanged();
    // The bounds of the current section.
    void sectionChanged();
    // The seek bar's highlight: both ends, or its end alone.
    void highlightChanged(qint32 start, qint32 end);
    void highlightEndChanged(qint32 end);
    // The position as played, and the thumb put somewhere by the cycle.
    void positionChanged(qint32 position);
    void thumbMoved(qint32 position);
    void lengthChanged(qint32 length);
    // The cycle made `row` current; `atTop` scrolls it to the top.
    void currentRowChanged(int row, bool atTop);
    // The text box is to show the current section's text.
    void textShown(const QString& text);
    void autoRewindChanged(bool on);
    // The work has changed and is unsaved.
    void workChanged();
    // A Continue has committed a section.
    void sectionCommitted();
    // The media could not be opened; the cycle is left open for the window
    // to close or reset once the user has been told.
    void openFailed();
    // The recording ran out of sound at `atMs`, before the length it
    // claims (cut short or damaged): told once for each place it ends.
    void recordingEndedEarly(qint32 atMs);

private:
    void onSoundOutputChanged(SoundOutput output);
    int lastRow() const;
    bool isReplayable(int row) const;
    void setCurrentRow(int row, bool atTop);
    template <typename Change> void changeStatus(Change change);
    void setSection(qint32 start, qint32 end);
    void setRowBounds(int row, qint32 start, qint32 end);
    void setCaptureOpen(bool open);
    void leaveCapture();
    bool openMedia();
    void startFirstSection(qint32 position);
    void commitSection();
    void sendPause();
    void replayCurrentRow();
    void onDeviceStopped();
    bool atMediaEnd() const;
    void armAutoRewind(int intervalMs);

    MediaControl& device_;
    SectionTableModel& table_;
    const WorkspaceState& workspace_;
    QTimer autoRewindTimer_;

    Phase phase_ = Phase::Idle;
    // Whether the capture section is open or closed, kept while another
    // section is replayed or browsed: a press on it then closes it first.
    Phase captureLeftIn_ = Phase::Capturing;
    // The replay under way ends back on the capture section, whose end then
    // follows the position again.
    bool replayReturnsToCapture_ = false;
    Status status_;
    int currentRow_ = 0;
    qint32 start_ = 0;
    qint32 end_ = 0;
    qint32 seekStart_ = -1;
    bool autoRewind_ = false;
    std::optional<qint32> earlyEndTold_; // where the media was last told to have ended early
};
