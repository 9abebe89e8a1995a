// A libFuzzer target running one of FuzzChecks' checks, chosen by the build
// (KELVANE_FUZZ_CHECK), on every input. A failed check aborts, which makes
// libFuzzer keep the input.

#include "FuzzChecks.h"

#include <QApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Widgets need an application; nothing is shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int qtArgc = 1;
    static char* qtArgv[] = {(*argc > 0 ? (*argv)[0] : nullptr), nullptr};
    // Never destroyed: libFuzzer ends the process with exit(), and Qt's own
    // statics are gone by the time an application object would be destroyed
    // there.
    static const auto* application = new QApplication(qtArgc, qtArgv);
    Q_UNUSED(application);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString failure = FuzzChecks::KELVANE_FUZZ_CHECK(bytes);
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "check failed: %s\n", qUtf8Printable(failure));
        std::abort();
    }
    return 0;
}
