#include "about/FormAbout.h"

#include "about/HelpPages.h"
#include "controls/AquaButton.h"
#include "controls/WindowLook.h"
#include "dialogs/Prompts.h"

#include <QLabel>

namespace {

using WindowLook::place;

// A label as wide and high as its text, with its top left corner at the
// design place.
QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int pointSize,
                  const QRect& twips)
{
    auto* label = place(new QLabel(text, parent), name, twips);
    QFont font = label->font();
    font.setPointSize(pointSize);
    label->setFont(font);
    label->adjustSize();
    return label;
}

} // namespace

FormAbout::FormAbout(Prompts& prompts, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      prompts_(prompts)
{
    setObjectName(QStringLiteral("FormAbout"));
    setWindowTitle(QStringLiteral("About"));
    setModal(true);
    WindowLook::apply(*this);

    Controls& c = ui_;
    c.Label1 = makeLabel(this, "Label1", productName(), 12, {1650, 240, 2100, 270});
    c.Label2 = makeLabel(this, "Label2", QStringLiteral("version " KELVANE_VERSION), 9,
                         {2250, 570, 900, 225});
    c.cmdHomepage = place(new AquaButton(this), "cmdHomepage", {3000, 2325, 1785, 330});
    c.cmdHomepage->setCaption(QStringLiteral("Homepage"));
    connect(c.cmdHomepage, &AquaButton::Click, this, &FormAbout::cmdHomepage_Click);

    setFixedSize(twipsToPixels(5445), twipsToPixels(2970));
}

void FormAbout::cmdHomepage_Click()
{
    openHelpPage(this, prompts_, productPageAddress());
}
