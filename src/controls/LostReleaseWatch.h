#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

// Tells a control that a press on it will never see its release: the control
// was hidden, or a modal window opened over its window and took the mouse.
// The toolkit then drops the release, and a control waiting for it would stay
// pressed or dragging.
class LostReleaseWatch final : public QObject
{
public:
    LostReleaseWatch(QWidget* control, std::function<void()> onLost);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchWindow();

    QWidget* control_;
    QPointer<QWidget> window_;
    std::function<void()> onLost_;
};
