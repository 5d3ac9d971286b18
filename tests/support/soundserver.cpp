#include "soundserver.h"

#include <QDeadlineTimer>
#include <QFile>
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

PrivateSoundServer::PrivateSoundServer() : previous_server(qgetenv("PULSE_SERVER")) {}

PrivateSoundServer::~PrivateSoundServer()
{
    stop();
    qputenv("PULSE_SERVER", previous_server);
}

void PrivateSoundServer::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    thaw();
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool PrivateSoundServer::start(int timeout_ms)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    env.insert(QStringLiteral("HOME"), dir.path());
    env.remove(QStringLiteral("PULSE_SERVER"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("pulseaudio"),
                  {"-n", "--daemonize=no", "--exit-idle-time=-1",
                   "--load=module-null-sink sink_name=nullsink", "--load=module-native-protocol-unix",
                   "--load=module-always-sink"});
    if (!process.waitForStarted(timeout_ms))
        return false;
    QProcess pactl;
    pactl.setProcessEnvironment(env);
    for (QDeadlineTimer deadline(timeout_ms); !deadline.hasExpired(); QThread::msleep(100)) {
        pactl.start(QStringLiteral("pactl"), {QStringLiteral("info")});
        if (pactl.waitForFinished(5000) && pactl.exitCode() == 0)
            return true;
    }
    return false;
}

void PrivateSoundServer::point_here()
{
    qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(dir.path()) + "/pulse/native");
}

void PrivateSoundServer::freeze()
{
    ::kill(pid_t(process.processId()), SIGSTOP);
}

void PrivateSoundServer::thaw()
{
    ::kill(pid_t(process.processId()), SIGCONT);
}
