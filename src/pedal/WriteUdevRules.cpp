// Prints the udev rules for the known foot pedals, which the build writes to
// the file the package installs.
#include "pedal/KnownPedals.h"

#include <cstdio>

int main()
{
    return std::fputs(knownPedalsUdevRules().toUtf8().constData(), stdout) < 0 ? 1 : 0;
}
