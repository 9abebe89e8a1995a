#include "app/SingleInstance.h"
#include "media/GstMediaControl.h"
#include "workspace/FormMain.h"
#include "workspace/MessageBoxPrompts.h"

#include <QApplication>
#include <QScreen>
#include <QStyleFactory>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvane"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

    MessageBoxPrompts prompts;
    SingleInstance instance;
    if (!instance.claim(prompts))
        return 0;

    GstMediaControl device;
    FormMain window(device, prompts);
    if (const QScreen* screen = window.screen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    window.show();
    return QApplication::exec();
}
