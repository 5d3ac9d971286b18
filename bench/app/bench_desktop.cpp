// This program next to the desktop SIP phones Debian ships, as an operator meets them: each started
// with a fresh HOME, private temporary files, no account and a private session bus
// (dbus-run-session), under the display and sound server this bench runs with. One program at a
// time, the next only once every process and window of the last is gone; the runs alternate
// between the programs. Median of 3 runs:
//   first window shown   from the start until a window of the program is visible (xdotool);
//   RSS, PSS             of the program and its children 10 s after the start (/proc: status,
//                        smaps_rollup; PSS splits each shared page among the processes mapping it);
//   idle CPU             of the same processes over the following 30 s (/proc);
//   wake-ups             over the same 30 s: the context switches of all their threads per second,
//                        voluntary (a thread slept and woke up) plus involuntary (it was preempted).
// The peers: linphone-desktop (the same SIP library), twinkle with a profile that registers nowhere,
// and baresip with its GTK front-end. That front-end is a tray icon only and no tray runs on the
// bench's display, so for baresip the first window counts when the icon's window is created.
// For this program it also prints what is resident at 10 s by mapped file (median RSS run).
// Run under Xvfb with a PulseAudio null sink:
//   source scripts/common.sh; ensure_sound_server
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/app/bench_desktop
#include "support/peerphone.h"
#include "support/procstats.h"
#include "support/programrunner.h"
#include "support/sipprunner.h"
#include "support/soundserver.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <signal.h>

#include <X11/Xlib.h> // last: its macros would clash with Qt's names

namespace {

const int RUNS = 3;
const int SETTLE_MS = 10000;
const int IDLE_MS = 30000;
const int WINDOW_TIMEOUT_MS = 30000;
const int GONE_TIMEOUT_MS = 20000;
const int TOP_MAPPINGS = 15;

struct Sample
{
    double window_s = -1;
    double rss_mb = -1;
    double pss_mb = -1;
    double cpu_percent = -1;
    double wakeups = -1;
    QList<procstats::Mapping> mappings; // this program only
};

struct Program
{
    const char* name;
    QString executable; // empty: this program, from a private copy
    bool icon_only = false;
    // Lays the first-run state into the fresh HOME; returns the arguments.
    std::function<QStringList(const QString& home)> prepare;
};

void write_file(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
}

// A profile that registers nowhere, so twinkle opens its main window instead of asking for one.
QStringList prepare_twinkle(const QString& home)
{
    write_file(home + QStringLiteral("/.twinkle/bench.cfg"),
               "user_name=operator\nuser_domain=127.0.0.1\nregister_at_startup=no\n");
    return {QStringLiteral("-f"),         QStringLiteral("bench"),
            QStringLiteral("--sip-port"), QString::number(free_udp_port()),
            QStringLiteral("--rtp-port"), QString::number(free_udp_port())};
}

// The modules of the configuration baresip writes on its first start, with the GTK front-end in place
// of the terminal one and the sound server in place of ALSA; no account. baresip finds its home
// through the login name, which the bench may lack, so the folder is named.
QStringList prepare_baresip(const QString& home)
{
    const QString dir = home + QStringLiteral("/.baresip");
    const QByteArray listen = "127.0.0.1:" + QByteArray::number(free_udp_port());
    write_file(dir + QStringLiteral("/config"), "poll_method epoll\nsip_listen " + listen +
                                                    "\naudio_player pulse,\naudio_source pulse,\n"
                                                    "audio_alert pulse,\n"
                                                    "module_path /usr/lib/baresip/modules\n"
                                                    "module g711.so\nmodule pulse.so\nmodule stun.so\n"
                                                    "module turn.so\nmodule ice.so\n"
                                                    "module_tmp uuid.so\nmodule_tmp account.so\n"
                                                    "module_app auloop.so\nmodule_app contact.so\n"
                                                    "module_app debug_cmd.so\nmodule_app menu.so\n"
                                                    "module_app vidloop.so\nmodule_app gtk.so\n");
    write_file(dir + QStringLiteral("/accounts"), "");
    return {QStringLiteral("-f"), dir};
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? -1 : values[values.size() / 2];
}

// The program under dbus-run-session, once it runs its own executable (the session's children
// start as copies of it).
qint64 program_pid(qint64 session_pid, const QString& executable)
{
    const QString wanted = QFileInfo(executable).canonicalFilePath();
    for (qint64 pid : procstats::tree(session_pid)) {
        if (pid != session_pid &&
            QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).canonicalFilePath() == wanted)
            return pid;
    }
    return 0;
}

