#pragma once

#include "model/SectionTableModel.h"
#include "model/WorkspaceState.h"
#include "project/ProjectCommands.h"
#include "project/ProjectWindow.h"
#include "workspace/CaptureCycle.h"
#include "workspace/EnvelopeFeed.h"

#include <QMainWindow>
#include <QSet>

class AquaButton;
class FootPedals;
class MediaControl;
enum class SoundOutput;
class PlaySlider;
class ProblemBar;
class Prompts;
class QAction;
class QCheckBox;
class QDialog;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QTimer;
class SectionGrid;
class VideoWindow;
class WaveformStrip;

// The program's one window: the player and text panel on the left, the
// section table on the right, and the menus whose shortcut keys drive the
// transcription while the caret stays in the text box.
class FormMain final : public QMainWindow, public ProjectWindow
{
    Q_OBJECT

public:
    // The window's controls. The window owns them; the pointers stay valid
    // for its whole life.
    struct Controls
    {
        QGroupBox* Frame1;
        QLabel* lblMediaFile;
        QLabel* lblMode;
        PlaySlider* SliderTime;
        QLabel* lblStart;
        QLabel* lblCurrent;
        QLabel* lblSeekTime;
        QLabel* lblEnd;
        AquaButton* cmdPlay;
        AquaButton* cmdRewind;
        QCheckBox* chkAutoRewind;
        QLabel* lblSpeed;
        QLabel* lblVolume;
        QGroupBox* Frame3;
        QLabel* Label1;
        QLabel* lblSectionStartView;
        QLabel* Label2;
        QLabel* lblSectionEndView;
        QLabel* lblSectionStart;
        QLabel* lblSectionEnd;
        QPlainTextEdit* txtScript;
        QGroupBox* Frame2;
        SectionGrid* oGrid;
        QTimer* Timer1;
        QTimer* TimerAutoRewind;
        QTimer* TimerAutoSaver;
        QMenu* mFile;
        QAction* menuOpen;
        QAction* menuSave;
        QAction* menuSaveAs;
        QAction* menuLoad;
        QAction* menuExport;
        QAction* menuExportSubtitles;
        QMenu* menuPlayControl;
        QAction* menuPlay;
        QAction* menuRewind;
        QAction* menuSlower;
        QAction* menuFaster;
        QAction* menuNormalSpeed;
        QAction* menuLouder;
        QAction* menuQuieter;
        QAction* menuJumpBack;
        QAction* menuFootPedal;
        QMenu* menuView;
        QAction* menuWaveform;
        QAction* menuZoomIn;
        QAction* menuZoomOut;
        QAction* menuVideo;
        QMenu* menuHelp;
        QAction* menuHelpDoc;
        QAction* menuAbout;
        // The envelope of the recording and the sections on it, under the
        // two panels.
        WaveformStrip* waveform;
        // Problems met in the background, below everything else.
        ProblemBar* problemBar;
        // The picture of a video recording, in a window of its own.
        VideoWindow* video;
    };

    // `mmc` plays the media and `prompts` asks the user; both outlive the window.
    FormMain(MediaControl& mmc, Prompts& prompts, QWidget* parent = nullptr);
    ~FormMain() override;

    const Controls& controls() const { return ui_; }
    WorkspaceState& state() override { return state_; }
    const WorkspaceState& state() const { return state_; }
    SectionTableModel& table() override { return table_; }
    MediaControl& MMC() { return mmc_; }
    Prompts& prompts() { return prompts_; }
    ProjectCommands& project() { return project_; }
    CaptureCycle& cycle() { return cycle_; }
    FootPedals& pedals() { return *pedals_; }
    const CaptureCycle& cycle() const { return cycle_; }

    // Returns the table, the current section, the controls and the state to
    // an empty workspace.
    void ResetWorkspace();
    void resetWorkspace() override { ResetWorkspace(); }

    void setMediaFile(const QString& path) override;

    // Caption forms: the product name and the project file after a save or a
    // load; after any change the project is marked unsaved, which shows a star.
    void showProjectCaption() override;
    void markUnsaved() override;

    // Replaces the text box's text without counting it as typing; the caret
    // goes to its end.
    void setScriptText(const QString& text) override;

