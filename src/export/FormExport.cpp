#include "export/FormExport.h"

#include "controls/AquaButton.h"
#include "controls/PlainTextBox.h"
#include "controls/TextBoxText.h"
#include "controls/WindowLook.h"
#include "dialogs/Prompts.h"
#include "export/ExportText.h"
#include "storage/FileAccess.h"
#include "storage/TextEncoding.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTextDocument>

namespace {

using WindowLook::place;

// The window's geometry in twips. Its outer size (frame and title bar
// included) is taken as the client size plus what the design allows for them.
constexpr int NonClientWidth = 120;
constexpr int NonClientHeight = 450;
constexpr int MinimumOuterWidth = 9000;
constexpr int MinimumOuterHeight = 8000;
constexpr int ClientWidth = 8280;
constexpr int ClientHeight = 7635;
constexpr QRect TextRect{165, 525, 7980, 6945};
// The text box reaches this close to the outer size's right and bottom.
constexpr int TextRightAllowance = 200;
constexpr int TextBottomAllowance = 500;

} // namespace

FormExport::FormExport(const SectionTableModel& table, Prompts& prompts, QString saveFolder,
                       QWidget* parent)
    : QDialog(parent), table_(table), prompts_(prompts), saveFolder_(std::move(saveFolder))
{
    buildControls();
    for (QCheckBox* option : {ui_.chkTimeLine, ui_.chkLineBreak})
        connect(option, &QCheckBox::clicked, this, [this, option] { optionClicked(*option); });
    connect(ui_.cmdCopy, &AquaButton::Click, this, &FormExport::cmdCopy_Click);
    connect(ui_.cmdSave, &AquaButton::Click, this, &FormExport::cmdSave_Click);
    BuildExportText();
}

void FormExport::buildControls()
{
    setObjectName(QStringLiteral("FormExport"));
    setWindowTitle(QStringLiteral("Export Transcription Text"));
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    setModal(true);
    WindowLook::apply(*this);

    Controls& c = ui_;
    // Created in tab order.
    c.txtText = place(new PlainTextBox(this), "txtText", TextRect);
    c.txtText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    c.txtText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    c.txtText->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    c.txtText->setTabChangesFocus(true);
    c.chkTimeLine = place(new QCheckBox(QStringLiteral("Include Time Stamps"), this), "chkTimeLine",
                          {195, 225, 2220, 225});
    c.chkTimeLine->setChecked(true);
    c.chkLineBreak = place(new QCheckBox(QStringLiteral("Include Line Breaks"), this),
                           "chkLineBreak", {2355, 225, 2070, 225});
    c.chkLineBreak->setChecked(true);
    c.cmdCopy = place(new AquaButton(this), "cmdCopy", {4380, 120, 1875, 330});
    c.cmdCopy->setCaption(QStringLiteral("Copy to ClipBoard"));
    c.cmdSave = place(new AquaButton(this), "cmdSave", {6330, 120, 1875, 330});
    c.cmdSave->setCaption(QStringLiteral("Save As"));

    setMinimumSize(twipsToPixelsUp(MinimumOuterWidth - NonClientWidth),
                   twipsToPixelsUp(MinimumOuterHeight - NonClientHeight));
    // The design's client area, widened by the minimum size.
    resize(twipsToPixels(ClientWidth), twipsToPixels(ClientHeight));
    c.txtText->setFocus();
}

void FormExport::BuildExportText()
{
    // A transcript of thousands of sections on one line takes the text box
    // seconds to lay out.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restore = qScopeGuard([] { QGuiApplication::restoreOverrideCursor(); });
    const ExportOptions options{ui_.chkTimeLine->isChecked(), ui_.chkLineBreak->isChecked()};
    QTextDocument& document = *ui_.txtText->document();
    if (document.isUndoAvailable()) {
        // One step of the undo history, so that Undo brings back the text
        // as it was, edits and all.
        QTextCursor whole(&document);
        whole.select(QTextCursor::Document);
        whole.insertText(exportText(table_, options));
    } else {
        ui_.txtText->setPlainText(exportText(table_, options));
    }
    document.setModified(false);
    // The caret and the view at the end, as after typing the whole text.
    ui_.txtText->moveCursor(QTextCursor::End);
    ui_.txtText->ensureCursorVisible();
}

