#pragma once

class Prompts;
class QString;
class QWidget;
class SectionTableModel;

// Export Subtitles: asks where to write the sections of `table` as subtitles
// and writes them there, as WebVTT when the name ends in ".vtt" and as
// SubRip otherwise. The dialog opens in `folder` and suggests the media
// file's name: saved beside a video, a file named like it is found by
// players. Nothing to export and a failed write are told to the user.
void exportSubtitles(QWidget* owner, const SectionTableModel& table, Prompts& prompts,
                     const QString& folder, const QString& mediaFile);
