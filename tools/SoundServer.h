#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A private PulseAudio server, the sound server of a Linux desktop, whose one
// sink is a null sink: what is played through it can be recorded from the
// sink's monitor as a listener would hear it. Nothing of the user's own
// session is read or touched.
class SoundServer
{
public:
    static constexpr const char* SinkName = "kelvane_listener";

    // PulseAudio itself, or PipeWire with its PulseAudio service (what
    // Debian 12's desktop runs), both spoken to as PulseAudio.
    enum class Kind
    {
        PulseAudio,
        PipeWire,
    };

    explicit SoundServer(Kind kind = Kind::PulseAudio);
    ~SoundServer();

    // Starts the server and waits until it answers; false (and why) when
    // PulseAudio is not there or does not start.
    bool start(QString* why = nullptr);
    // Ends the server at once, as a crash or an unplugged device would.
    void stop();
    bool isRunning() const;

    // The address clients connect to ("unix:..."), and an environment that
    // sends a child process's sound here.
    QString address() const;
    QProcessEnvironment
    environment(QProcessEnvironment base = QProcessEnvironment::systemEnvironment()) const;
    // Sends this process's own sound (GStreamer's pulse elements) here.
    void useForThisProcess() const;

    // Keeps the sink busy with a silent stream, as another program playing
    // would; false again lets it fall idle.
    void keepBusy(bool busy);

private:
    bool answers() const;
    bool pactl(const QStringList& arguments) const;

    Kind kind_;
    QTemporaryDir dir_;
    std::unique_ptr<QProcess> server_;
    std::unique_ptr<QProcess> busy_;
};
