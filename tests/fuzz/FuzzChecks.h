#pragma once

#include <QByteArray>
#include <QString>

namespace FuzzChecks {

// The fuzz target's check of one input, which the regression test replays
// too: "" when it passes, otherwise what went wrong.
QString projectFile(const QByteArray& bytes);

} // namespace FuzzChecks