bool has_window(qint64 pid, bool visible_only)
{
    QStringList args{QStringLiteral("search"), QStringLiteral("--pid"), QString::number(pid)};
    if (visible_only)
        args.insert(1, QStringLiteral("--onlyvisible"));
    QProcess search;
    search.start(QStringLiteral("xdotool"), args);
    search.waitForFinished(5000);
    return !search.readAllStandardOutput().trimmed().isEmpty();
}

QMap<qint64, qint64> tree_switches(const QList<qint64>& pids)
{
    QMap<qint64, qint64> switches;
    for (qint64 pid : pids)
        switches.insert(procstats::thread_switches(pid));
    return switches;
}

// Ends the program and whatever it started, each by its PID, then the session bus; returns once
// every process of the session and every window they owned is gone.
void end_tree(QProcess& session, qint64 pid)
{
    const QList<qint64> all = procstats::tree(session.processId());
    const QList<qint64> pids = pid > 0 ? procstats::tree(pid) : QList<qint64>();
    for (qint64 each : pids)
        ::kill(pid_t(each), SIGTERM);
    if (!session.waitForFinished(10000)) {
        for (qint64 each : procstats::tree(pid))
            ::kill(pid_t(each), SIGKILL);
        session.kill();
        session.waitForFinished(5000);
    }
    QDeadlineTimer deadline(GONE_TIMEOUT_MS);
    for (qint64 each : all) {
        while (!deadline.hasExpired() && (procstats::running(each) || has_window(each, false)))
            QThread::msleep(100);
    }
    if (deadline.hasExpired())
        std::fprintf(stderr, "a process or window of the last program outlived %d s\n",
                     GONE_TIMEOUT_MS / 1000);
}

Sample measure(const QString& executable, const QStringList& args, const QString& home, const QString& log,
               bool icon_only, bool mappings)
{
    QProcessEnvironment env = fresh_home_environment(home);
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")); // the session's own bus comes in its place
    QProcess session;
    session.setProcessEnvironment(env);
    session.setProcessChannelMode(QProcess::MergedChannels);
    session.setStandardOutputFile(log, QIODevice::Append); // the programs' log lines stay off the terminal
    Sample sample;
    QElapsedTimer clock;
    clock.start();
    session.start(QStringLiteral("dbus-run-session"), QStringList{QStringLiteral("--"), executable} + args);
    if (!session.waitForStarted(10000))
        return sample;
    qint64 pid = 0;
    while (clock.elapsed() < WINDOW_TIMEOUT_MS) {
        if (!pid)
            pid = program_pid(session.processId(), executable);
        if (pid && has_window(pid, !icon_only)) {
            sample.window_s = clock.nsecsElapsed() / 1e9;
            break;
        }
        QThread::msleep(10);
    }
    if (sample.window_s >= 0) {
        QThread::msleep(qMax<qint64>(0, SETTLE_MS - clock.elapsed()));
        const QList<qint64> pids = procstats::tree(pid);
        qint64 rss = 0, pss = 0;
        QMap<QString, procstats::Mapping> by_path;
        for (qint64 each : pids) {
            rss += procstats::rss_kb(each);
            pss += procstats::pss_kb(each);
            if (mappings)
                procstats::add_mappings(each, by_path);
        }
        sample.rss_mb = rss / 1024.0;
        sample.pss_mb = pss / 1024.0;
        sample.mappings = procstats::by_rss(by_path).mid(0, TOP_MAPPINGS);
        const double before = procstats::cpu_seconds(pids);
        const QMap<qint64, qint64> switches = tree_switches(pids);
        QThread::msleep(IDLE_MS);
        sample.cpu_percent = 100.0 * (procstats::cpu_seconds(pids) - before) / (IDLE_MS / 1000.0);
        sample.wakeups = procstats::switches_between(switches, tree_switches(pids)) / (IDLE_MS / 1000.0);
    }
    end_tree(session, pid);
    return sample;
}

struct Figure
{
    const char* name;
    const char* unit;
    int decimals;
    double Sample::*field;
    const char* target;
};

double column(const QList<Sample>& samples, double Sample::*field)
{
    QList<double> values;
    for (const Sample& sample : samples)
        values.append(sample.*field);
    return median(values);
}

