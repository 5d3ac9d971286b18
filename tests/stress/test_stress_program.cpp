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
};

QTEST_GUILESS_MAIN(TestStressProgram)
#include "test_stress_program.moc"
