#include "RunningProgram.h"

#include "XServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QPoint>
#include <QTest>

namespace {

// Narrower than the main window ever is, wider than a message box.
constexpr int MainWindowMinimumWidth = 600;

} // namespace

RunningProgram::RunningProgram(const XServer& x, const QString& home, QString screens)
    : x_(x), program_(x, home), screens_(std::move(screens))
{
}

RunningProgram::~RunningProgram()
{
    // Still running: the test stopped short, and the screen shows where.
    if (program_.process().state() != QProcess::NotRunning)
        step(QStringLiteral("stopped here"));
}

bool RunningProgram::start(const QString& binary)
{
    if (!program_.start(binary))
        return false;
    // A message box shown at start-up has the main window's name too; the
    // main window is the wide one. A machine busy with other tests may take
    // a while to show it.
    const QDeadlineTimer deadline(30000);
    while (main_.isEmpty() && !deadline.hasExpired()) {
        for (const QString& id : x_.visibleWindows(program_.pid()))
            if (x_.windowName(id) == QLatin1String("Kelvane") &&
                x_.windowSize(id).width() >= MainWindowMinimumWidth)
                main_ = id;
        QTest::qWait(50);
    }
    if (main_.isEmpty())
        return false;
    focusMainWindow();
    return true;
}

QString RunningProgram::caption() const
{
    return x_.windowName(main_);
}

bool RunningProgram::waitForCaption(const QString& caption, int ms) const
{
    const QDeadlineTimer deadline(ms);
    while (this->caption() != caption) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

void RunningProgram::focus(const QString& window) const
{
    x_.xdotool({"windowfocus", "--sync", window});
}

void RunningProgram::key(const QString& keys) const
{
    x_.xdotool({"key", "--clearmodifiers", keys});
}

void RunningProgram::type(const QString& text) const
{
    x_.xdotool({"type", "--delay", "20", text});
}

void RunningProgram::drag(const QString& window, QPoint from, QPoint to) const
{
    auto moveTo = [&](QPoint p) {
        x_.xdotool(
            {"mousemove", "--window", window, QString::number(p.x()), QString::number(p.y())});
    };
    moveTo(from);
    x_.xdotool({"mousedown", "1"});
    constexpr int Steps = 8;
    for (int i = 1; i <= Steps; ++i)
        moveTo(from + (to - from) * i / Steps);
    x_.xdotool({"mouseup", "1"});
}

void RunningProgram::click(const QString& window, QPoint at) const
{
    x_.xdotool({"mousemove", "--window", window, QString::number(at.x()), QString::number(at.y()),
                "click", "1"});
}

QString RunningProgram::waitForWindow(const QString& name, int ms) const
{
    const QString window = x_.waitForWindow(program_.pid(), name, ms);
    if (!window.isEmpty())
        focus(window);
    return window;
}

QString RunningProgram::waitForMessage(int ms) const
{
    const QDeadlineTimer deadline(ms);
    do {
        for (const QString& id : x_.visibleWindows(program_.pid()))
            if (id != main_ && x_.windowName(id) == QLatin1String("Kelvane")) {
                focus(id);
                return id;
            }
        QTest::qWait(50);
    } while (!deadline.hasExpired());
    return {};
}

bool RunningProgram::answer(const QString& message, const QString& keys) const
{
    key(keys);
    if (!waitForClose(message))
        return false;
    focusMainWindow();
    return true;
}

bool RunningProgram::chooseFile(const QString& title, const QString& path,
                                const QString& returnTo) const
{
    const QString dialog = waitForWindow(title);
    if (dialog.isEmpty())
        return false;
    // The file name box has the focus; a suggested name in it is replaced.
    key("ctrl+a");
    type(path);
    key("Return");
    if (!waitForClose(dialog))
        return false;
    focus(returnTo);
    return true;
}

bool RunningProgram::waitForClose(const QString& window) const
{
    const QDeadlineTimer deadline(10000);
    while (x_.visibleWindows(program_.pid()).contains(window)) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

QImage RunningProgram::picture(const QString& window) const
{
    QProcess import;
    import.setProcessEnvironment(x_.environment());
    import.start("import", {"-window", window, "png:-"});
    import.waitForFinished(10000);
    return QImage::fromData(import.readAllStandardOutput(), "PNG");
}

void RunningProgram::step(const QString& name)
{
    QDir folder(screens_);
    folder.mkpath(QStringLiteral("."));
    // Numbered on from the pictures already there, which an earlier run of
    // the program may have left.
    const qsizetype number = folder.entryList(QDir::Files).size() + 1;
    qInfo("step %lld: %s", qlonglong(number), qPrintable(name));
    QProcess::execute("import", {"-display", x_.display(), "-window", "root",
                                 QStringLiteral("%1/%2-%3.png")
                                     .arg(screens_)
                                     .arg(number, 2, 10, QChar('0'))
                                     .arg(QString(name).replace(' ', '-'))});
}

bool RunningProgram::waitForEnd(int ms)
{
    return program_.process().waitForFinished(ms) &&
           program_.process().exitStatus() == QProcess::NormalExit;
}
