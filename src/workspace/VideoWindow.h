#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <memory>

class MediaControl;
class PictureSource;

// The picture of a video recording, in a window of its own that follows the
// media device: the frame at the position the device reports, while it
// plays at any speed and wherever it stands. The picture is decoded only
// while the window is shown. The window never takes the keyboard: typing
// stays in the main window.
class VideoWindow : public QWidget
{
    Q_OBJECT

public:
    VideoWindow(const MediaControl& device, QWidget* parent);
    ~VideoWindow() override;

    // The recording now open, and whether it has a picture; "" for none.
    void setMedia(const QString& path, bool hasPicture);
    // Shows the frame at the device's position now, and keeps following it
    // while it plays.
    void follow();

    // The frame shown, at the size it was decoded; null for none.
    QImage frame() const { return frame_; }
    // What the window says instead of a picture; "" while it shows one.
    QString note() const { return note_; }
    // True while a picture pipeline is open.
    bool isDecoding() const { return source_ != nullptr; }

signals:
    // The user closed the window.
    void closed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void openPicture();
    void closePicture();
    void setNote(const QString& note);
    QRect pictureRect(QSize picture) const;

    const MediaControl& device_;
    std::unique_ptr<PictureSource> source_;
    QString path_;
    bool hasPicture_ = false;
    QImage frame_;
    QString note_;
    QTimer playingTimer_; // looks for the next frame while the device plays
    QTimer resizeTimer_;  // asks for frames at the new size once resizing rests
};
