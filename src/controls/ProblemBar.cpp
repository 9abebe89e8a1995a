#include "controls/ProblemBar.h"

#include <QLabel>
#include <QStringList>

ProblemBar::ProblemBar(QWidget* parent) : QStatusBar(parent), label_(new QLabel(this))
{
    setObjectName(QStringLiteral("problemBar"));
    setSizeGripEnabled(false);
    setFocusPolicy(Qt::NoFocus);
    label_->setTextFormat(Qt::PlainText);
    label_->setWordWrap(true);
    label_->setMargin(6);
    addWidget(label_, 1);
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

QString ProblemBar::text() const
{
    return label_->text();
}

void ProblemBar::refresh()
{
    QStringList lines;
    for (const auto& [key, problem] : problems_)
        lines << problem;
    label_->setText(lines.join(u'\n'));
    setVisible(!problems_.empty());
}
