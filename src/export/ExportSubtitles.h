#pragma once

class Prompts;
class QString;
class QWidget;
class SectionTableModel;

// Export Subtitles: asks where to write the sections of `table` as subtitles
// and writes them there, as WebVTT when the name ends in ".vtt" and as
// SubRip otherwise. The dialog opens in `folder` and suggests the media
// file's name, which players look for beside a video. Nothing to export, a
// declined overwrite and a failed write are all told to the user.
void exportSubtitles(QWidget* owner, const SectionTableModel& table, Prompts& prompts,
                     const QString& folder, const QString& mediaFile);
