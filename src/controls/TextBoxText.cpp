#include "controls/TextBoxText.h"

#include <QPlainTextEdit>
#include <QTextDocument>

#include <algorithm>

QString textBoxText(const QPlainTextEdit& box)
{
    QString text = box.document()->toRawText();
    // A paragraph end, or the line break of Shift+Enter.
    std::replace_if(
        text.begin(), text.end(),
        [](QChar c) { return c == QChar::ParagraphSeparator || c == QChar::LineSeparator; },
        QChar(u'\n'));
    return text;
}
