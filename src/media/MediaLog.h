#pragma once

#include <QLoggingCategory>

// What GStreamer says when a file cannot be played or a stream breaks, for
// whoever runs the program from a terminal ("kelvane.media.debug=true" in
// QT_LOGGING_RULES shows more).
Q_DECLARE_LOGGING_CATEGORY(lcMedia)
