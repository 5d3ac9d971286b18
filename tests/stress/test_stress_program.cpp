// The whole program through a working day: calls of every kind one after the other through
// Kamailio, an INVITE flood during a call, and kill -9 while history rows are written.
#include "support/processprobe.h"
#include "support/registeredprogram.h"
#include "support/sipprunner.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

namespace {

// A long-lived sipp callee that serves every call of the run.
std::unique_ptr<SippRunner> callee(const QString& scenario, const QStringList& extra = {})
{
    std::unique_ptr<SippRunner> sipp(new SippRunner(scenario));
    sipp->add_arguments(QStringList{"-m", "100000", "-timeout", "7200s"} + extra);
    return sipp->start() ? std::move(sipp) : nullptr;
}

bool peer_got(const SippRunner& sipp, const QString& first_line, int timeout_ms)
{
    QDeadlineTimer deadline(timeout_ms);
    while (!deadline.hasExpired()) {
        for (const auto& message : sipp.messages())
            if (message.received && message.first_line().startsWith(first_line))
                return true;
        QTest::qWait(50);
    }
    return false;
}

QString figure_kb(qint64 a, qint64 b)
{
    return QStringLiteral("%1 / %2 kB").arg(a).arg(b);
}

} // namespace

class TestStressProgram : public QObject
{
    Q_OBJECT

    RegisteredProgram program;
    qint64 pid() const { return program.runner.first()->processId(); }
    QString kamailio() const { return QStringLiteral("127.0.0.1:%1").arg(program.registrar.port()); }

    // One incoming call from a per-call sipp through Kamailio; the program's reaction once it
    // rings (a command, or none).
    void incoming(const QString& scenario, const QString& reaction, QElapsedTimer* ended)
    {
        SippRunner caller(scenario, kamailio());
        caller.add_arguments({"-s", "100", "-d", "300"});
        QVERIFY(caller.start());
        if (!reaction.isEmpty()) {
            QVERIFY2(peer_got(caller, QStringLiteral("SIP/2.0 180"), 10000), qPrintable(caller.output()));
            QVERIFY(program.command({reaction}));
        }
        QVERIFY2(caller.wait_finished(20000), qPrintable(caller.output()));
        ended->start();
        QCOMPARE(caller.exit_code(), 0);
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs an X display (the test script runs the tests under Xvfb)");
        QVERIFY2(program.start(), qPrintable(program.runner.log_text().right(3000)));
    }

