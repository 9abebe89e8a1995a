#pragma once

class QPlainTextEdit;
class QString;

// The text of a text box as the user sees it, every line break as "\n".
// Unlike QPlainTextEdit::toPlainText, it keeps non-breaking spaces (many
// keyboard layouts type one with AltGr+Space) instead of turning them into
// blanks.
QString textBoxText(const QPlainTextEdit& box);