// Each program's median, then this program's against each peer's (this program / peer).
void print_table(const QList<Program>& programs, const QVector<QList<Sample>>& samples)
{
    const Figure figures[] = {
        {"first window shown", "s", 2, &Sample::window_s, "<= 0.3 linphone-desktop"},
        {"RSS of the process tree after 10 s", "MB", 1, &Sample::rss_mb,
         "<= 0.35 linphone-desktop, <= 0.7 twinkle"},
        {"PSS of the process tree after 10 s", "MB", 1, &Sample::pss_mb, "-"},
        {"idle CPU over 30 s", "%", 3, &Sample::cpu_percent, "<= 0.5 linphone-desktop"},
        {"wake-ups over 30 s", "/s", 2, &Sample::wakeups, "-"},
    };
    std::printf("Median of %d runs, no account, fresh HOME, private session bus\n| %-34s |", RUNS, "");
    for (const Program& program : programs)
        std::printf(" %16s |", program.name);
    for (int i = 1; i < programs.size(); ++i)
        std::printf(" / %-16s |", programs[i].name);
    std::printf(" target\n");
    for (const Figure& figure : figures) {
        std::printf("| %-34s |", figure.name);
        const double ours = column(samples[0], figure.field);
        for (const QList<Sample>& each : samples) {
            const double value = column(each, figure.field);
            if (value >= 0)
                std::printf(" %13.*f %-2s |", figure.decimals, value, figure.unit);
            else
                std::printf(" %16s |", "n/a"); // the program never showed a window
        }
        for (int i = 1; i < samples.size(); ++i) {
            const double theirs = column(samples[i], figure.field);
            if (theirs > 0 && ours >= 0)
                std::printf(" %18.2f |", ours / theirs);
            else
                std::printf(" %18s |", "n/a");
        }
        std::printf(" %s\n", figure.target);
    }
}

// What this program holds resident at 10 s by mapped file, in the run of median RSS.
void print_mappings(const QList<Sample>& ours)
{
    const double rss = column(ours, &Sample::rss_mb);
    for (const Sample& sample : ours) {
        if (sample.rss_mb != rss)
            continue;
        std::printf("This program at 10 s, resident by mapping (top %d of the tree, run of median RSS):\n",
                    TOP_MAPPINGS);
        std::printf("| %9s | %9s | %s\n", "RSS MB", "PSS MB", "mapping");
        for (const procstats::Mapping& mapping : sample.mappings)
            std::printf("| %9.2f | %9.2f | %s\n", mapping.rss_kb / 1024.0, mapping.pss_kb / 1024.0,
                        qPrintable(mapping.path));
        return;
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QList<Program> programs{
        {"this program", QString(), false, nullptr},
        {"linphone-desktop", QStringLiteral("/usr/bin/linphone"), false,
         [](const QString&) { return QStringList(); }},
        {"twinkle", QStringLiteral("/usr/bin/twinkle"), false, prepare_twinkle},
        {"baresip-gtk", QStringLiteral("/usr/bin/baresip"), true, prepare_baresip},
    };
    bool ready = !qEnvironmentVariableIsEmpty("DISPLAY") &&
                 QFileInfo::exists(QStringLiteral("/usr/lib/baresip/modules/gtk.so"));
    for (const Program& program : programs)
        ready = ready && (program.executable.isEmpty() || QFileInfo::exists(program.executable));
    if (!ready) {
        std::printf("needs a display (xvfb-run), linphone-desktop, twinkle and baresip-gtk "
                    "(scripts/setup-deps test)\n");
        return 1;
    }
    // An X server resets when its last client leaves, and a program that connects meanwhile finds
    // no display: this connection stays open so the display outlives each program.
    Display* const display = XOpenDisplay(nullptr);
    pin_sound_server(); // every program reaches this sound server from its fresh HOME
    const QString logs = QDir::temp().filePath(QStringLiteral("bench_desktop-logs"));
    QDir(logs).removeRecursively();
    QDir().mkpath(logs);

    QVector<QList<Sample>> samples(programs.size());
    for (int run = 0; run < RUNS; ++run) { // alternating, so all meet the same machine
        for (int i = 0; i < programs.size(); ++i) {
            const Program& program = programs[i];
            const QString log = logs + QStringLiteral("/%1-%2.log").arg(QLatin1String(program.name)).arg(run);
            if (program.executable.isEmpty()) {
                ProgramRunner runner; // a private copy: its data/ holds no account
                samples[i].append(measure(runner.executable_path(), {}, runner.dir(), log, false, true));
            } else {
                QTemporaryDir home;
                samples[i].append(measure(program.executable, program.prepare(home.path()), home.path(), log,
                                          program.icon_only, false));
            }
            std::fprintf(stderr, "run %d/%d: %s %s\n", run + 1, RUNS, program.name,
                         samples[i].last().window_s < 0 ? "showed no window (see its log)" : "done");
        }
    }
    print_table(programs, samples);
    print_mappings(samples[0]);
    std::printf("Program output: %s\n", qPrintable(logs));
    if (display)
        XCloseDisplay(display);
    return 0;
}
