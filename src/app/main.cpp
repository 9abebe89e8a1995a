#include "app/SingleInstance.h"
#include "media/GstMediaControl.h"
#include "workspace/FormMain.h"
#include "workspace/MessageBoxPrompts.h"

#include <QApplication>
#include <QLayout>
#include <QScreen>
#include <QStyle>
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
    // Centred at the size the minimum gives it, which the layout knows only
    // once it has run.
    window.layout()->activate();
    if (const QScreen* screen = window.screen())
        window.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window.size(),
                                               screen->availableGeometry()));
    window.show();
    return QApplication::exec();
}
