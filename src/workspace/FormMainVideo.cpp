// The picture of a video recording, in its own window: shown by itself the
// first time a recording with a picture is opened, then from the View menu.
#include "workspace/FormMain.h"

#include "media/MediaControl.h"
#include "workspace/VideoWindow.h"

#include <QAction>

void FormMain::connectVideo()
{
    VideoWindow* video = ui_.video;
    connect(&cycle_, &CaptureCycle::lengthChanged, this, [this, video](qint32 length) {
        const bool picture = length > 0 && mmc_.hasPicture();
        video->setMedia(length > 0 ? state_.mediaFile : QString(), picture);
        if (picture && !std::exchange(videoShownOnce_, true)) {
            ui_.menuVideo->setChecked(true);
            menuVideo_Click();
        }
    });
    const auto follow = [video] {
        if (video->isVisible())
            video->follow();
    };
    connect(&cycle_, &CaptureCycle::statusChanged, video, follow);
    connect(&cycle_, &CaptureCycle::positionChanged, video, follow);
    connect(video, &VideoWindow::closed, this, [this] { ui_.menuVideo->setChecked(false); });
}

void FormMain::menuVideo_Click()
{
    // Shown beside the main window, which keeps the keyboard.
    ui_.video->setVisible(ui_.menuVideo->isChecked());
    activateWindow();
}
