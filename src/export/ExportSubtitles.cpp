#include "export/ExportSubtitles.h"

#include "dialogs/Prompts.h"
#include "export/SubtitleText.h"
#include "storage/FileAccess.h"

#include <QDir>
#include <QFileInfo>

void exportSubtitles(QWidget* owner, const SectionTableModel& table, Prompts& prompts,
                     const QString& folder, const QString& mediaFile)
{
    // A SubRip file with no cue is empty.
    if (subtitleBytes(table, SubtitleFormat::SubRip).isEmpty()) {
        prompts.message(owner,
                        QStringLiteral("There are no subtitles to export yet: no section has both "
                                       "a text and a length."),
                        Prompts::Buttons::Ok);
        return;
    }

    const QString media = QFileInfo(mediaFile).completeBaseName();
    FileDialogRequest request;
    request.mode = FileDialogMode::Save;
    request.title = QStringLiteral("Export Subtitles");
    request.initialFileName =
        (media.isEmpty() ? QStringLiteral("transcript") : media) + QStringLiteral(".srt");
    request.filters = {{QStringLiteral("SubRip"), QStringLiteral("*.srt")},
                       {QStringLiteral("WebVTT"), QStringLiteral("*.vtt")}};
    request.initialFolder = folder;
    request.defaultExtension = QStringLiteral("srt");
    const QString path = prompts.chooseFileToWrite(owner, request);
    if (path.isEmpty())
        return;

    const SubtitleFormat format = path.endsWith(QLatin1String(".vtt"), Qt::CaseInsensitive)
                                      ? SubtitleFormat::WebVtt
                                      : SubtitleFormat::SubRip;
    if (const std::optional<QString> failure = writeWholeFile(path, subtitleBytes(table, format)))
        prompts.message(owner,
                        QStringLiteral("The subtitles could not be saved to\n%1\n\n%2\n\nNothing "
                                       "was changed on disk.")
                            .arg(QDir::toNativeSeparators(path), *failure),
                        Prompts::Buttons::Ok);
}
