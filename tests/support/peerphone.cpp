#include "support/peerphone.h"

#include "support/procstats.h"
#include "support/sipprunner.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <signal.h>

namespace {

const char* const EXECUTABLES[] = {"/usr/bin/linphone", "/usr/bin/twinkle", "/usr/bin/baresip"};

bool all_gone(const QList<qint64>& pids)
{
    return std::none_of(pids.cbegin(), pids.cend(), procstats::running);
}

bool wait_gone(const QList<qint64>& pids, int timeout_ms)
{
    QDeadlineTimer deadline(timeout_ms);
    while (!all_gone(pids) && !deadline.hasExpired())
        QThread::msleep(50);
    return all_gone(pids);
}

} // namespace

QProcessEnvironment fresh_home_environment(const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    QDir(home).mkpath(QStringLiteral("tmp"));
    env.insert(QStringLiteral("TMPDIR"), home + QStringLiteral("/tmp"));
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME",
                             "QT_QPA_PLATFORM", "QT_QUICK_BACKEND"})
        env.remove(QLatin1String(name));
    return env;
}

void end_processes(const QList<qint64>& pids, int timeout_ms)
{
    for (qint64 pid : pids)
        ::kill(pid_t(pid), SIGTERM);
    if (wait_gone(pids, timeout_ms))
        return;
    for (qint64 pid : pids) {
        if (procstats::running(pid))
            ::kill(pid_t(pid), SIGKILL);
    }
    wait_gone(pids, 5000);
}

PeerPhone::PeerPhone(Kind kind, const QString& user, int registrar_port, bool auto_answer)
    : kind(kind), user(user), registrar_port(registrar_port), auto_answer(auto_answer)
{
}

PeerPhone::~PeerPhone()
{
    stop();
}

QString PeerPhone::name(Kind kind)
{
    static const char* const names[] = {"linphone-desktop", "twinkle", "baresip"};
    return QLatin1String(names[kind]);
}

bool PeerPhone::installed(Kind kind)
{
    return QFileInfo::exists(QLatin1String(EXECUTABLES[kind]));
}

bool PeerPhone::write(const QString& path, const QString& text) const
{
    QDir().mkpath(QFileInfo(dir.filePath(path)).path());
    QFile file(dir.filePath(path));
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0;
}

bool PeerPhone::configure()
{
    const QString registrar = QStringLiteral("127.0.0.1:%1").arg(registrar_port);
    const QString answer = auto_answer ? QStringLiteral("1") : QStringLiteral("0");
    switch (kind) {
    case Linphone:
        arguments.clear();
        return write(QStringLiteral(".config/linphone/linphonerc"),
                     QStringLiteral("[sip]\nsip_port=-1\nsip_tcp_port=0\nsip_tls_port=0\ndefault_proxy=0\n\n"
                                    "[rtp]\naudio_rtp_port=-1\nvideo_rtp_port=-1\n\n"
                                    "[video]\ncapture=0\ndisplay=0\nautomatically_initiate=0\n"
                                    "automatically_accept=0\n\n"
                                    "[ui]\nauto_answer=%1\n\n"
                                    "[proxy_0]\nreg_proxy=<sip:%2;transport=udp>\nreg_identity=sip:%3@%2\n"
                                    "reg_expires=3600\nreg_sendregister=1\npublish=0\n\n"
                                    "[auth_info_0]\nusername=%3\npasswd=secret\nrealm=velora.test\n"
                                    "domain=%2\n")
                         .arg(answer, registrar, user));
    case Twinkle:
        arguments = QStringList{QStringLiteral("-f"),         QStringLiteral("bench"),
                                QStringLiteral("--sip-port"), QString::number(free_udp_port()),
                                QStringLiteral("--rtp-port"), QString::number(free_udp_port())};
        return write(QStringLiteral(".twinkle/bench.cfg"),
                     QStringLiteral("user_name=%1\nuser_domain=%2\nauth_name=%1\nauth_pass=secret\n"
                                    "registrar=%2\nregister_at_startup=yes\n")
                         .arg(user, registrar)) &&
               write(QStringLiteral(".twinkle/bench.svc"),
                     QStringLiteral("auto_answer=%1\n").arg(auto_answer ? "yes" : "no"));
    case Baresip:
        arguments = QStringList{QStringLiteral("-f"), dir.filePath(QStringLiteral(".baresip"))};
        return write(QStringLiteral(".baresip/config"),
                     QStringLiteral("poll_method epoll\nsip_listen 127.0.0.1:%1\n"
                                    "audio_player pulse,\naudio_source pulse,\naudio_alert pulse,\n"
                                    "module_path /usr/lib/baresip/modules\nmodule g711.so\n"
                                    "module pulse.so\nmodule_app account.so\nmodule_app menu.so\n"
                                    "module_app gtk.so\n")
                         .arg(free_udp_port())) &&
               write(QStringLiteral(".baresip/accounts"),
                     QStringLiteral("<sip:%1@%2>;auth_pass=secret;answermode=%3\n")
                         .arg(user, registrar, auto_answer ? "auto" : "manual"));
    }
    return false;
}

bool PeerPhone::start()
{
    if (!configure())
        return false;
    process.setProcessEnvironment(fresh_home_environment(dir.path()));
    process.setWorkingDirectory(dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardOutputFile(dir.filePath(QStringLiteral("output.log")));
    process.start(QLatin1String(EXECUTABLES[kind]), arguments);
    return process.waitForStarted(10000);
}

void PeerPhone::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    end_processes(procstats::tree(process.processId())); // the phone and what it started
    process.waitForFinished(5000);
}
