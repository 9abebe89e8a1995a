#include "tools/SoundServer.h"

#include "tools/TimedNoise.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// A process that ends with the one that started it: the server and the busy
// stream do not outlive a test or benchmark that was killed.
std::unique_ptr<QProcess> childProcess()
{
    auto process = std::make_unique<QProcess>();
    process->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    return process;
}

} // namespace

SoundServer::SoundServer(Kind kind) : kind_(kind) {}

SoundServer::~SoundServer()
{
    keepBusy(false);
    stop();
}

QString SoundServer::address() const
{
    // PipeWire's PulseAudio service listens where a desktop's does.
    return QStringLiteral("unix:") + QDir(dir_.path())
                                         .filePath(kind_ == Kind::PipeWire
                                                       ? QStringLiteral("pulse/native")
                                                       : QStringLiteral("native"));
}

QProcessEnvironment SoundServer::environment(QProcessEnvironment base) const
{
    base.insert(QStringLiteral("PULSE_SERVER"), address());
    return base;
}

void SoundServer::useForThisProcess() const
{
    qputenv("PULSE_SERVER", address().toUtf8());
}

bool SoundServer::start(QString* why)
{
    const auto fail = [why](const QString& reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (!dir_.isValid())
        return fail(QStringLiteral("no temporary folder"));
    stop();
    // Its own runtime, home and configuration folders, no default script
    // (-n) and no idle exit: only the modules named here are loaded.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_RUNTIME_DIR", "HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
        env.insert(QString::fromLatin1(name), dir_.path());
    env.remove(QStringLiteral("PULSE_SERVER"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    server_ = childProcess();
    server_->setProcessEnvironment(env);
    server_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server_->setStandardOutputFile(QProcess::nullDevice());
    const QString socket = address().mid(5);
    const QString sink = QStringLiteral("module-null-sink sink_name=%1 rate=%2 channels=2")
                             .arg(QString::fromLatin1(SinkName))
                             .arg(TimedNoise::SampleRate);
    const QString name =
        kind_ == Kind::PipeWire ? QStringLiteral("pipewire") : QStringLiteral("pulseaudio");
    if (kind_ == Kind::PipeWire) {
        // Its own session bus, the graph, its session manager and the
        // PulseAudio service, in a process group of their own to end at once.
        server_->setChildProcessModifier([] {
            ::setsid();
            prctl(PR_SET_PDEATHSIG, SIGKILL);
        });
        server_->start(QStringLiteral("dbus-run-session"),
                       {"--", "sh", "-c",
                        "pipewire & sleep 0.3; wireplumber & sleep 0.3; exec pipewire-pulse"});
    } else {
        server_->start(
            QStringLiteral("pulseaudio"),
            {"--daemonize=no", "-n", "--use-pid-file=no", "--exit-idle-time=-1", "--realtime=no",
             "--high-priority=no", "--log-level=error", "--disallow-module-loading=no", "-L",
             QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") + socket, "-L",
             sink});
    }
    if (!server_->waitForStarted(5000))
        return fail(name + QStringLiteral(" did not start: ") + server_->errorString());
    for (QDeadlineTimer deadline(10000); !deadline.hasExpired(); QThread::msleep(20)) {
        if (server_->state() != QProcess::Running)
            return fail(name + QStringLiteral(" ended at once"));
        if (!answers())
            continue;
        if (kind_ == Kind::PipeWire &&
            (!pactl(QStringList{"load-module"} + sink.split(' ')) ||
             !pactl({"set-default-sink", QString::fromLatin1(SinkName)})))
            return fail(QStringLiteral("pipewire made no null sink"));
        return true;
    }
    return fail(name + QStringLiteral(" did not answer"));
}

bool SoundServer::answers() const
{
    return pactl({"info"});
}

bool SoundServer::pactl(const QStringList& arguments) const
{
    QProcess command;
    command.setProcessEnvironment(environment());
    command.setStandardOutputFile(QProcess::nullDevice());
    command.start(QStringLiteral("pactl"), arguments);
    return command.waitForFinished(2000) && command.exitStatus() == QProcess::NormalExit &&
           command.exitCode() == 0;
}

void SoundServer::stop()
{
    if (!server_)
        return;
    if (kind_ == Kind::PipeWire && server_->processId() > 0)
        ::kill(-pid_t(server_->processId()), SIGKILL);
    server_->kill();
    server_->waitForFinished(5000);
    server_.reset();
}

bool SoundServer::isRunning() const
{
    return server_ && server_->state() == QProcess::Running;
}

void SoundServer::keepBusy(bool busy)
{
    if (!busy) {
        if (busy_) {
            busy_->kill();
            busy_->waitForFinished(2000);
            busy_.reset();
        }
        return;
    }
    if (busy_ || !isRunning())
        return;
    busy_ = childProcess();
    busy_->setProcessEnvironment(environment());
    busy_->setStandardOutputFile(QProcess::nullDevice());
    busy_->start(QStringLiteral("pacat"),
                 {"--playback", "--raw", "--format=s16le", "--channels=2",
                  QStringLiteral("--rate=%1").arg(TimedNoise::SampleRate), "/dev/zero"});
    busy_->waitForStarted(2000);
}
