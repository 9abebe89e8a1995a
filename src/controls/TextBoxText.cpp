#include "controls/TextBoxText.h"

#include <QPlainTextEdit>
#include <QTextDocument>

QString textBoxText(const QPlainTextEdit& box)
{
    QString text = box.document()->toRawText();
    for (QChar& c : text) {
        // A paragraph end, or the line break of Shift+Enter.
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = u'\n';
    }
    return text;
}