// The text has been edited since it was built or saved.
bool FormExport::edited() const
{
    return ui_.txtText->document()->isModified();
}

// A click on an option builds the text anew; edits are not replaced without
// the user's word.
void FormExport::optionClicked(QCheckBox& option)
{
    if (edited()) {
        switch (prompts_.message(
            this,
            QStringLiteral("You have edited the text. Keep your edits?\n\nYes keeps the text as it "
                           "is. No builds it anew from the sections, as the boxes now ask; Ctrl+Z "
                           "then brings your edits back. Cancel leaves the box as it was."),
            Prompts::Buttons::YesNoCancel)) {
        case Prompts::Answer::No:
            break;
        case Prompts::Answer::Yes:
            return;
        default:
            option.setChecked(!option.isChecked());
            return;
        }
    }
    BuildExportText();
}

void FormExport::cmdCopy_Click()
{
    // Line breaks go out as the platform's own; the clipboard of each
    // platform turns them into what its applications expect.
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(textBoxText(*ui_.txtText));
}

void FormExport::cmdSave_Click()
{
    saveText();
}

// Saves the text to a file the user picks; false when cancelled or failed.
bool FormExport::saveText()
{
    FileDialogRequest request;
    request.mode = FileDialogMode::Save;
    request.title = QStringLiteral("Save");
    request.initialFileName = QStringLiteral("transcript.txt");
    request.filters = {{QStringLiteral("*.txt"), QStringLiteral("*.txt")}};
    request.initialFolder = saveFolder_;
    request.defaultExtension = QStringLiteral("txt");
    const QString path = prompts_.chooseFileToWrite(this, request);
    if (path.isEmpty())
        return false;

    // The file holds the text as shown, its line breaks as CR LF, and one
    // CR LF more at the end.
    QString text = textBoxText(*ui_.txtText);
    text.replace(u'\n', QLatin1String("\r\n")).append(QLatin1String("\r\n"));
    const std::optional<QString> failure = writeWholeFile(path, encodeText(text));
    if (failure) {
        prompts_.message(this,
                         QStringLiteral("The transcript could not be saved to\n%1\n\n%2\n\nNothing "
                                        "was changed on disk, and the text is still here.")
                             .arg(QDir::toNativeSeparators(path), *failure),
                         Prompts::Buttons::Ok);
        return false;
    }
    // The edits are kept in the file now.
    ui_.txtText->document()->setModified(false);
    return true;
}

// The close box: edited text is not thrown away without the user's word.
void FormExport::reject()
{
    if (edited()) {
        switch (prompts_.message(this,
                                 QStringLiteral("You have edited the text, and your edits are lost "
                                                "when this window closes. Save the text first?"),
                                 Prompts::Buttons::YesNoCancel)) {
        case Prompts::Answer::Yes:
            if (!saveText())
                return;
            break;
        case Prompts::Answer::No:
            break;
        default:
            return;
        }
    }
    QDialog::reject();
}

// Escape does not close the window as it closes other dialogs: that would
// close the window at a slip of the finger. The close box does, asking first
// when the text has been edited.
void FormExport::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        event->accept();
    else
        QDialog::keyPressEvent(event);
}

void FormExport::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    Form_Resize();
}

// The minimum size, which the toolkit and the window manager keep, springs a
// smaller window back; the text box follows the window's outer size.
void FormExport::Form_Resize()
{
    if (isMinimized())
        return;
    const int outerWidth = int(pixelsToTwips(width())) + NonClientWidth;
    const int outerHeight = int(pixelsToTwips(height())) + NonClientHeight;
    ui_.txtText->resize(twipsToPixels(outerWidth - TextRect.left() - TextRightAllowance),
                        twipsToPixels(outerHeight - TextRect.top() - TextBottomAllowance));
}
