#include "workspace/VideoWindow.h"

#include "media/MediaControl.h"
#include "media/PictureSource.h"

#include <QCloseEvent>
#include <QPainter>

#include <algorithm>

namespace {

// While playing, the next frame is looked for when it is due; until it is
// decoded, this often.
constexpr int PlayingLookMs = 5;
constexpr int LongestWaitMs = 40;
constexpr int ResizeRestMs = 150;

} // namespace

VideoWindow::VideoWindow(const MediaControl& device, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowDoesNotAcceptFocus), device_(device)
{
    setWindowTitle(QStringLiteral("Kelvane - Video"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    resize(480, 270);
    setMinimumSize(160, 90);
    playingTimer_.setSingleShot(true);
    playingTimer_.setTimerType(Qt::PreciseTimer);
    connect(&playingTimer_, &QTimer::timeout, this, &VideoWindow::follow);
    resizeTimer_.setSingleShot(true);
    resizeTimer_.setInterval(ResizeRestMs);
    connect(&resizeTimer_, &QTimer::timeout, this, [this] {
        if (source_)
            source_->setFitSize(size() * devicePixelRatio());
    });
    setNote(tr("No recording is open."));
}

VideoWindow::~VideoWindow() = default;

void VideoWindow::setMedia(const QString& path, bool hasPicture)
{
    closePicture();
    path_ = path;
    hasPicture_ = hasPicture && !path.isEmpty();
    frame_ = QImage();
    if (path.isEmpty())
        setNote(tr("No recording is open."));
    else if (!hasPicture_)
        setNote(tr("This recording has no picture."));
    else
        setNote({});
    if (isVisible())
        openPicture();
    update();
}

// Only a shown window decodes the picture.
void VideoWindow::openPicture()
{
    if (!hasPicture_ || source_)
        return;
    const QString broken = tr("The picture of this recording cannot be shown. "
                              "Its sound plays as usual.");
    source_ = PictureSource::open(path_);
    if (!source_) {
        setNote(broken);
        return;
    }
    connect(source_.get(), &PictureSource::ready, this, &VideoWindow::follow);
    connect(source_.get(), &PictureSource::frameArrived, this, &VideoWindow::follow);
    connect(source_.get(), &PictureSource::failed, this, [this, broken] {
        setNote(broken);
        update();
    });
    source_->setFitSize(size() * devicePixelRatio());
}

void VideoWindow::closePicture()
{
    playingTimer_.stop();
    source_.reset();
}

void VideoWindow::follow()
{
    const bool playing = device_.mode() == DeviceMode::Playing;
    if (!source_ || !playing)
        playingTimer_.stop();
    if (!source_)
        return;
    const qint32 position = device_.Position();
    const QImage due = source_->frameAt(position);
    if (!due.isNull() && due.cacheKey() != frame_.cacheKey()) {
        frame_ = due;
        update();
    }
    if (!playing)
        return;
    // Woken when the next frame is due, at the playing speed.
    const qint64 next = source_->nextFrameMs();
    const double speed = device_.Speed() / double(MediaControl::NormalSpeed);
    playingTimer_.start(
        next < 0 ? PlayingLookMs
                 : int(std::clamp((next - position) / speed, 1.0, double(LongestWaitMs))));
}

void VideoWindow::setNote(const QString& note)
{
    note_ = note;
}

QRect VideoWindow::pictureRect(QSize picture) const
{
    const QSize shown = picture.scaled(size(), Qt::KeepAspectRatio);
    return QRect(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown);
}

void VideoWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!note_.isEmpty()) {
        painter.setPen(Qt::white);
        painter.drawText(rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap,
                         note_);
        return;
    }
    if (frame_.isNull())
        return;
    // Frames come at the window's size; a frame of another size (while a
    // resize rests) is scaled on screen.
    const QRect target = pictureRect(frame_.size());
    if (target.size() * devicePixelRatio() != frame_.size())
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, frame_);
}

void VideoWindow::resizeEvent(QResizeEvent*)
{
    resizeTimer_.start();
}

void VideoWindow::showEvent(QShowEvent*)
{
    openPicture();
}

void VideoWindow::hideEvent(QHideEvent*)
{
    closePicture();
}

void VideoWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit closed();
}
