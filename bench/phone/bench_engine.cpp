// How quickly the engine loop reacts, and what it costs when idle.
//
// 1. request_dial -> the INVITE as logged by a sipp callee;
// 2. an INVITE sent by a sipp caller -> signal_received_dialog in this thread;
// both as medians over several rounds, printed as a ratio of the 50 ms loop period (a request wakes
// the loop: target <= 0.2; an incoming INVITE waits for the next iteration: target <= 1.2).
// 3. how long a query of the window thread waits (phase, call state, number) while the engine
// serves a burst of 1000 requests in a call, against the same query on an idle engine: the
// longest and the 99th percentile as ratios (target p99 <= 2x);
// 4. CPU used over an idle period by this process (the engine registered to a sipp registrar) next
// to an idle linphonec registered to the same registrar in the same period (target <= 0.3x).

#include "enginefixture.h"
#include "phone/zimcorelog.h"
#include "support/procstats.h"
#include "support/sipprunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace {

const double LOOP_PERIOD_MS = 50.0;

qint64 now_us()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

QList<double> measure_dial(int rounds)
{
    QList<double> result;
    SippRunner callee(QStringLiteral("uas_busy.xml"));
    callee.add_arguments({"-m", QString::number(rounds)});
    if (!callee.start())
        return result;
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    fixture.settle(500);
    for (int round = 0; round < rounds; ++round) {
        fixture.settle(37 * (round % 4)); // spread the requests over the loop period
        const qint64 requested = now_us();
        phone->request_dial(callee.uri(QStringLiteral("bench")));
        if (!fixture.wait_for(QStringLiteral("dialog_end"), 10000, round + 1))
            break;
        const auto invites = callee.received_requests(QStringLiteral("INVITE"));
        if (invites.size() != round + 1)
            break;
        result.append((invites.last().time_us - requested) / 1000.0);
    }
    return result;
}

QList<double> measure_incoming(int rounds)
{
    QList<double> result;
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    fixture.settle(500);
    qint64 received_at = 0;
    QObject::connect(phone, &ZimPhone::signal_received_dialog, &fixture,
                     [&](QMap<QString, QString>) { received_at = now_us(); });
    const QString target = QStringLiteral("127.0.0.1:%1").arg(phone->local_sip_port());
    for (int round = 0; round < rounds; ++round) {
        SippRunner caller(QStringLiteral("uac_call_refused.xml"), target);
        caller.add_arguments({"-s", QStringLiteral("1001")});
        received_at = 0;
        if (!caller.start() || !fixture.wait_until([&] { return received_at != 0; }, 10000))
            break;
        phone->request_hangup();
        if (!caller.wait_finished(10000) || !fixture.wait_for(QStringLiteral("dialog_end"), 10000, round + 1))
            break;
        qint64 sent = 0;
        for (const auto& message : caller.messages()) {
            if (!message.received && message.first_line().startsWith(QStringLiteral("INVITE ")))
                sent = message.time_us;
        }
        result.append((received_at - sent) / 1000.0);
    }
    return result;
}

// Nanoseconds each of `samples` window-thread queries took; requests are raised in between when
// a call is up.
QList<double> query_waits(EngineFixture& fixture, ZimPhone* phone, int samples, bool with_requests)
{
    QList<double> waits;
    for (int i = 0; i < samples; ++i) {
        if (with_requests) {
            // Requests of every weight: re-INVITEs (hold and resume), DTMF, and ones the engine
            // turns away in a call.
            switch (i % 4) {
            case 0:
                if (i % 40 == 0)
                    phone->request_hold_toggle();
                else
                    phone->request_dial(QStringLiteral("bench"));
                break;
            case 1:
                phone->send_dtmf('5');
                break;
            case 2:
                phone->request_answer();
                break;
            default:
                phone->request_blind_transfer(QString()); // refused: no target
                break;
            }
        }
        const auto start = std::chrono::steady_clock::now();
        const bool streaming = phone->is_current_streaming();
        const int phase = int(phone->phase());
        const QString number = phone->remote_number();
        const auto end = std::chrono::steady_clock::now();
        waits.append(double(std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count()));
        if (!streaming && phase < 0 && number.isEmpty())
            break; // keeps the queries from being optimised away
        fixture.settle(i % 10 == 0 ? 2 : 0);
        QThread::usleep(200);
    }
    std::sort(waits.begin(), waits.end());
    return waits;
}

// {idle p99, idle max, in-call p99, in-call max} in nanoseconds.
QList<double> measure_query_waits(int samples)
{
    SippRunner callee(QStringLiteral("callee.xml"));
    if (!callee.start())
        return {};
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    fixture.settle(500);
    query_waits(fixture, phone, samples, false); // warms caches and the allocator up
    const QList<double> idle = query_waits(fixture, phone, samples, false);
    phone->request_dial(callee.uri(QStringLiteral("201")));
    if (!fixture.wait_for(QStringLiteral("status:通話中"), 10000))
        return {};
    fixture.settle(500);
    const QList<double> busy = query_waits(fixture, phone, samples, true);
    phone->request_hangup();
    fixture.wait_for(QStringLiteral("dialog_end"), 10000);
    const int p99 = samples * 99 / 100;
    return {idle[p99], idle.last(), busy[p99], busy.last()};
}