    void a_day_of_calls()
    {
        auto answering = callee(QStringLiteral("uas_answer_then_bye.xml"), {"-d", "300"});
        auto busy = callee(QStringLiteral("uas_busy.xml"));
        auto ringing = callee(QStringLiteral("uas_ring_until_cancel.xml"));
        QVERIFY(answering && busy && ringing);

        const int calls = stress_count(1000, 100);
        const int probe_after = qMin(100, calls / 5);
        const QStringList expected{"2", "4", "4", "1", "3", "3"};
        ProcessProbe early;
        qint64 slowest_end_ms = 0;
        const auto earlier = program.rows_after(0);
        int last_id = earlier.isEmpty() ? 0 : earlier.last().id;
        const int before = earlier.size();
        QElapsedTimer run;
        run.start();
        for (int i = 0; i < calls; ++i) {
            const int kind = i % 6;
            const QString number = QStringLiteral("2%1").arg(i);
            QElapsedTimer ended;
            if (kind == 0) {
                QVERIFY(program.command({QStringLiteral("call&") + answering->uri(number)}));
            } else if (kind == 1) {
                QVERIFY(program.command({QStringLiteral("call&") + busy->uri(number)}));
            } else if (kind == 2) {
                QVERIFY(program.command({QStringLiteral("call&") + ringing->uri(number)}));
                QTest::qWait(500);
                QVERIFY(program.command({QStringLiteral("hangup")}));
            } else if (kind == 3) {
                incoming(QStringLiteral("uac_call_answered.xml"), QStringLiteral("answer"), &ended);
            } else if (kind == 4) {
                incoming(QStringLiteral("uac_cancel_after_ring.xml"), QString(), &ended);
            } else {
                incoming(QStringLiteral("uac_call_refused.xml"), QStringLiteral("hangup"), &ended);
            }
            if (QTest::currentTestFailed())
                return;
            QVERIFY2(program.wait_rows(before + i + 1),
                     qPrintable(QStringLiteral("call %1 (kind %2) left no row\n").arg(i).arg(kind) +
                                program.runner.log_text().right(800)));
            if (ended.isValid())
                slowest_end_ms = qMax(slowest_end_ms, ended.elapsed());
            const auto rows = program.rows_after(last_id);
            QVERIFY2(rows.size() == 1,
                     qPrintable(QStringLiteral("call %1: %2 rows").arg(i).arg(rows.size())));
            QVERIFY2(rows.first().status == expected.at(kind),
                     qPrintable(QStringLiteral("call %1 (kind %2): status %3")
                                    .arg(i)
                                    .arg(kind)
                                    .arg(rows.first().status)));
            last_id = rows.first().id;
            if (i + 1 == probe_after) {
                QTest::qWait(300);
                early = probe_process(pid());
            }
        }
        QTest::qWait(300);
        const ProcessProbe late = probe_process(pid());
        report_figure(QStringLiteral("day of calls: calls / minutes"),
                      QStringLiteral("%1 / %2").arg(calls).arg(run.elapsed() / 60000.0, 0, 'f', 1));
        report_figure(QStringLiteral("day of calls: RSS after call %1 / after the last").arg(probe_after),
                      figure_kb(early.rss_kb, late.rss_kb));
        report_figure(QStringLiteral("day of calls: fds / threads after call %1").arg(probe_after),
                      QStringLiteral("%1 / %2").arg(early.fds).arg(early.threads));
        report_figure(QStringLiteral("day of calls: fds / threads after the last"),
                      QStringLiteral("%1 / %2").arg(late.fds).arg(late.threads));
        report_figure(QStringLiteral("day of calls: caller's end to history row, slowest"),
                      QStringLiteral("%1 ms").arg(slowest_end_ms));
        QVERIFY2(late.fds <= early.fds + 2,
                 qPrintable(QStringLiteral("%1 -> %2").arg(early.fds).arg(late.fds)));
        QVERIFY2(late.threads <= early.threads + 2,
                 qPrintable(QStringLiteral("%1 -> %2").arg(early.threads).arg(late.threads)));
        QVERIFY2(slowest_end_ms < 1000, qPrintable(QString::number(slowest_end_ms)));
        if (stress_full())
            QVERIFY2(late.rss_kb <= early.rss_kb + 2048, qPrintable(figure_kb(early.rss_kb, late.rss_kb)));
    }

