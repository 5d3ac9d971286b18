// The command channel of the running program under fuzzed commands, a crowd of later starts and
// clients that connect and then stay silent or stop half-way.
#include "data/zimconstants.h"
#include "support/processprobe.h"
#include "support/programrunner.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <memory>

namespace {

const QStringList ACTIONS = {"call",   "hold",   "unhold",        "hangup",           "transfer",
                             "answer", "callto", "blindtransfer", "transfer_complete"};

QByteArray random_bytes(QRandomGenerator& random, int size)
{
    QByteArray bytes(size, '\0');
    for (char& c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

// One fuzzed command: what the running instance must answer "OK" to unless it is no text.
QByteArray fuzz_command(QRandomGenerator& random, int i)
{
    const QByteArray word = ACTIONS.at(random.bounded(ACTIONS.size())).toUtf8();
    switch (i % 8) {
    case 0:
        return random_bytes(random, 1 + random.bounded(300));
    case 1:
        return word + "&\xc3\x28\xa0\xa1" + random_bytes(random, 3); // invalid UTF-8
    case 2:
        return word + "&12" + QByteArray(1, '\0') + "34";
    case 3:
        return i % 80 == 3 ? QByteArray(1 << 20, '7') : QByteArray(20000, 'x');
    case 4:
        return word + QByteArray(3000 + random.bounded(3000), '&');
    case 5:
        return "zimclient:" + word + QByteArray(3000, ':');
    case 6:
        return word + "&" + QStringLiteral("山田%1<b>&amp;'\"%2").arg(i).arg(QChar(0x1F600)).toUtf8();
    default:
        return word + "&" + QByteArray(1 + random.bounded(200), char('0' + random.bounded(10))) +
               "&sip:@:;;" + QByteArray::number(i);
    }
}

bool is_text(const QByteArray& bytes)
{
    return !bytes.isEmpty() && bytes.size() <= 16 * 1024 && !bytes.contains('\0') &&
           QString::fromUtf8(bytes).toUtf8() == bytes;
}

// Sends one command on its own connection; the reply ("OK", or empty when dropped) and its time.
QByteArray send_raw(const QString& server, const QByteArray& bytes, qint64* elapsed_ms = nullptr)
{
    QElapsedTimer clock;
    clock.start();
    QLocalSocket socket;
    socket.connectToServer(server);
    if (!socket.waitForConnected(5000))
        return "no connection";
    socket.write(bytes);
    QByteArray reply;
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && socket.state() == QLocalSocket::ConnectedState && reply.size() < 2) {
        socket.waitForReadyRead(100);
        reply += socket.readAll();
    }
    reply += socket.readAll();
    if (elapsed_ms)
        *elapsed_ms = clock.elapsed();
    return reply;
}

} // namespace

class TestStressChannel : public QObject
{
    Q_OBJECT

private slots:
    void fuzzed_commands_crowds_and_silent_clients()
    {
        ProgramRunner runner;
        QVERIFY(runner.start_first());
        const qint64 pid = runner.first()->processId();
        const QString server = runner.server_name();
        for (int i = 0; i < 20; ++i)
            QCOMPARE(send_raw(server, "warmup"), QByteArray("OK"));
        QTest::qWait(500);
        const ProcessProbe before = probe_process(pid);

        // Clients that connect and say nothing, or stop in the middle of a character.
        std::vector<std::unique_ptr<QLocalSocket>> idle;
        for (int i = 0; i < 10; ++i) {
            idle.emplace_back(new QLocalSocket);
            idle.back()->connectToServer(server);
            QVERIFY(idle.back()->waitForConnected(5000));
            if (i % 2) {
                idle.back()->write("call&20\xe5\xb1");
                idle.back()->flush();
            }
        }

        QRandomGenerator random(20261208);
        const int count = stress_count(10000, 1000);
        int answered = 0, dropped = 0;
        qint64 slowest_ms = 0;
        for (int i = 0; i < count; ++i) {
            const QByteArray command = fuzz_command(random, i);
            qint64 elapsed = 0;
            const QByteArray reply = send_raw(server, command, &elapsed);
            if (is_text(command)) {
                // Taken, or a call it asks for refused with the reason.
                QVERIFY2(reply == "OK" || reply.startsWith("NO "),
                         qPrintable(QStringLiteral("%1: %2").arg(i).arg(QString(reply))));
                slowest_ms = qMax(slowest_ms, elapsed);
                ++answered;
            } else {
                QVERIFY2(reply.isEmpty(), qPrintable(QStringLiteral("%1 answered").arg(i)));
                ++dropped;
            }
            QVERIFY2(runner.first()->state() == QProcess::Running, qPrintable(QString::number(i)));
        }
        QVERIFY2(slowest_ms < 1000, qPrintable(QString::number(slowest_ms)));

        // A crowd of later starts at once: each one's command arrives.
        std::vector<std::unique_ptr<QProcess>> crowd;
        for (int i = 0; i < 100; ++i) {
            crowd.emplace_back(new QProcess);
            crowd.back()->setProgram(runner.dir() + QStringLiteral("/velora-softphone"));
            crowd.back()->setArguments({QStringLiteral("crowd%1").arg(i)});
            crowd.back()->setProcessEnvironment(runner.environment());
            crowd.back()->start();
        }
        for (auto& process : crowd) {
            QVERIFY(process->waitForFinished(60000));
            QCOMPARE(process->exitCode(), 0);
        }
        for (int i = 0; i < 100; ++i)
            QVERIFY(runner.wait_for_log(QStringLiteral("] crowd%1\n").arg(i), 5000));

        // The silent ones are let go; what is left is what there was.
        for (auto& socket : idle)
            QTRY_VERIFY_WITH_TIMEOUT(socket->state() == QLocalSocket::UnconnectedState, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(probe_process(pid).fds <= before.fds + 2, 15000);
        const ProcessProbe after = probe_process(pid);
        report_figure(QStringLiteral("channel: commands answered / dropped"),
                      QStringLiteral("%1 / %2").arg(answered).arg(dropped));
        report_figure(QStringLiteral("channel: slowest round trip beside silent clients"),
                      QStringLiteral("%1 ms").arg(slowest_ms));
        report_figure(QStringLiteral("channel: fds before / after"),
                      QStringLiteral("%1 / %2").arg(before.fds).arg(after.fds));
        report_figure(QStringLiteral("channel: RSS before / after"),
                      QStringLiteral("%1 / %2 kB").arg(before.rss_kb).arg(after.rss_kb));
#ifndef __SANITIZE_ADDRESS__ // AddressSanitizer holds freed memory back, so its RSS only grows
        QVERIFY2(after.rss_kb < before.rss_kb + 16 * 1024,
                 qPrintable(QStringLiteral("%1 -> %2 kB").arg(before.rss_kb).arg(after.rss_kb)));
#endif
    }
};

QTEST_GUILESS_MAIN(TestStressChannel)
#include "test_stress_channel.moc"
