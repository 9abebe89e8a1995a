#include "media/MediaLog.h"

Q_LOGGING_CATEGORY(lcMedia, "kelvane.media", QtWarningMsg)
