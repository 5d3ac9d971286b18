// Times the messenger round trip (a later start hands a command to the running instance, waits
// for "OK" and exits) against starting and ending a minimal Qt Core program, in the same run.
#include "support/programrunner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double run_minimal()
{
    QElapsedTimer clock;
    clock.start();
    QProcess::execute(QStringLiteral(VELORA_MINIMAL_QTCORE), {QStringLiteral("x")});
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const int rounds = argc > 1 ? QString::fromUtf8(argv[1]).toInt() : 100;

    ProgramRunner runner;
    runner.keep_output_in_file(); // the program's log lines stay off the terminal
    if (!runner.start_first()) {
        out << "the first instance did not start\n";
        return 1;
    }
    std::vector<double> messenger, minimal;
    for (int i = 0; i < 10; ++i) { // warm the caches of both
        runner.run_messenger({QStringLiteral("warmup")});
        run_minimal();
    }
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer clock;
        clock.start();
        runner.run_messenger({QStringLiteral("unhold")}); // a no-op while idle: the channel alone
        messenger.push_back(clock.nsecsElapsed() / 1e6);
        minimal.push_back(run_minimal());
    }
    const double m = median(messenger), r = median(minimal);
    out << QStringLiteral("messenger round trip: median %1 ms over %2 runs\n").arg(m, 0, 'f', 2).arg(rounds);
    out << QStringLiteral("minimal Qt Core start and exit: median %1 ms\n").arg(r, 0, 'f', 2);
    out << QStringLiteral("ratio: %1 (target <= 1.2)\n").arg(m / r, 0, 'f', 2);
    return 0;
}
