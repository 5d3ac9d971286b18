// What watching colleagues costs an idle desk: the engine registered at Kamailio (with its
// presence modules) and idle, once with no colleague and once with 32 subscriptions to their
// dialog state; the CPU time and the wake-ups (context switches of this process's threads) of each
// period, and their ratios. Then a colleague's phone that storms the desk with 1001 NOTIFYs as fast
// as they are answered: their time, the CPU the desk spent on them, and whether the lamp ended as
// the last one said. Not a test: it prints figures.
//   bench_phone_colleagues [idle seconds]

#include "data/colleagues.h"
#include "enginefixture.h"
#include "phone/colleaguewatch.h"
#include "support/kamailiorunner.h"
#include "support/procstats.h"
#include "support/sipprunner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>

#include <cstdio>
#include <unistd.h>

namespace {

struct Idle
{
    bool ready = false;
    int lamps_lit = 0;
    double cpu_s = 0;
    qint64 switches = 0;
};

Idle measure(KamailioRunner& server, int colleague_count, int seconds)
{
    QList<Colleague> list;
    for (int i = 0; i < colleague_count; ++i)
        list.append({QStringLiteral("席%1").arg(i), QString::number(7000 + i)});
    EngineFixture fixture;
    fixture.set_account(QStringLiteral("127.0.0.1"), server.port(), QStringLiteral("1001"),
                        QStringLiteral("secret"));
    fixture.set_other({{colleagues::KEY, colleagues::to_text(list)}});
    ZimPhone* phone = fixture.start();
    QSet<QString> lit;
    QObject::connect(phone->colleague_watch(), &ColleagueWatch::signal_colleague_lamp, &fixture,
                     [&lit](QString extension, int lamp) {
                         if (lamp == int(Lamp::Free))
                             lit.insert(extension);
                     });
    Idle idle;
    idle.ready = fixture.wait_for(QStringLiteral("registration:sucessful/1001"), 15000) &&
                 fixture.wait_until([&] { return lit.size() == colleague_count; }, 15000);
    idle.lamps_lit = lit.size();
    fixture.settle(3000); // the loop has gone quiet
    const qint64 pid = QCoreApplication::applicationPid();
    const double cpu_before = procstats::cpu_seconds(pid);
    const QMap<qint64, qint64> switches_before = procstats::thread_switches(pid);
    ::sleep(static_cast<unsigned>(seconds)); // this thread sleeps; only the engine works
    idle.cpu_s = procstats::cpu_seconds(pid) - cpu_before;
    idle.switches = procstats::switches_between(switches_before, procstats::thread_switches(pid));
    fixture.stop();
    return idle;
}

struct Storm
{
    bool done = false;
    double seconds = 0;
    double cpu_s = 0;
    int lamp_signals = 0;
    int last_lamp = -1;
    qint64 last_signal_ms = 0;
};

Storm measure_storm(KamailioRunner& server)
{
    Storm storm;
    SippRunner desk(QStringLiteral("uas_storms_dialog_state.xml"));
    if (!desk.start())
        return storm;
    const QString extension = QStringLiteral("8%1").arg(desk.port(), 5, 10, QLatin1Char('0'));
    EngineFixture fixture;
    fixture.set_account(QStringLiteral("127.0.0.1"), server.port(), QStringLiteral("1001"),
                        QStringLiteral("secret"));
    fixture.set_other({{colleagues::KEY, colleagues::to_text({{QStringLiteral("嵐"), extension}})}});
    QElapsedTimer timer;
    timer.start();
    const qint64 pid = QCoreApplication::applicationPid();
    const double cpu_before = procstats::cpu_seconds(pid);
    ZimPhone* phone = fixture.start();
    QObject::connect(phone->colleague_watch(), &ColleagueWatch::signal_colleague_lamp, &fixture,
                     [&storm, &timer](QString, int lamp) {
                         ++storm.lamp_signals;
                         storm.last_signal_ms = timer.elapsed();
                         storm.last_lamp = lamp;
                     });
    // Every NOTIFY of the storm turns the lamp (busy, free, … busy). It is over once the lamp is
    // busy after most of them and nothing followed for a second (times count from the desk's start).
    storm.done = fixture.wait_until(
        [&] {
            return storm.lamp_signals >= 900 && storm.last_lamp == int(Lamp::Busy) &&
                   timer.elapsed() - storm.last_signal_ms > 1000;
        },
        60000);
    storm.seconds = storm.last_signal_ms / 1000.0;
    storm.cpu_s = procstats::cpu_seconds(pid) - cpu_before;
    fixture.settle(200);
    fixture.stop();
    return storm;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    const int seconds = argc > 1 ? std::max(5, atoi(argv[1])) : 30;
    KamailioRunner server;
    server.define(QStringLiteral("WITH_PRESENCE"));
    if (!server.start()) {
        std::printf("Kamailio did not start\n");
        return 1;
    }
    const Idle none = measure(server, 0, seconds);
    const Idle watched = measure(server, colleagues::MAX, seconds);
    std::printf("Idle %d s, registered at Kamailio:\n", seconds);
    std::printf("  no colleague:    CPU %.3f s (%.2f%%), wake-ups %lld (%.1f/s)\n", none.cpu_s,
                100.0 * none.cpu_s / seconds, static_cast<long long>(none.switches),
                double(none.switches) / seconds);
    std::printf("  %d colleagues:   CPU %.3f s (%.2f%%), wake-ups %lld (%.1f/s), lamps lit %d\n",
                colleagues::MAX, watched.cpu_s, 100.0 * watched.cpu_s / seconds,
                static_cast<long long>(watched.switches), double(watched.switches) / seconds,
                watched.lamps_lit);
    std::printf("  ratio 32 / none: CPU %.2fx, wake-ups %.2fx\n",
                none.cpu_s > 0 ? watched.cpu_s / none.cpu_s : -1.0,
                none.switches > 0 ? double(watched.switches) / double(none.switches) : -1.0);
    const Storm storm = measure_storm(server);
    std::printf("Storm of 1001 NOTIFYs from one colleague: %s in %.2f s, desk CPU %.3f s (%.2f ms a NOTIFY, "
                "%.0f%% of one core), %d lamp signals, last lamp %s (want busy)\n",
                storm.done ? "over" : "NOT over", storm.seconds, storm.cpu_s, 1000.0 * storm.cpu_s / 1001,
                storm.seconds > 0 ? 100.0 * storm.cpu_s / storm.seconds : 0.0, storm.lamp_signals,
                storm.last_lamp == int(Lamp::Busy) ? "busy" : "WRONG");
    return none.ready && watched.ready && storm.done && storm.last_lamp == int(Lamp::Busy) ? 0 : 1;
}
