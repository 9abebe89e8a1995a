#pragma once

#include <QWidget>

// The program's push button: a glossy grey face with rounded ends and a
// centred caption. It looks pressed while a mouse button is held on it and
// raises Click on every release of a press that began on it.
class AquaButton : public QWidget
{
    Q_OBJECT

public:
    explicit AquaButton(QWidget* parent = nullptr);

    QString Caption() const { return caption_; }
    void setCaption(const QString& caption);
    bool isPressed() const { return pressed_; }

    QSize sizeHint() const override;

signals:
    void Click();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void setPressed(bool pressed);
    QPoint captionPos() const;

    QString caption_;
    bool pressed_ = false;
};
