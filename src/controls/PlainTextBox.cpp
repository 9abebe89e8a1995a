#include "controls/PlainTextBox.h"

#include <QMimeData>

bool PlainTextBox::canInsertFromMimeData(const QMimeData* source) const
{
    return source->hasText();
}

void PlainTextBox::insertFromMimeData(const QMimeData* source)
{
    if (source->hasText())
        insertPlainText(source->text());
}
