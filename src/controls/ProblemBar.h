#pragma once

#include <QStatusBar>

#include <map>

class QLabel;

// A band across the foot of a window that tells of problems the program
// meets in the background (a save that fails, a file changed behind its
// back) without interrupting the user: it takes neither the focus nor a key,
// and shows each problem, under its own key, until it is cleared. Hidden
// while there is none.
class ProblemBar final : public QStatusBar
{
    Q_OBJECT

public:
    explicit ProblemBar(QWidget* parent = nullptr);

    void showProblem(int key, const QString& text);
    void clearProblem(int key);
    void clearAll();
    QString text() const;

private:
    void refresh();

    QLabel* label_;
    std::map<int, QString> problems_;
};
