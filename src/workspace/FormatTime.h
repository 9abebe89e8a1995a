#pragma once

#include <QString>

// "hh:mm:ss" for a position in milliseconds: each field two digits, the time
// truncated to whole seconds, hours shown by their last two digits only.
QString FormatTime(qint32 position);
