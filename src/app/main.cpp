#include "app/EndSignals.h"
#include "app/SingleInstance.h"
#include "dialogs/MessageBoxPrompts.h"
#include "media/GstMediaControl.h"
#include "mpris/MprisService.h"
#include "workspace/FormMain.h"

#include <QApplication>
#include <QFileInfo>
#include <QLayout>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QThreadPool>
#include <QTimer>

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
    // The desktop's media keys and headset buttons, when there is a session bus.
    const MprisService mediaKeys(window, QDBusConnection::sessionBus());
    // Off the window's thread, so that the window comes up first.
    QThreadPool::globalInstance()->start([] { GstMediaControl::prepareSound(); });
    // Ended from outside, the program keeps the work for the next start and
    // leaves every event loop, a question's too, without asking anything.
    const EndSignals endSignals([&window] {
        // Keys already on their way to the window are typing too.
        QCoreApplication::processEvents();
        window.keepWorkForNextStart();
        QApplication::exit(0);
    });
    // Once the window is up: the work a crash left behind is offered first,
    // then a project named on the command line, as the desktop passes one
    // that is opened with Kelvane, loads as Open Project loads it.
    QString project;
    if (const QStringList arguments = QApplication::arguments(); arguments.size() > 1)
        project = QFileInfo(arguments[1]).absoluteFilePath();
    QTimer::singleShot(0, &window, [&window, project] {
        window.project().offerRecovery();
        if (!project.isEmpty())
            window.project().openFile(project);
    });
    return QApplication::exec();
}
