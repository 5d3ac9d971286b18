// What watching colleagues costs an idle desk: the engine registered at Kamailio (with its
// presence modules) and idle, once with no colleague and once with 32 subscriptions to their
// dialog state; the CPU time and the wake-ups (context switches of this process's threads) of each
// period, and their ratios. Not a test: it prints figures.
//   bench_phone_colleagues [idle seconds]

#include "data/colleagues.h"
#include "enginefixture.h"
#include "phone/colleaguewatch.h"
#include "support/kamailiorunner.h"
#include "support/procstats.h"

#include <QCoreApplication>
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
    return none.ready && watched.ready ? 0 : 1;
}
