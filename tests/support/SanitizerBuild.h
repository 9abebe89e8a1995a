#pragma once

#include <QtGlobal>

// Under AddressSanitizer every allocation is many times slower, the program
// under test's too: the bounds the tests set on delays are for the ordinary
// build, which checks them, and are loosened in the sanitizer's build, which
// looks for memory faults.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool UnderSanitizer = true;
#else
constexpr bool UnderSanitizer = false;
#endif

// The bound of `ms` on a delay, as this build holds it.
constexpr qint64 delayBoundMs(qint64 ms)
{
    return UnderSanitizer ? 4 * ms : ms;
}
