// This program next to Debian's desktop SIP phones on calls, one program at a time, each with a
// fresh HOME, private temporary files, a private session bus and an account for its own user at
// one Kamailio on 127.0.0.1:
//   ringing on screen   a sipp caller rings the desk 20 times through Kamailio, one call at a time
//                       (given up after a second of ringing, one every 2.5 s); from the INVITE leaving
//                       sipp (its message trace) to a new top-level window mapped on the display
//                       (MapNotify, same wall clock): median and 95th percentile, against
//                       linphone-desktop and twinkle;
//   CPU of a call       an answered PCMU call (auto-answer) with sipp playing a tone into it for
//                       60 s: CPU seconds of the phone's process tree, against the same peers and
//                       baresip; and ours again with every call recorded, against ours unrecorded.
// Our engine's arrival of the INVITE (its "Call-ID:" debug line, time-stamped through
// QT_MESSAGE_PATTERN) splits our ring time in two.
// Run under Xvfb with a PulseAudio null sink:
//   source scripts/common.sh; ensure_sound_server
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/app/bench_calls [rings] [call seconds]
#include "support/kamailiorunner.h"
#include "support/mapwatcher.h"
#include "support/peerphone.h"
#include "support/procstats.h"
#include "support/programrunner.h"
#include "support/registeredprogram.h"
#include "support/sessionbus.h"
#include "support/sipprunner.h"
#include "support/soundserver.h"
#include "support/tonepcap.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

int RINGS = 20;
const int RING_MS = 1000;
// A call every 2.537 s: a period that is no multiple of a phone's loop or timer period, so the
// rings meet every phase of it rather than the same one each time.
const int RING_PERIOD_MS = 2537;
int CALL_S = 60;
const QString OURS = QStringLiteral("this program");
bool RECORD_CALLS = false; // our phone records every answered call

// One phone under test, started with or without auto-answer; pid() roots its process tree.
class Phone
{
public:
    virtual ~Phone() = default;
    virtual bool start() = 0;
    virtual qint64 pid() const = 0;
    virtual void stop() = 0;
};

class OurPhone : public Phone
{
public:
    OurPhone(int registrar_port, bool auto_answer)
    {
        runner.set_user(QStringLiteral("bench%1").arg(QCoreApplication::applicationPid()));
        runner.keep_output_in_file();
        QDir(runner.dir()).mkpath(QStringLiteral("tmp"));
        runner.set_variable(QStringLiteral("TMPDIR"), runner.dir() + QStringLiteral("/tmp"));
        runner.set_variable(QStringLiteral("QT_MESSAGE_PATTERN"),
                            QStringLiteral("%{time yyyy-MM-dd hh:mm:ss.zzz} %{message}"));
        QMap<QString, QString> other;
        if (auto_answer)
            other = {{QStringLiteral("autoAnswer"), QStringLiteral("1")},
                     {QStringLiteral("autoAnswerDelay"), QStringLiteral("0")}};
        if (RECORD_CALLS)
            other.insert(QStringLiteral("recordCalls"), QStringLiteral("1"));
        store_account(runner, registrar_port, QStringLiteral("100"), other);
    }
    bool start() override { return runner.start_first(); }
    qint64 pid() const override { return runner.first() ? runner.first()->processId() : 0; }
    void stop() override
    {
        const QList<qint64> pids = pid() ? procstats::tree(pid()) : QList<qint64>();
        runner.stop_first();
        end_processes(pids);
    }
    // When our engine heard of each call, by Call-ID (microseconds since the epoch).
    QMap<QString, qint64> engine_arrivals() const
    {
        QMap<QString, qint64> result;
        QFile file(runner.dir() + QStringLiteral("/output.log"));
        if (!file.open(QIODevice::ReadOnly))
            return result;
        static const QRegularExpression line(
            QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}) .*Call-ID:([^\"\\s]+)"),
            QRegularExpression::MultilineOption);
        auto it = line.globalMatch(QString::fromUtf8(file.readAll()));
        while (it.hasNext()) {
            const auto match = it.next();
            const QDateTime time =
                QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
            result.insert(match.captured(2), time.toMSecsSinceEpoch() * 1000);
        }
        return result;
    }

