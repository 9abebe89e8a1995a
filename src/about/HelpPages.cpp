#include "about/HelpPages.h"

#include "dialogs/Prompts.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace {

QUrl pageAddress(const QString& fileName)
{
    const QDir help(QCoreApplication::applicationDirPath() +
                    QStringLiteral("/../share/kelvane/help"));
    const QFileInfo page(help.filePath(fileName));
    // Through the build folder's link, the page's own place in the source
    // tree, which is what the browser should show.
    return QUrl::fromLocalFile(page.exists() ? page.canonicalFilePath()
                                             : QDir::cleanPath(page.filePath()));
}

} // namespace

QUrl userGuideAddress()
{
    return pageAddress(QStringLiteral("user-guide.html"));
}

QUrl productPageAddress()
{
    return pageAddress(QStringLiteral("index.html"));
}

void openHelpPage(QWidget* parent, Prompts& prompts, const QUrl& address)
{
    const QString page = QDir::toNativeSeparators(address.toLocalFile());
    if (address.isLocalFile() && !QFileInfo(address.toLocalFile()).isFile()) {
        prompts.message(parent,
                        QStringLiteral("The page\n%1\nis missing. Installing Kelvane again puts "
                                       "it back.")
                            .arg(page),
                        Prompts::Buttons::Ok);
        return;
    }
    if (!QDesktopServices::openUrl(address))
        prompts.message(parent,
                        QStringLiteral("No web browser could be started to show the page\n%1\n\n"
                                       "You can open it in a browser yourself.")
                            .arg(page),
                        Prompts::Buttons::Ok);
}
