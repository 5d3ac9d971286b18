#include "soundserver.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <signal.h>

void pin_sound_server()
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        QProcess pactl;
        pactl.start(QStringLiteral("pactl"), {QStringLiteral("info")});
        if (pactl.waitForFinished(5000)) {
            for (const QByteArray& line : pactl.readAllStandardOutput().split('\n')) {
                if (line.startsWith("Server String: ")) {
                    QByteArray server = line.mid(15).trimmed();
                    if (server.startsWith('/'))
                        server.prepend("unix:");
                    qputenv("PULSE_SERVER", server);
                }
            }
        } else {
            pactl.kill();
            pactl.waitForFinished(1000);
        }
    }
    const QByteArray cookie = qgetenv("HOME") + "/.config/pulse/cookie";
    if (qEnvironmentVariableIsEmpty("PULSE_COOKIE") && QFile::exists(QString::fromUtf8(cookie)))
        qputenv("PULSE_COOKIE", cookie);
}

bool pipewire_wanted()
{
    return qgetenv("VELORA_SOUND_SERVER") == "pipewire";
}

PrivateSoundServer::PrivateSoundServer(Kind kind) : kind(kind), previous_server(qgetenv("PULSE_SERVER")) {}

PrivateSoundServer::~PrivateSoundServer()
{
    stop();
    qputenv("PULSE_SERVER", previous_server);
}

void PrivateSoundServer::stop()
{
    thaw();
    // The PulseAudio side first, the graph last, as a session ends them.
    for (int i = processes.size() - 1; i >= 0; --i) {
        QProcess* process = processes[i];
        process->terminate();
        if (!process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished(5000);
        }
        delete process;
    }
    processes.clear();
}

bool PrivateSoundServer::run(const QString& program, const QStringList& arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    env.insert(QStringLiteral("HOME"), dir.path());
    env.remove(QStringLiteral("PULSE_SERVER"));
    env.remove(QStringLiteral("PIPEWIRE_REMOTE"));
    if (bus)
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus->address());
    auto* process = new QProcess;
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardOutputFile(dir.filePath(program + QStringLiteral(".log")), QIODevice::Append);
    process->start(program, arguments);
    processes.append(process);
    return process->waitForStarted(5000);
}

bool PrivateSoundServer::start(int timeout_ms)
{
    if (!processes.isEmpty())
        return false;
    QStringList null_sink = {QStringLiteral("module-null-sink"), QStringLiteral("sink_name=nullsink")};
    if (kind == PulseAudio) {
        if (!run(QStringLiteral("pulseaudio"),
                 {"-n", "--daemonize=no", "--exit-idle-time=-1", "--load=" + null_sink.join(' '),
                  "--load=module-native-protocol-unix", "--load=module-always-sink"}))
            return false;
    } else {
        if (!bus)
            bus = std::make_unique<SessionBus>(SessionBus::Use::Started);
        for (const char* program : {"pipewire", "wireplumber", "pipewire-pulse"}) {
            if (!run(QString::fromLatin1(program), {}))
                return false;
            // Its clients connect once: on a busy machine pipewire-pulse started before the
            // daemon's socket exists gives up on it ("Host is down").
            if (QByteArray(program) == "pipewire") {
                QDeadlineTimer listening(timeout_ms);
                while (!QFileInfo::exists(dir.filePath(QStringLiteral("pipewire-0"))) &&
                       !listening.hasExpired())
                    QThread::msleep(20);
            }
        }
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PULSE_SERVER"), QString::fromUtf8(address()));
    QProcess pactl;
    pactl.setProcessEnvironment(env);
    const auto ask = [&pactl](const QStringList& arguments) {
        pactl.start(QStringLiteral("pactl"), arguments);
        if (!pactl.waitForFinished(5000)) {
            pactl.kill();
            pactl.waitForFinished(1000);
            return QByteArray();
        }
        return pactl.exitCode() == 0 ? pactl.readAllStandardOutput() : QByteArray();
    };
    bool sink_loaded = kind == PulseAudio;
    for (QDeadlineTimer deadline(timeout_ms); !deadline.hasExpired(); QThread::msleep(100)) {
        const QByteArray info = ask({QStringLiteral("info")});
        if (info.isEmpty())
            continue;
        // pipewire-pulse brings no sink of its own: the null sink PulseAudio loads, under the
        // same description. The session manager makes it the default once it links streams.
        if (!sink_loaded)
            sink_loaded =
                !ask(QStringList{QStringLiteral("load-module")} + null_sink +
                     QStringList{QStringLiteral("sink_properties='device.description=\"Null Output\"'")})
                     .isEmpty();
        if (kind == PulseAudio || info.contains("Default Sink: nullsink\n"))
            return true;
    }
    qWarning("the sound server did not come up:\n%s", qPrintable(log()));
    return false;
}

QByteArray PrivateSoundServer::address() const
{
    return "unix:" + QFile::encodeName(dir.path()) + "/pulse/native";
}

void PrivateSoundServer::point_here()
{
    qputenv("PULSE_SERVER", address());
}

void PrivateSoundServer::freeze()
{
    if (QProcess* process = pulse_side())
        ::kill(pid_t(process->processId()), SIGSTOP);
}

void PrivateSoundServer::thaw()
{
    if (QProcess* process = pulse_side())
        ::kill(pid_t(process->processId()), SIGCONT);
}

QString PrivateSoundServer::log() const
{
    QString text;
    for (const char* program : {"pulseaudio", "pipewire", "wireplumber", "pipewire-pulse"}) {
        QFile file(dir.filePath(QString::fromLatin1(program) + QStringLiteral(".log")));
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromLatin1(program) + QStringLiteral(":\n") +
                    QString::fromUtf8(file.readAll().right(4000));
    }
    return text;
}