QString write_linphonec_config(const QTemporaryDir& dir, int registrar_port)
{
    const QString path = dir.filePath(QStringLiteral("linphonerc"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    QTextStream out(&file);
    out << "[sip]\nsip_port=-1\nsip_tcp_port=0\nsip_tls_port=0\ndefault_proxy=0\n\n"
        << "[rtp]\naudio_rtp_port=-1\nvideo_rtp_port=-1\n\n"
        << "[proxy_0]\nreg_proxy=sip:127.0.0.1:" << registrar_port << "\n"
        << "reg_identity=sip:bench@127.0.0.1:" << registrar_port << "\n"
        << "reg_expires=60\nreg_sendregister=1\n\n"
        << "[auth_info_0]\nusername=bench\npasswd=secret\n";
    return path;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The program's and the library's log lines go to files; the terminal gets the figures only.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    const QString core_log = QDir::temp().filePath(QStringLiteral("bench_phone_engine-linphone.log"));
    ZimCoreLog::start(core_log);
    const int rounds = argc > 1 ? std::max(3, atoi(argv[1])) : 20;
    const int idle_seconds = argc > 2 ? std::max(5, atoi(argv[2])) : 30;

    const QList<double> dial = measure_dial(rounds);
    const QList<double> incoming = measure_incoming(rounds);
    const QList<double> queries = measure_query_waits(1000);

    // Idle cost: the engine and linphonec both registered to one registrar, side by side.
    SippRunner registrar(QStringLiteral("registrar.xml"));
    registrar.add_arguments({"-key", "authuser", "bench", "-key", "authpass", "secret", "-m", "1000"});
    double engine_cpu = -1;
    double linphonec_cpu = -1;
    bool both_registered = false;
    if (registrar.start()) {
        EngineFixture fixture;
        fixture.set_account(QStringLiteral("127.0.0.1"), registrar.port(), QStringLiteral("bench"),
                            QStringLiteral("secret"));
        fixture.start();
        QTemporaryDir home;
        // linphonec keeps its database there and does not start its SIP side without it.
        QDir(home.path()).mkpath(QStringLiteral(".local/share/linphone"));
        QProcess linphonec;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        linphonec.setProcessEnvironment(environment);
        linphonec.setStandardOutputFile(home.filePath(QStringLiteral("out.log")));
        linphonec.start(QStringLiteral("linphonec"),
                        {QStringLiteral("-c"), write_linphonec_config(home, registrar.port()),
                         QStringLiteral("-d"), QStringLiteral("0")});
        const bool engine_ok = fixture.wait_for(QStringLiteral("registration:sucessful/bench"), 15000);
        const bool linphonec_ok =
            linphonec.waitForStarted(5000) &&
            fixture.wait_until(
                [&] {
                    int ok = 0;
                    for (const auto& m : registrar.messages())
                        ok += !m.received && m.first_line().contains(QStringLiteral("200"));
                    return ok >= 2;
                },
                15000);
        both_registered = engine_ok && linphonec_ok;
        fixture.settle(2000); // both settled
        const double engine_before = procstats::cpu_seconds(QCoreApplication::applicationPid());
        const double linphonec_before = procstats::cpu_seconds(linphonec.processId());
        ::sleep(static_cast<unsigned>(idle_seconds)); // this thread sleeps; only the engine works
        engine_cpu = procstats::cpu_seconds(QCoreApplication::applicationPid()) - engine_before;
        linphonec_cpu = procstats::cpu_seconds(linphonec.processId()) - linphonec_before;
        linphonec.write("quit\n");
        if (!linphonec.waitForFinished(5000)) {
            linphonec.terminate();
            if (!linphonec.waitForFinished(5000))
                linphonec.kill();
            linphonec.waitForFinished(2000);
        }
        fixture.stop();
    }

    std::printf("Engine loop period: %.0f ms, %d rounds each\n", LOOP_PERIOD_MS, rounds);
    std::printf("request_dial -> INVITE at sipp:            median %7.1f ms  ratio %.2f (target <= 0.2)\n",
                median(dial), median(dial) / LOOP_PERIOD_MS);
    std::printf("INVITE from sipp -> signal_received_dialog: median %7.1f ms  ratio %.2f (target <= 1.2)\n",
                median(incoming), median(incoming) / LOOP_PERIOD_MS);
    if (queries.size() == 4)
        std::printf("Window query wait, 1000 requests in a call vs idle engine: p99 %.1f us vs %.1f us "
                    "ratio %.2fx (target <= 2x); longest %.1f us vs %.1f us ratio %.2fx\n",
                    queries[2] / 1000, queries[0] / 1000, queries[2] / queries[0], queries[3] / 1000,
                    queries[1] / 1000, queries[3] / queries[1]);
    else
        std::printf("Window query wait: the call did not come up\n");
    std::printf("Idle CPU over %d s (registered%s): engine %.2f s (%.2f%%), linphonec %.2f s (%.2f%%), "
                "ratio %.2fx (target <= 0.3x)\n",
                idle_seconds, both_registered ? "" : ", NOT both registered", engine_cpu,
                100.0 * engine_cpu / idle_seconds, linphonec_cpu, 100.0 * linphonec_cpu / idle_seconds,
                linphonec_cpu > 0 ? engine_cpu / linphonec_cpu : -1.0);
    std::printf("Library log: %s\n", qPrintable(core_log));
    return dial.size() == rounds && incoming.size() == rounds && queries.size() == 4 && both_registered ? 0
                                                                                                        : 1;
}