private:
    ProgramRunner runner;
};

class OtherPhone : public Phone
{
public:
    OtherPhone(PeerPhone::Kind kind, const QString& user, int registrar_port, bool auto_answer)
        : peer(kind, user, registrar_port, auto_answer)
    {
    }
    bool start() override { return peer.start(); }
    qint64 pid() const override { return peer.pid(); }
    void stop() override { peer.stop(); }

private:
    PeerPhone peer;
};

struct Subject
{
    QString name;
    QString user;
    int kind;   // a PeerPhone::Kind, or -1 for this program
    bool rings; // takes part in the ringing measure
};

struct Ringing
{
    QList<double> ms;        // INVITE sent -> window mapped, per call
    QList<double> engine_ms; // INVITE sent -> our engine heard of it (ours only)
    QList<double> window_ms; // our engine heard of it -> window mapped (ours only)
    int missed = 0;          // calls with no window mapped while they rang
    QString windows;         // the window classes that came up
};

double percentile(QList<double> values, double share)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    const int index = int(std::ceil(share * values.size())) - 1;
    return values[qBound(0, index, int(values.size()) - 1)];
}

// True once the user has registered one more time than `before` (Kamailio's log).
bool wait_registered(KamailioRunner& registrar, const QString& user, int before, int timeout_ms = 30000)
{
    QDeadlineTimer deadline(timeout_ms);
    while (!deadline.hasExpired()) {
        if (registrar.registration_count(user) > before)
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(100);
    }
    return false;
}

std::unique_ptr<Phone> make_phone(const Subject& subject, int registrar_port, bool auto_answer)
{
    if (subject.kind < 0)
        return std::make_unique<OurPhone>(registrar_port, auto_answer);
    return std::make_unique<OtherPhone>(PeerPhone::Kind(subject.kind), subject.user, registrar_port,
                                        auto_answer);
}

Ringing measure_ringing(KamailioRunner& registrar, const Subject& subject, Phone& phone)
{
    Ringing result;
    MapWatcher watcher;
    SippRunner caller(QStringLiteral("uac_cancel_after_ring.xml"),
                      QStringLiteral("127.0.0.1:%1").arg(registrar.port()));
    caller.add_arguments({QStringLiteral("-s"), subject.user, QStringLiteral("-d"), QString::number(RING_MS),
                          QStringLiteral("-m"), QString::number(RINGS), QStringLiteral("-l"),
                          QStringLiteral("1"), QStringLiteral("-r"), QStringLiteral("1"),
                          QStringLiteral("-rp"), QString::number(RING_PERIOD_MS)});
    if (!watcher.start() || !caller.start())
        return result;
    caller.wait_finished(RINGS * RING_PERIOD_MS + 30000);
    QThread::msleep(500);
    watcher.stop();
    // Per Call-ID: the first INVITE sipp sent, and its CANCEL (the ringing ends there).
    QMap<QString, qint64> invites, cancels;
    for (const auto& message : caller.messages()) {
        const QString id = message.header(QStringLiteral("Call-ID"));
        if (message.received)
            continue;
        if (message.first_line().startsWith(QLatin1String("INVITE ")) && !invites.contains(id))
            invites.insert(id, message.time_us);
        else if (message.first_line().startsWith(QLatin1String("CANCEL ")))
            cancels.insert(id, message.time_us);
    }
    const QList<MapWatcher::Map> maps = watcher.maps();
    QMap<QString, qint64> engine;
    if (auto* ours = dynamic_cast<OurPhone*>(&phone))
        engine = ours->engine_arrivals();
    QStringList classes;
    for (auto it = invites.cbegin(); it != invites.cend(); ++it) {
        const qint64 until = cancels.value(it.key(), it.value() + 10000000);
        const auto map = std::find_if(maps.cbegin(), maps.cend(), [&](const MapWatcher::Map& each) {
            return each.time_us >= it.value() && each.time_us <= until;
        });
        if (map == maps.cend()) {
            ++result.missed;
            continue;
        }
        result.ms.append((map->time_us - it.value()) / 1000.0);
        const QString window =
            map->wm_class + (map->override_redirect ? QStringLiteral(" (popup)") : QString());
        if (!classes.contains(window))
            classes.append(window);
        if (engine.contains(it.key())) {
            result.engine_ms.append((engine.value(it.key()) - it.value()) / 1000.0);
            result.window_ms.append((map->time_us - engine.value(it.key())) / 1000.0);
        }
    }
    result.missed += RINGS - int(invites.size());
    result.windows = classes.join(QStringLiteral(", "));
    return result;
}

