#pragma once

#include <QDialog>

class AquaButton;
class Prompts;
class QCheckBox;
class QPlainTextEdit;
class SectionTableModel;

// The export window: the whole transcript as one editable text, with or
// without time stamps and line breaks, to copy to the clipboard or save as
// a text file. It is modal, so the sections do not change while it is open.
class FormExport final : public QDialog
{
    Q_OBJECT

public:
    struct Controls
    {
        QPlainTextEdit* txtText;
        QCheckBox* chkTimeLine;
        QCheckBox* chkLineBreak;
        AquaButton* cmdCopy;
        AquaButton* cmdSave;
    };

    // Exports the sections of `table`; the save dialog opens in `saveFolder`.
    FormExport(const SectionTableModel& table, Prompts& prompts, QString saveFolder,
               QWidget* parent = nullptr);

    const Controls& controls() const { return ui_; }

public slots:
    // Replaces the text with the transcript built from the sections as the
    // check boxes ask; Undo brings back the text it replaced.
    void BuildExportText();
    void cmdCopy_Click();
    void cmdSave_Click();
    // Closing asks first when the text has been edited.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    bool edited() const;
    void optionClicked(QCheckBox& option);
    bool saveText();
    void Form_Resize();

    const SectionTableModel& table_;
    Prompts& prompts_;
    QString saveFolder_;
    Controls ui_{};
};
