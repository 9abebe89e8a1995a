#include "controls/ProblemBar.h"

#include <QStringList>

ProblemBar::ProblemBar(QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("problemBar"));
    setFocusPolicy(Qt::NoFocus);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setMargin(6);
    setAutoFillBackground(true);
    QPalette look = palette();
    look.setColor(QPalette::Window, QColor(255, 236, 179));
    look.setColor(QPalette::WindowText, QColor(96, 0, 0));
    setPalette(look);
    hide();
}

void ProblemBar::showProblem(int key, const QString& text)
{
    problems_[key] = text;
    refresh();
}

void ProblemBar::clearProblem(int key)
{
    if (problems_.erase(key))
        refresh();
}

void ProblemBar::clearAll()
{
    problems_.clear();
    refresh();
}

void ProblemBar::refresh()
{
    QStringList lines;
    for (const auto& [key, text] : problems_)
        lines << text;
    setText(lines.join(u'\n'));
    setVisible(!problems_.empty());
}