// CPU seconds of the phone's process tree over a minute of an answered call (-1 on failure).
double measure_call(KamailioRunner& registrar, const Subject& subject, Phone& phone)
{
    SippRunner caller(QStringLiteral("uac_call_plays_tone.xml"),
                      QStringLiteral("127.0.0.1:%1").arg(registrar.port()));
    if (!write_tone_pcap(caller.work_dir() + QStringLiteral("/tone.pcap"), CALL_S + 10))
        return -1;
    caller.add_arguments(
        {QStringLiteral("-s"), subject.user, QStringLiteral("-d"), QString::number((CALL_S + 3) * 1000)});
    if (!caller.start())
        return -1;
    QDeadlineTimer deadline(20000);
    bool answered = false;
    while (!answered && !deadline.hasExpired()) {
        for (const auto& message : caller.messages())
            answered = answered ||
                       (message.received && message.first_line().startsWith(QLatin1String("SIP/2.0 200")));
        QThread::msleep(50);
    }
    if (!answered)
        return -1;
    QThread::msleep(1000); // the media streams start
    const double before = procstats::cpu_seconds(procstats::tree(phone.pid()));
    QThread::msleep(CALL_S * 1000);
    const double used = procstats::cpu_seconds(procstats::tree(phone.pid())) - before;
    caller.wait_finished(30000);
    return caller.exit_code() == 0 ? used * 60.0 / CALL_S : -1;
}

struct Result
{
    Ringing ringing;
    double cpu = -1;
};

// Starts the phone on its own session bus, waits until it registered, runs the measure, ends it.
template <typename Measure>
bool run(KamailioRunner& registrar, const Subject& subject, bool auto_answer, Measure measure)
{
    SessionBus bus;
    auto phone = make_phone(subject, registrar.port(), auto_answer);
    const int before = registrar.registration_count(subject.user);
    bool ok = phone->start() && wait_registered(registrar, subject.user, before);
    if (ok) {
        QThread::msleep(2000); // its window up and the start settled
        measure(*phone);
    } else {
        std::printf("%s did not start or register\n", qPrintable(subject.name));
    }
    phone->stop();
    return ok;
}

