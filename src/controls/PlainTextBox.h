#pragma once

#include <QPlainTextEdit>

// A text box that holds plain text only. QPlainTextEdit still takes a paste
// or a drop of Markdown as formatted text, with tables and images that
// become invisible marker characters in its text; here only the plain text
// of what is pasted or dropped goes in.
class PlainTextBox final : public QPlainTextEdit
{
    Q_OBJECT

public:
    using QPlainTextEdit::QPlainTextEdit;

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
};
