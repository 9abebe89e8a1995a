#include "controls/LostReleaseWatch.h"

#include <QEvent>
#include <QWidget>

LostReleaseWatch::LostReleaseWatch(QWidget* control, std::function<void()> onLost)
    : QObject(control), control_(control), onLost_(std::move(onLost))
{
    control_->installEventFilter(this);
    watchWindow();
}

// The window may change when the control is put into another one, so it is
// looked up again whenever the control is shown.
void LostReleaseWatch::watchWindow()
{
    QWidget* window = control_->window();
    if (window == window_)
        return;
    if (window_)
        window_->removeEventFilter(this);
    window_ = window;
    if (window_ != control_)
        window_->installEventFilter(this);
}

bool LostReleaseWatch::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == control_) {
        if (event->type() == QEvent::Show || event->type() == QEvent::ParentChange)
            watchWindow();
        else if (event->type() == QEvent::Hide)
            onLost_();
    }
    if (event->type() == QEvent::WindowBlocked && watched == window_)
        onLost_();
    return false;
}