void print_row(const char* what, const QList<double>& values, const char* format, const char* ratio,
               const char* target)
{
    std::printf("| %-34s |", what);
    for (double value : values) {
        if (value < 0)
            std::printf(" %16s |", "-");
        else
            std::printf(format, value);
    }
    std::printf(" %-9s | %-12s |\n", ratio, target);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc > 2) { // a shorter run, to try the bench out
        RINGS = qMax(1, atoi(argv[1]));
        CALL_S = qMax(1, atoi(argv[2]));
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::printf("needs a display (xvfb-run) and a sound server\n");
        return 1;
    }
    pin_sound_server(); // every phone reaches this sound server from its fresh HOME
    KamailioRunner registrar;
    if (!registrar.start()) {
        std::printf("Kamailio did not start\n");
        return 1;
    }
    QList<Subject> subjects{{OURS, QStringLiteral("100"), -1, true}};
    for (auto kind : {PeerPhone::Linphone, PeerPhone::Twinkle, PeerPhone::Baresip}) {
        if (PeerPhone::installed(kind))
            subjects.append({PeerPhone::name(kind), QString::number(200 + 100 * kind), int(kind),
                             kind != PeerPhone::Baresip});
    }
    QList<Result> results;
    for (const Subject& subject : subjects) {
        Result result;
        if (subject.rings) {
            run(registrar, subject, false,
                [&](Phone& phone) { result.ringing = measure_ringing(registrar, subject, phone); });
        }
        run(registrar, subject, true,
            [&](Phone& phone) { result.cpu = measure_call(registrar, subject, phone); });
        results.append(result);
    }

    // Ours again, recording every call: what the recording costs a call minute.
    double recorded_cpu = -1;
    RECORD_CALLS = true;
    run(registrar, subjects[0], true,
        [&](Phone& phone) { recorded_cpu = measure_call(registrar, subjects[0], phone); });
    RECORD_CALLS = false;

    // Against the fastest and the lightest peer.
    double fastest_median = -1, fastest_p95 = -1, lightest = -1;
    QString fastest_name, lightest_name;
    for (int i = 1; i < subjects.size(); ++i) {
        const double median = percentile(results[i].ringing.ms, 0.5);
        if (median > 0 && (fastest_median < 0 || median < fastest_median)) {
            fastest_median = median;
            fastest_p95 = percentile(results[i].ringing.ms, 0.95);
            fastest_name = subjects[i].name;
        }
        if (results[i].cpu > 0 && (lightest < 0 || results[i].cpu < lightest)) {
            lightest = results[i].cpu;
            lightest_name = subjects[i].name;
        }
    }
    const double our_median = percentile(results[0].ringing.ms, 0.5);
    const double our_p95 = percentile(results[0].ringing.ms, 0.95);
    auto ratio = [](double ours, double theirs) {
        return ours > 0 && theirs > 0 ? QByteArray::number(ours / theirs, 'f', 2) : QByteArray("-");
    };

    std::printf("\nOne program at a time: fresh HOME, private session bus, registered at Kamailio;\n"
                "%d rings through Kamailio (INVITE sent -> ringing window mapped); a %d s PCMU call\n",
                RINGS, CALL_S);
    std::printf("| %-34s |", "");
    for (const Subject& subject : subjects)
        std::printf(" %16s |", qPrintable(subject.name));
    std::printf(" %-9s | %-12s |\n", "ratio", "target");
    auto column = [&](auto value) {
        QList<double> values;
        for (int i = 0; i < subjects.size(); ++i)
            values.append(subjects[i].rings ? value(results[i]) : -1);
        return values;
    };
    print_row("ringing window mapped, median ms",
              column([](const Result& r) { return percentile(r.ringing.ms, 0.5); }), " %16.1f |",
              ratio(our_median, fastest_median).constData(), "<= 0.5");
    print_row("ringing window mapped, p95 ms",
              column([](const Result& r) { return percentile(r.ringing.ms, 0.95); }), " %16.1f |",
              ratio(our_p95, fastest_p95).constData(), "ours <= 100");
    print_row("ringing window mapped, max ms",
              column([](const Result& r) { return percentile(r.ringing.ms, 1.0); }), " %16.1f |", "", "-");
    print_row("calls with no window mapped", column([](const Result& r) { return double(r.ringing.missed); }),
              " %16.0f |", "", "0");
    QList<double> cpu;
    for (const Result& result : results)
        cpu.append(result.cpu);
    print_row("CPU s per call minute", cpu, " %16.2f |", ratio(results[0].cpu, lightest).constData(), "<= 1");
    std::printf("%s, every call recorded: %.2f CPU s per call minute, %s of an unrecorded one\n",
                qPrintable(OURS), recorded_cpu, ratio(recorded_cpu, results[0].cpu).constData());
    std::printf("Ratios: against the fastest peer (%s) and the lightest peer (%s)\n",
                qPrintable(fastest_name), qPrintable(lightest_name));
    for (int i = 0; i < subjects.size(); ++i) {
        if (subjects[i].rings)
            std::printf("%s: ringing window %s\n", qPrintable(subjects[i].name),
                        qPrintable(results[i].ringing.windows));
    }
    const Ringing& ours = results[0].ringing;
    if (!ours.engine_ms.isEmpty()) {
        std::printf(
            "%s, median: INVITE sent -> engine heard of the call %.1f ms (1 ms clock); engine -> popup "
            "mapped %.1f ms\n",
            qPrintable(OURS), percentile(ours.engine_ms, 0.5), percentile(ours.window_ms, 0.5));
    }
    return 0;
}