    void invite_flood_during_a_call()
    {
        QUdpSocket sink; // the callee's audio port: the phone's RTP lands here
        QVERIFY(sink.bind(QHostAddress(QHostAddress::LocalHost), 0));
        const auto packets_in = [&sink](int ms) {
            int packets = 0;
            QDeadlineTimer deadline(ms);
            while (!deadline.hasExpired()) {
                QTest::qWait(20);
                while (sink.hasPendingDatagrams() && sink.readDatagram(nullptr, 0) >= 0)
                    ++packets;
            }
            return packets;
        };
        SippRunner callee(QStringLiteral("uas_answer_media_sink.xml"));
        callee.add_arguments({"-key", "sink_port", QString::number(sink.localPort())});
        QVERIFY(callee.start());
        const int rows = program.row_count();
        QVERIFY(program.command({QStringLiteral("call&") + callee.uri(QStringLiteral("300"))}));
        QVERIFY2(peer_got(callee, QStringLiteral("ACK"), 10000), qPrintable(callee.output()));
        packets_in(500);
        const int quiet = packets_in(1000);

        const int invites = stress_count(200, 50);
        SippRunner flood(QStringLiteral("uac_call_refused.xml"), program.address());
        flood.add_arguments({"-s", "100", "-m", QString::number(invites), "-r", "50"});
        QVERIFY(flood.start());
        qint64 slowest_ms = 0;
        int loud = 0, loud_ms = 0;
        while (!flood.wait_finished(10) && loud_ms < 60000) {
            const qint64 trip = RegisteredProgram::command_round_trip_ms("noop");
            QVERIFY(trip >= 0);
            slowest_ms = qMax(slowest_ms, trip);
            loud += packets_in(200);
            loud_ms += 200;
        }
        QVERIFY2(flood.wait_finished(30000), qPrintable(flood.output()));
        QSet<QString> refused; // calls, not the retransmissions of their answer
        for (const auto& message : flood.messages())
            if (message.received && message.first_line().startsWith(QStringLiteral("SIP/2.0 486")))
                refused.insert(message.header(QStringLiteral("Call-ID")));
        const int busy_replies = refused.size();
        report_figure(QStringLiteral("INVITE flood: INVITEs at 50/s / answered 486"),
                      QStringLiteral("%1 / %2").arg(invites).arg(busy_replies));
        report_figure(QStringLiteral("INVITE flood: command round trip, slowest"),
                      QStringLiteral("%1 ms").arg(slowest_ms));
        report_figure(QStringLiteral("INVITE flood: RTP packets/s before / during"),
                      QStringLiteral("%1 / %2").arg(quiet).arg(loud * 1000 / qMax(1, loud_ms)));
        QCOMPARE(flood.exit_code(), 0);
        QCOMPARE(busy_replies, invites);
        QVERIFY2(loud * 1000 / qMax(1, loud_ms) >= quiet / 2, qPrintable(QString::number(loud)));
        QVERIFY2(slowest_ms < 1000, qPrintable(QString::number(slowest_ms))); // 100 ms is the aim

        QVERIFY(program.command({QStringLiteral("hangup")}));
        QVERIFY2(callee.wait_finished(10000), qPrintable(callee.output()));
        QCOMPARE(callee.exit_code(), 0);
        QVERIFY(program.wait_rows(rows + 1));
        QCOMPARE(program.rows_after(0).last().status, QStringLiteral("2"));
    }

    // Last: each kill leaves the registrar a stale contact of the program.
    void kill_nine_while_rows_are_written()
    {
        auto busy = callee(QStringLiteral("uas_busy.xml"));
        auto answering = callee(QStringLiteral("uas_answer_then_bye.xml"), {"-d", "200"});
        QVERIFY(busy && answering);
        const QRegularExpression stored(QStringLiteral("history row stored: status=\\d phoneNumber=(\\S+)"));
        QRandomGenerator random(20261208);
        const int kills = stress_count(50, 10);
        int logged = 0;
        for (int k = 0; k < kills; ++k) {
            const bool answered = k % 2;
            const QString number = QStringLiteral("9%1").arg(k);
            QVERIFY(program.command({QStringLiteral("call&") + (answered ? answering : busy)->uri(number)}));
            QTest::qWait(random.bounded(answered ? 900 : 500)); // about when the call ends
            program.runner.kill_first();

            QCOMPARE(program.integrity(), QStringLiteral("ok"));
            QSet<QString> numbers;
            for (const auto& row : program.rows_after(0))
                numbers.insert(row.number);
            auto it = stored.globalMatch(program.runner.log_text());
            logged = 0;
            while (it.hasNext()) {
                const QString number = it.next().captured(1);
                QVERIFY2(numbers.contains(number), qPrintable(number));
                ++logged;
            }
            QVERIFY2(program.start(), qPrintable(QStringLiteral("kill %1").arg(k)));
            QCOMPARE(program.runner.first()->state(), QProcess::Running);
        }
        report_figure(QStringLiteral("kill -9: kills / rows the log calls stored (all found)"),
                      QStringLiteral("%1 / %2").arg(kills).arg(logged));
    }
};

QTEST_GUILESS_MAIN(TestStressProgram)
#include "test_stress_program.moc"
