// Moving through the recording by table row and by seek bar, and typing the
// current section's text.

#include "workspace/FormMain.h"

#include "controls/PlaySlider.h"
#include "controls/TextBoxText.h"
#include "model/FormatTime.h"
#include "workspace/SectionGrid.h"

#include <QLabel>
#include <QPlainTextEdit>

void FormMain::oGrid_Click()
{
    const SectionGrid& grid = *ui_.oGrid;
    if (!isReplayable(grid.row())) {
        state_.seekStart = -1;
        return;
    }
    // A capture section that is playing is closed before it is replayed; the
    // first Play of a loaded project opens the media here.
    if (grid.row() == grid.rows() - 1 && !state_.capturePaused)
        cmdPlay_Click();
    const int row = grid.row();
    if (!isReplayable(row)) {
        state_.seekStart = -1;
        return;
    }
    // The device leaves the capture section; its end stays where it was.
    if (row != grid.rows() - 1)
        captureFollowsPosition_ = false;

    ui_.lblSectionStart->setText(grid.text(row, 0));
    ui_.lblSectionEnd->setText(grid.text(row, 1));
    ui_.lblSectionStartView->setText(grid.text(row, 2));
    ui_.lblSectionEndView->setText(grid.text(row, 3));
    PlaySlider& slider = *ui_.SliderTime;
    slider.setSectionStart(*ReadRawPosition(grid.text(row, 0)));
    slider.setSectionEnd(*ReadRawPosition(grid.text(row, 1)));
    slider.setValue(state_.seekStart >= 0 ? state_.seekStart : slider.SectionStart());
    setScriptText(grid.text(row, 4));
    cmdRewind_Click();
}

// A row holds a section when its bounds are numbers. The empty row of a
// fresh workspace has none, and a damaged project file may hold other text.
bool FormMain::isReplayable(int row) const
{
    const SectionGrid& grid = *ui_.oGrid;
    return row >= 1 && row < grid.rows() && ReadRawPosition(grid.text(row, 0)) &&
           ReadRawPosition(grid.text(row, 1));
}

void FormMain::SliderTime_TryToSeekTo(qint32 position)
{
    if (state_.mediaFile.isEmpty())
        return;
    ui_.lblSeekTime->show();
    ui_.lblSeekTime->setText(FormatTime(position));
}

void FormMain::SliderTime_SeekTo(qint32 position)
{
    ui_.lblSeekTime->hide();
    ui_.lblCurrent->setText(ui_.lblSeekTime->text());
    if (state_.mediaFile.isEmpty() || !state_.mediaOpened)
        return;

    // The section holding the position is the first that ends after it; a
    // position at a section's end belongs to the next one.
    SectionGrid& grid = *ui_.oGrid;
    const int last = grid.rows() - 1;
    int found = 0;
    for (int row = 1; row <= last && found == 0; ++row) {
        const std::optional<qint32> end = ReadRawPosition(grid.text(row, 1));
        if (end && *end > position)
            found = row;
    }
    if (found != 0) {
        state_.seekStart = position;
        grid.setRow(found);
    } else {
        // At or past every end: the whole last section is replayed.
        grid.setRow(last);
        state_.seekStart = ReadRawPosition(grid.text(last, 0)).value_or(-1);
    }
    grid.setCol(0);
    grid.setColSel(grid.cols() - 1);
    oGrid_Click();
}

void FormMain::txtScript_KeyUp()
{
    SectionGrid& grid = *ui_.oGrid;
    grid.setText(grid.row(), 4, SectionTableModel::oneLine(textBoxText(*ui_.txtScript)));
    markUnsaved();
}
