// The installed program measured as a desk runs it: installed from this build into a prefix,
// started with its settings from a provisioning file, registered through Kamailio, and dialling
// through it. It runs as root and as an ordinary user the bench creates (no real-time limit, no
// rtkit), each with its own HOME, runtime folder and PulseAudio; idle, and beside stress-ng --cpu 2
// run by another user in a session of its own. Linphonec, under the same user and on the same
// devices and peer, takes turns with it call by call. For each call the delay each way is the
// median of its bursts; each cell gives the median of the calls, their range and the worst call,
// and the scheduling policy of the program's threads while a call runs.
// Run as root: bench_audio_delay --desk [calls]

#include "audiobench.h"
#include "support/kamailiorunner.h"
#include "support/peercore.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <cstdio>
#include <functional>
#include <memory>

#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <unistd.h>

namespace audio_bench {
namespace {

const int BURSTS = 3;                        // each way, in every call
const char* const DESK_USER = "velora-desk"; // the operator
const char* const LOAD_USER = "velora-load"; // the neighbour whose work loads the machine

void wait_events(int ms)
{
    QTest::qWait(ms);
}

bool wait_until(const std::function<bool()>& done, int timeout_ms)
{
    return QTest::qWaitFor(done, timeout_ms);
}

struct User
{
    QString name;
    uid_t uid = 0;
    gid_t gid = 0;
};

// A system user without a login of its own, made on the first run.
bool find_or_create_user(const QString& name, User* user)
{
    if (!::getpwnam(name.toLocal8Bit().constData()))
        QProcess::execute(QStringLiteral("useradd"),
                          {QStringLiteral("--system"), QStringLiteral("--no-create-home"),
                           QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"), name});
    const passwd* entry = ::getpwnam(name.toLocal8Bit().constData());
    if (!entry)
        return false;
    *user = {name, entry->pw_uid, entry->pw_gid};
    return true;
}

// The program and its arguments that run `program` as the user: setpriv drops root's rights (and
// with them any real-time priority) as a login would never have had them.
QStringList as_user(const User& user, const QString& program, const QStringList& arguments)
{
    if (user.uid == 0)
        return QStringList{program} + arguments;
    return QStringList{QStringLiteral("setpriv"),
                       QStringLiteral("--reuid=%1").arg(user.uid),
                       QStringLiteral("--regid=%1").arg(user.gid),
                       QStringLiteral("--clear-groups"),
                       QStringLiteral("--"),
                       program} +
           arguments;
}

void start_as(QProcess& process, const User& user, const QString& program, const QStringList& arguments)
{
    const QStringList command = as_user(user, program, arguments);
    process.start(command.first(), command.mid(1));
}

void end(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

// "SCHED_OTHER" or the real-time policy of each thread that has one, named by the thread.
QString thread_policies(qint64 pid)
{
    QStringList real_time;
    int threads = 0;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const int policy = ::sched_getscheduler(tid.toInt());
        if (policy < 0)
            continue;
        ++threads;
        if (policy == SCHED_FIFO || policy == SCHED_RR) {
            QFile comm(tasks + QLatin1Char('/') + tid + QStringLiteral("/comm"));
            comm.open(QIODevice::ReadOnly);
            real_time.append(QStringLiteral("%1 %2").arg(QString::fromUtf8(comm.readAll().trimmed()),
                                                         policy == SCHED_FIFO ? QStringLiteral("SCHED_FIFO")
                                                                              : QStringLiteral("SCHED_RR")));
        }
    }
    if (real_time.isEmpty())
        return QStringLiteral("all %1 threads SCHED_OTHER").arg(threads);
    return real_time.join(QStringLiteral(", ")) +
           QStringLiteral("; %1 others SCHED_OTHER").arg(threads - real_time.size());
}

// One user's desk: a folder the user owns for HOME and the runtime folder, its PulseAudio (which
// also lets the bench's devices and peer in), and the program's provisioning file.
class Desk
{
public:
    Desk(const User& user, const QString& prefix) : user(user), prefix(prefix)
    {
        QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFileDevice::ExeOther |
                                              QFileDevice::ReadOther | QFileDevice::ExeGroup);
        for (const char* sub : {"home", "run", "config/velora-softphone"})
            QDir(dir.path()).mkpath(QString::fromLatin1(sub));
        for (const char* sub : {"home", "run", "config", "config/velora-softphone"})
            ::chown(dir.filePath(QString::fromLatin1(sub)).toLocal8Bit().constData(), user.uid, user.gid);
        QFile::setPermissions(dir.filePath(QStringLiteral("run")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const QString display_auth = qEnvironmentVariable("XAUTHORITY");
        if (!display_auth.isEmpty() && QFile::copy(display_auth, home(QStringLiteral(".Xauthority"))))
            ::chown(home(QStringLiteral(".Xauthority")).toLocal8Bit().constData(), user.uid, user.gid);
    }
    ~Desk() { end(pulse); }

    QString home(const QString& file = QString()) const
    {
        return dir.filePath(QStringLiteral("home")) + (file.isEmpty() ? QString() : QLatin1Char('/') + file);
    }
    QString pulse_server() const
    {
        return QStringLiteral("unix:") + dir.filePath(QStringLiteral("run/pulse/native"));
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env;
        for (const char* name : {"PATH", "DISPLAY", "LANG"}) {
            if (qEnvironmentVariableIsSet(name))
                env.insert(QString::fromLatin1(name), qEnvironmentVariable(name));
        }
        if (!env.contains(QStringLiteral("DISPLAY")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        else if (QFile::exists(home(QStringLiteral(".Xauthority"))))
            env.insert(QStringLiteral("XAUTHORITY"), home(QStringLiteral(".Xauthority")));
        env.insert(QStringLiteral("HOME"), home());
        env.insert(QStringLiteral("USER"), user.name);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("run")));
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("PULSE_SERVER"), pulse_server());
        return env;
    }

    // PulseAudio as the user runs it, with a null sink as the desk's default output.
    bool start_sound_server()
    {
        pulse.setProcessEnvironment(environment());
        pulse.setStandardOutputFile(dir.filePath(QStringLiteral("pulseaudio.log")));
        pulse.setProcessChannelMode(QProcess::MergedChannels);
        start_as(pulse, user, QStringLiteral("pulseaudio"),
                 {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                  QStringLiteral("--exit-idle-time=-1"),
                  QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1"),
                  QStringLiteral("--load=module-null-sink sink_name=nullsink"),
                  QStringLiteral("--load=module-always-sink")});
        if (!pulse.waitForStarted(5000))
            return false;
        qputenv("PULSE_SERVER", pulse_server().toUtf8()); // the bench's devices and peer
        return wait_until([] { return !run_pactl({QStringLiteral("info")}).isEmpty(); }, 10000);
    }
    qint64 sound_server_pid() const { return pulse.processId(); }

    void provision(int registrar_port, const Devices& devices)
    {
        QFile file(dir.filePath(QStringLiteral("config/velora-softphone/provisioning.ini")));
        file.open(QIODevice::WriteOnly);
        QTextStream(&file) << "[account]\naddress = 127.0.0.1\nport = " << registrar_port
                           << "\nuserId = 100\npassword = secret\n[media]\nplayback = "
                           << devices.phone_speaker.device()
                           << "\nringback = " << devices.phone_speaker.device()
                           << "\ncapture = " << devices.phone_mic.device() << "\n";
    }

    QString program() const { return prefix + QStringLiteral("/bin/velora-softphone"); }
    void start(QProcess& process, const QString& program, const QStringList& arguments) const
    {
        process.setProcessEnvironment(environment());
        process.setWorkingDirectory(home());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardOutputFile(QProcess::nullDevice());
        start_as(process, user, program, arguments);
    }
    // A later start of the program hands the command to the running one, as a CRM's link does.
    bool command(const QString& command) const
    {
        QProcess messenger;
        start(messenger, program(), {command});
        return messenger.waitForFinished(20000) && messenger.exitCode() == 0;
    }

    const User user;

private:
    QTemporaryDir dir;
    const QString prefix;
    QProcess pulse;
};

// A phone in the call, as the bench drives it: `call` returns once the peer answered.
struct Phone
{
    std::function<bool()> call;
    std::function<void()> hang_up;
    qint64 pid;
};

struct Cell
{
    QList<double> incoming, outgoing; // per call: the median of its bursts, ms
    QString policies;                 // of the phone's threads during the first call
};

void measure_call(Devices& devices, Phone& phone, PeerCore& peer, Cell& cell)
{
    QList<double> incoming, outgoing;
    if (phone.call() && wait_until([&] { return peer.active_calls() == 1; }, 15000)) {
        wait_events(1000);
        if (cell.policies.isEmpty())
            cell.policies = thread_policies(phone.pid);
        for (int burst = 0; burst < BURSTS; ++burst) {
            incoming.append(double(devices.peer_mic.burst_to(devices.phone_speaker, 1000, LEVEL).delay_ms));
            outgoing.append(double(devices.phone_mic.burst_to(devices.peer_speaker, 1000, LEVEL).delay_ms));
        }
    }
    cell.incoming.append(median(incoming));
    cell.outgoing.append(median(outgoing));
    phone.hang_up();
    wait_until([&] { return peer.active_calls() == 0; }, 10000);
    wait_events(500);
}

// Two busy cores, run by another user in a session of its own, while `work` runs.
void under_load(const User& neighbour, const std::function<void()>& work)
{
    QProcess stress;
    stress.setStandardOutputFile(QProcess::nullDevice());
    stress.start(QStringLiteral("setsid"),
                 as_user(neighbour, QStringLiteral("stress-ng"),
                         {QStringLiteral("--cpu"), QStringLiteral("2"), QStringLiteral("--timeout"),
                          QStringLiteral("900s"), QStringLiteral("--quiet")}));
    if (!stress.waitForStarted(5000))
        return;
    wait_events(2000);
    work();
    end(stress); // stress-ng ends its workers on SIGTERM
}

QString figure(const QList<double>& calls)
{
    QList<double> heard = calls;
    heard.removeAll(-1);
    if (heard.isEmpty())
        return QStringLiteral("not heard");
    std::sort(heard.begin(), heard.end());
    return QStringLiteral("%1 ms (%2–%3)")
        .arg(median(calls), 0, 'f', 0)
        .arg(heard.first(), 0, 'f', 0)
        .arg(heard.last(), 0, 'f', 0);
}

QString per_call(const QList<double>& calls)
{
    QStringList parts;
    for (double value : calls)
        parts.append(value < 0 ? QStringLiteral("–") : QString::number(value, 'f', 0));
    return parts.join(QLatin1Char(' '));
}

struct Row
{
    QString condition;
    Cell phone, linphonec;
    QString sound_server;
};

// One user's four cells: idle and loaded, the program and linphonec taking turns.
bool measure_user(const User& user, const User& neighbour, const QString& prefix, KamailioRunner& registrar,
                  int calls, QList<Row>& rows)
{
    Desk desk(user, prefix);
    if (!desk.start_sound_server()) {
        std::printf("desk %s: PulseAudio did not start\n", qPrintable(user.name));
        return false;
    }
    Devices devices;
    if (!devices.ready()) {
        std::printf("desk %s: the null sinks could not be set up\n", qPrintable(user.name));
        return false;
    }
    PeerCore peer(devices.peer_speaker.device(), devices.peer_mic.device());
    const QString peer_number = QStringLiteral("9%1").arg(
        peer.uri(QString()).section(QLatin1Char(':'), -1).toInt(), 5, 10, QLatin1Char('0'));
    desk.provision(registrar.port(), devices);

    QProcess program;
    desk.start(program, desk.program(), {});
    const int before = registrar.registration_count(QStringLiteral("100"));
    if (!wait_until([&] { return registrar.registration_count(QStringLiteral("100")) > before; }, 30000)) {
        std::printf("desk %s: the program did not register\n%s\n", qPrintable(user.name),
                    qPrintable(registrar.log()));
        return false;
    }
    Phone phone{[&] { return desk.command(QStringLiteral("call&") + peer_number); },
                [&] { desk.command(QStringLiteral("hangup")); }, program.processId()};

    QFile config(desk.home(QStringLiteral("linphonerc")));
    config.open(QIODevice::WriteOnly);
    QTextStream(&config) << "[sip]\nsip_port=-1\nsip_tcp_port=0\nsip_tls_port=0\n\n"
                         << "[rtp]\naudio_rtp_port=-1\nvideo_rtp_port=-1\n\n"
                         << "[sound]\nplayback_dev_id=" << devices.phone_speaker.device()
                         << "\nringer_dev_id=" << devices.phone_speaker.device()
                         << "\ncapture_dev_id=" << devices.phone_mic.device() << "\n";
    config.close();
    ::chown(config.fileName().toLocal8Bit().constData(), user.uid, user.gid);
    for (const char* sub : {".local", ".local/share", ".local/share/linphone"}) { // where it keeps its calls
        QDir().mkpath(desk.home(QString::fromLatin1(sub)));
        ::chown(desk.home(QString::fromLatin1(sub)).toLocal8Bit().constData(), user.uid, user.gid);
    }
    QProcess linphonec;
    desk.start(linphonec, QStringLiteral("linphonec"), {QStringLiteral("-c"), config.fileName()});
    wait_events(2000);
    const QByteArray target =
        QStringLiteral("call sip:%1@127.0.0.1:%2\n").arg(peer_number).arg(registrar.port()).toUtf8();
    Phone theirs{[&] { return linphonec.write(target) > 0; }, [&] { linphonec.write("terminate\n"); },
                 linphonec.processId()};

    const auto turns = [&](Row& row) {
        for (int call = 0; call < calls; ++call) {
            measure_call(devices, phone, peer, row.phone);
            measure_call(devices, theirs, peer, row.linphonec);
        }
        row.sound_server = thread_policies(desk.sound_server_pid());
    };
    const QString who = user.uid == 0 ? QStringLiteral("root") : QStringLiteral("ordinary user");
    Row idle{who + QStringLiteral(", idle"), {}, {}, {}};
    turns(idle);
    Row loaded{who + QStringLiteral(", stress-ng --cpu 2"), {}, {}, {}};
    under_load(neighbour, [&] { turns(loaded); });
    rows << idle << loaded;

    linphonec.write("quit\n");
    if (!linphonec.waitForFinished(5000))
        end(linphonec);
    end(program);
    return true;
}

} // namespace

int run_desk(int calls)
{
    if (::geteuid() != 0) {
        std::printf(
            "audio delay, desk mode: run it as root; it creates the user %s and runs the program as it\n",
            DESK_USER);
        return 1;
    }
    User root{QStringLiteral("root"), 0, 0}, desk_user, neighbour;
    if (!find_or_create_user(QString::fromLatin1(DESK_USER), &desk_user) ||
        !find_or_create_user(QString::fromLatin1(LOAD_USER), &neighbour)) {
        std::printf("audio delay, desk mode: the users %s and %s could not be made\n", DESK_USER, LOAD_USER);
        return 1;
    }
    // The installed program, as a package puts it on a desk.
    QTemporaryDir install;
    QFile::setPermissions(install.path(), QFile::permissions(install.path()) | QFileDevice::ExeOther |
                                              QFileDevice::ReadOther);
    const QString prefix = install.filePath(QStringLiteral("prefix"));
    QProcess installer;
    installer.setStandardOutputFile(QProcess::nullDevice());
    installer.start(QStringLiteral("cmake"), {QStringLiteral("--install"), QStringLiteral(VELORA_BUILD_DIR),
                                              QStringLiteral("--prefix"), prefix});
    if (!installer.waitForFinished(120000) || installer.exitCode() != 0) {
        std::printf("audio delay, desk mode: cmake --install failed\n");
        return 1;
    }
    KamailioRunner registrar;
    if (!registrar.start()) {
        std::printf("audio delay, desk mode: Kamailio did not start\n");
        return 1;
    }

    QList<Row> rows;
    for (const User& user : {root, desk_user}) {
        if (!measure_user(user, neighbour, prefix, registrar, calls, rows))
            return 1;
    }

    std::printf(
        "The installed program and linphonec as a desk runs them, %d calls a cell taking turns, each call "
        "the median of %d bursts each way (ulimit -r of the ordinary user: 0, no rtkit):\n\n",
        calls, BURSTS);
    std::printf(
        "| Condition | caller -> operator: phone | linphonec | operator -> caller: phone | linphonec |\n"
        "|---|---|---|---|---|\n");
    for (const Row& row : rows)
        std::printf("| %s | %s | %s | %s | %s |\n", qPrintable(row.condition),
                    qPrintable(figure(row.phone.incoming)), qPrintable(figure(row.linphonec.incoming)),
                    qPrintable(figure(row.phone.outgoing)), qPrintable(figure(row.linphonec.outgoing)));
    std::printf(
        "\nPer call (ms, caller -> operator / operator -> caller), worst call, threads during a call:\n");
    for (const Row& row : rows) {
        std::printf("%s\n  phone: %s / %s; worst %s / %s ms; %s\n  linphonec: %s / %s; worst %s / %s ms; %s\n"
                    "  PulseAudio: %s\n",
                    qPrintable(row.condition), qPrintable(per_call(row.phone.incoming)),
                    qPrintable(per_call(row.phone.outgoing)),
                    qPrintable(QString::number(
                        *std::max_element(row.phone.incoming.begin(), row.phone.incoming.end()))),
                    qPrintable(QString::number(
                        *std::max_element(row.phone.outgoing.begin(), row.phone.outgoing.end()))),
                    qPrintable(row.phone.policies), qPrintable(per_call(row.linphonec.incoming)),
                    qPrintable(per_call(row.linphonec.outgoing)),
                    qPrintable(QString::number(
                        *std::max_element(row.linphonec.incoming.begin(), row.linphonec.incoming.end()))),
                    qPrintable(QString::number(
                        *std::max_element(row.linphonec.outgoing.begin(), row.linphonec.outgoing.end()))),
                    qPrintable(row.linphonec.policies), qPrintable(row.sound_server));
    }
    // The cells' ratios: the program against linphonec, and loaded against idle.
    for (int i = 0; i + 1 < rows.size(); i += 2) {
        const double idle = median(rows[i].phone.incoming), loaded = median(rows[i + 1].phone.incoming);
        std::printf("%s: phone / linphonec %.2f idle, %.2f loaded (target <= 1.0); loaded / idle %.2f "
                    "(target <= 1.5)\n",
                    qPrintable(rows[i].condition.section(QLatin1Char(','), 0, 0)),
                    idle / median(rows[i].linphonec.incoming),
                    loaded / median(rows[i + 1].linphonec.incoming), loaded / idle);
    }
    return 0;
}

} // namespace audio_bench
