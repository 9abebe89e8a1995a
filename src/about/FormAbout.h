#pragma once

#include <QDialog>

class AquaButton;
class Prompts;
class QLabel;

// The About box: the product's name and version, and a button that opens
// the product page.
class FormAbout final : public QDialog
{
    Q_OBJECT

public:
    struct Controls
    {
        QLabel* Label1;
        QLabel* Label2;
        AquaButton* cmdHomepage;
    };

    explicit FormAbout(Prompts& prompts, QWidget* parent = nullptr);

    const Controls& controls() const { return ui_; }

public slots:
    void cmdHomepage_Click();

private:
    Prompts& prompts_;
    Controls ui_{};
};