    void continueWork() override;
    void showProblem(Problem problem, const QString& text) override;
    void clearProblem(Problem problem) override;

    // For an end the user did not ask for (the session ends, the program is
    // told to stop): the unsaved work goes to the recovery copy, which the
    // next start offers, and nothing is asked.
    void keepWorkForNextStart();

    // The playing speed (in thousandths) and the volume (in percent), kept
    // for every play.
    void setSpeed(int thousandths);
    void setVolume(int percent);

    // Remote controls (foot pedals, the desktop's media keys) press the
    // window's keys: a press does exactly what the key does, and nothing
    // while one of the program's dialogs waits for an answer, since the key
    // would not reach the window then. Play and Pause press F11 only where
    // it would start or stop the sound.
    enum class RemoteKey
    {
        PlayPause,
        Play,
        Pause,
        Replay,
        JumpBack,
    };
    void pressRemoteKey(RemoteKey key);
    bool acceptsRemoteKeys() const;
    // The sound plays: F11 would pause it.
    bool isPlaying() const;

signals:
    // The recording, the speed or the volume has changed.
    void playerChanged();

public slots:
    // The transcription cycle (see CaptureCycle): Play/Pause/Continue, and
    // the replay of the current section.
    void cmdPlay_Click();
    void cmdRewind_Click();
    void TimerAutoRewind_Timer();

    // The status monitor: the device's mode every 500 ms, its position at
    // every status update.
    void Timer1_Timer();
    void MMC_StatusUpdate();

    // Navigation and text entry.
    void oGrid_Click();
    void SliderTime_TryToSeekTo(qint32 position);
    void SliderTime_SeekTo(qint32 position);
    void txtScript_KeyUp();

    void TimerAutoSaver_Timer();

    void menuOpen_Click();
    void menuSave_Click();
    void menuSaveAs_Click();
    void menuLoad_Click();
    void menuExport_Click();
    void menuExportSubtitles_Click();
    void menuPlay_Click();
    void menuRewind_Click();
    // The playing speed, kept for every play, and a short jump back.
    void menuSlower_Click();
    void menuFaster_Click();
    void menuNormalSpeed_Click();
    // The volume, kept for every play while the program runs.
    void menuLouder_Click();
    void menuQuieter_Click();
    void menuJumpBack_Click();
    void menuFootPedal_Click();
    void menuWaveform_Click();
    void menuZoomIn_Click();
    void menuZoomOut_Click();
    void menuVideo_Click();
    void menuHelpDoc_Click();
    void menuAbout_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void connectHandlers();
    void connectCycle();
    void connectWaveform();
    void connectVideo();
    void connectPedals();
    void showPedalProblem();
    void findEnvelope();
    void showPlayingOnStrip();
    void setClientMinimum();
    void Form_Load();
    void watchScriptKeys(const QEvent* event);
    void Form_Resize();
    bool Form_Unload();
    void showModal(QDialog& window);

    // Shows what the cycle signals.
    void showStatus();
    void showSection();
    void showHighlight(qint32 start, qint32 end);
    void showPosition(qint32 position);
    void showLength(qint32 length);
    void showSoundOutput(SoundOutput output);
    void showCurrentRow(int row, bool atTop);
    void onOpenFailed();
    void setCaption(const QString& caption);
    void lookForMissingMedia();

    MediaControl& mmc_;
    Prompts& prompts_;
    Controls ui_{};
    WorkspaceState state_;
    SectionTableModel table_;
    ProjectCommands project_{*this, prompts_, this};
    CaptureCycle cycle_{mmc_, table_, state_};
    EnvelopeFeed envelope_;
    // A recording was opened and its envelope waits for the first play.
    bool envelopeWanted_ = false;
    // The video window has opened by itself once: from then on it is the
    // user's to show.
    bool videoShownOnce_ = false;
    // Keys pressed in the text box and not yet released.
    QSet<int> keysPressedInScript_;
    // The bar's own problem, beside the project's.
    static constexpr int RecordingEndedEarly = 100;
    static constexpr int NoSoundOutput = 101;
    static constexpr int PedalNotAllowed = 102;
    // The foot pedals, read whichever window has the focus.
    FootPedals* pedals_ = nullptr;
    // Typing reaches the recovery journal within this time of the key.
    QTimer* typingKeeper_ = nullptr;
};
