#include "media/GstMediaControl.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvane"));

    GstMediaControl device;
    device.setTimeFormat(MediaControl::MillisecondsFormat);

    QLabel window(QStringLiteral("Kelvane"));
    window.setWindowTitle(QStringLiteral("Kelvane"));
    window.setMinimumSize(800, 533);
    window.setAlignment(Qt::AlignCenter);
    window.show();
    const int result = QApplication::exec();
    device.setCommand(QStringLiteral("close"));
    return result;
}
