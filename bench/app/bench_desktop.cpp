// This program next to Debian's linphone-desktop, another desktop SIP phone on the same library,
// as an operator meets them: each started with a fresh HOME, no account and a private session bus
// (dbus-run-session), under the display and sound server this bench runs with. Median of 3 runs:
//   first window shown   from the start until a window of the program is visible (xdotool);
//   RSS                  of the program and its children 10 s after the start (/proc);
//   idle CPU             of the same processes over the following 30 s (/proc).
// Run under Xvfb with a PulseAudio null sink:
//   source scripts/common.sh; ensure_sound_server
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/app/bench_desktop
#include "support/procstats.h"
#include "support/programrunner.h"
#include "support/soundserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <signal.h>

namespace {

const int RUNS = 3;
const int SETTLE_MS = 10000;
const int IDLE_MS = 30000;
const int WINDOW_TIMEOUT_MS = 30000;
const QString REFERENCE = QStringLiteral("/usr/bin/linphone");

struct Sample
{
    double window_s = -1;
    double rss_mb = -1;
    double cpu_percent = -1;
};

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

bool window_visible(qint64 pid)
{
    QProcess search;
    search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                             QStringLiteral("--pid"), QString::number(pid)});
    search.waitForFinished(5000);
    return !search.readAllStandardOutput().trimmed().isEmpty();
}

double tree_cpu(const QList<qint64>& pids)
{
    double total = 0;
    for (qint64 pid : pids)
        total += procstats::cpu_seconds(pid);
    return total;
}

// Ends the program and whatever it started, each by its PID, then the session bus.
void end_tree(QProcess& session, qint64 pid)
{
    const QList<qint64> pids = pid > 0 ? procstats::tree(pid) : QList<qint64>();
    for (qint64 each : pids)
        ::kill(pid_t(each), SIGTERM);
    if (!session.waitForFinished(10000)) {
        for (qint64 each : procstats::tree(pid))
            ::kill(pid_t(each), SIGKILL);
        session.kill();
        session.waitForFinished(5000);
    }
}

Sample measure(const QString& executable, const QString& home, const QString& log)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    // Private temporary files too, so no single-instance name is shared with another program.
    QDir(home).mkpath(QStringLiteral("tmp"));
    env.insert(QStringLiteral("TMPDIR"), home + QStringLiteral("/tmp"));
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME",
                             "DBUS_SESSION_BUS_ADDRESS", "QT_QPA_PLATFORM", "QT_QUICK_BACKEND"})
        env.remove(QLatin1String(name));
    QProcess session;
    session.setProcessEnvironment(env);
    session.setProcessChannelMode(QProcess::MergedChannels);
    session.setStandardOutputFile(log, QIODevice::Append); // the programs' log lines stay off the terminal
    Sample sample;
    QElapsedTimer clock;
    clock.start();
    session.start(QStringLiteral("dbus-run-session"), {QStringLiteral("--"), executable});
    if (!session.waitForStarted(10000))
        return sample;
    qint64 pid = 0;
    while (clock.elapsed() < WINDOW_TIMEOUT_MS) {
        if (!pid)
            pid = program_pid(session.processId(), executable);
        if (pid && window_visible(pid)) {
            sample.window_s = clock.nsecsElapsed() / 1e9;
            break;
        }
        QThread::msleep(10);
    }
    if (sample.window_s >= 0) {
        QThread::msleep(qMax<qint64>(0, SETTLE_MS - clock.elapsed()));
        QList<qint64> pids = procstats::tree(pid);
        qint64 rss = 0;
        for (qint64 each : pids)
            rss += procstats::rss_kb(each);
        sample.rss_mb = rss / 1024.0;
        const double before = tree_cpu(pids);
        QThread::msleep(IDLE_MS);
        sample.cpu_percent = 100.0 * (tree_cpu(pids) - before) / (IDLE_MS / 1000.0);
    }
    end_tree(session, pid);
    return sample;
}

void row(const char* what, const char* unit, double ours, double theirs, const char* target)
{
    std::printf("| %-36s | %9.2f %-3s | %12.2f %-3s | %5.2f | %-7s |\n", what, ours, unit, theirs, unit,
                theirs > 0 ? ours / theirs : -1.0, target);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY") || !QFileInfo::exists(REFERENCE)) {
        std::printf("needs a display (xvfb-run) and linphone-desktop (scripts/setup-deps test)\n");
        return 1;
    }
    pin_sound_server(); // both programs reach this sound server from their fresh HOME
    const QString logs = QDir::temp().filePath(QStringLiteral("bench_desktop-logs"));
    QDir(logs).removeRecursively();
    QDir().mkpath(logs);

    QList<Sample> ours, theirs;
    for (int run = 0; run < RUNS; ++run) { // alternating, so both meet the same machine
        {
            ProgramRunner runner; // a private copy: its data/ holds no account
            ours.append(measure(runner.executable_path(), runner.dir(),
                                logs + QStringLiteral("/velora-%1.log").arg(run)));
        }
        QTemporaryDir home;
        theirs.append(measure(REFERENCE, home.path(), logs + QStringLiteral("/linphone-%1.log").arg(run)));
    }
    auto column = [](const QList<Sample>& samples, double Sample::*field) {
        QList<double> values;
        for (const Sample& sample : samples)
            values.append(sample.*field);
        return median(values);
    };
    std::printf("Median of %d runs, no account, fresh HOME, private session bus\n", RUNS);
    std::printf("| %-36s | %13s | %16s | %5s | %-7s |\n", "", "this program", "linphone-desktop", "ratio",
                "target");
    row("first window shown", "s", column(ours, &Sample::window_s), column(theirs, &Sample::window_s),
        "<= 0.3");
    row("RSS of the process tree after 10 s", "MB", column(ours, &Sample::rss_mb),
        column(theirs, &Sample::rss_mb), "<= 0.35");
    row("idle CPU over 30 s", "%", column(ours, &Sample::cpu_percent), column(theirs, &Sample::cpu_percent),
        "-");
    std::printf("Program output: %s\n", qPrintable(logs));
    return 0;
}
