#pragma once

#include <QUrl>

class Prompts;
class QWidget;

// The two pages that come with the program: the user guide (Help Document)
// and the product page (the About box's Homepage). They are local files, so
// that both work offline: installed in share/kelvane/help beside the
// program's bin folder. The build folder has the same layout, where the
// folder leads to the pages in the source tree.
QUrl userGuideAddress();
QUrl productPageAddress();

// Opens `address` in the user's web browser, through the desktop's opener
// (xdg-open). A page that is missing, or an opener that cannot be started,
// is explained in a message over `parent`; what happens after the opener
// has started is the desktop's to show.
void openHelpPage(QWidget* parent, Prompts& prompts, const QUrl& address);
