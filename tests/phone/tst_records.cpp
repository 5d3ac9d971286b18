// What the engine reports with each call's end: why the call ended (one case per outcome, through
// sipp peers on 127.0.0.1) and how an answered call sounded.

#include "enginefixture.h"
#include "support/sipprunner.h"
#include "support/tonepcap.h"

#include <QtTest>

namespace {

QString engine_address(ZimPhone* phone)
{
    return QStringLiteral("127.0.0.1:%1").arg(phone->local_sip_port());
}

// What the operator does once the call is under way.
enum class Operator { Nothing, HangsUpWhileRinging, TransfersBlind };

} // namespace

Q_DECLARE_METATYPE(Operator)

class TestRecords : public QObject
{
    Q_OBJECT
private slots:
    void outcome_of_each_call_data();
    void outcome_of_each_call();
    void lossy_line_is_recorded_and_warned_about();
};

void TestRecords::outcome_of_each_call_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QStringList>("sipp_arguments");
    QTest::addColumn<bool>("incoming");
    QTest::addColumn<Operator>("action");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("sip_code");

    QTest::newRow("busy") << "uas_busy.xml" << QStringList() << false << Operator::Nothing << "busy" << 486;
    QTest::newRow("no answer") << "uas_no_answer.xml" << QStringList() << false << Operator::Nothing
                               << "no-answer" << 480;
    QTest::newRow("503") << "uas_unavailable.xml" << QStringList() << false << Operator::Nothing << "failed"
                         << 503;
    QTest::newRow("cancelled by the operator") << "uas_ring_until_cancel.xml" << QStringList() << false
                                               << Operator::HangsUpWhileRinging << "cancelled" << 0;
    QTest::newRow("blind transfer") << "callee.xml" << QStringList() << false << Operator::TransfersBlind
                                    << "transferred" << 0;
    // The library rewrites the log of a call whose transfer timed out as "missed" at its end.
    QTest::newRow("answered, its blind transfer timed out")
        << "uac_transfer_times_out.xml" << QStringList{"-s", "1001"} << true << Operator::TransfersBlind
        << "answered" << 0;
    QTest::newRow("rejected by the operator") << "uac_call_refused.xml" << QStringList{"-s", "1001"} << true
                                              << Operator::HangsUpWhileRinging << "rejected" << 0;
    QTest::newRow("missed") << "uac_cancel_after_ring.xml" << QStringList{"-s", "1001", "-d", "1000"} << true
                            << Operator::Nothing << "missed" << 0;
}

void TestRecords::outcome_of_each_call()
{
    QFETCH(QString, scenario);
    QFETCH(QStringList, sipp_arguments);
    QFETCH(bool, incoming);
    QFETCH(Operator, action);
    QFETCH(QString, outcome);
    QFETCH(int, sip_code);

    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    SippRunner peer(scenario, incoming ? engine_address(phone) : QString());
    peer.add_arguments(sipp_arguments);
    QVERIFY(peer.start());
    if (incoming)
        QVERIFY2(fixture.wait_for("status:着信中"), qPrintable(fixture.dump()));
    else
        phone->request_dial(peer.uri("201"));

    if (action == Operator::HangsUpWhileRinging) {
        const auto ringing = [&] {
            for (const SippRunner::Message& message : peer.messages())
                if (!message.received && message.first_line().startsWith(QLatin1String("SIP/2.0 180")))
                    return true;
            return false;
        };
        if (!incoming) // it rings at the callee
            QVERIFY2(fixture.wait_until(ringing), qPrintable(fixture.dump()));
        phone->request_hangup();
    } else if (action == Operator::TransfersBlind) {
        if (incoming)
            phone->request_answer();
        QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
        phone->request_blind_transfer(QStringLiteral("sip:300@127.0.0.1:5999"));
    }
    QVERIFY2(fixture.wait_for("dialog_end", 45000), qPrintable(fixture.dump()));
    QCOMPARE(fixture.reports.size(), 1);
    QCOMPARE(fixture.reports[0].outcome, outcome);
    QCOMPARE(fixture.reports[0].sip_code, sip_code);
    // A call nobody answered has no figures of its sound; nor has the transferred one, whose callee
    // sent no RTP: its rating is unknown, not 0 and poor.
    QVERIFY2(!fixture.reports[0].has_quality(), qPrintable(QString::number(fixture.reports[0].rating)));
    QVERIFY(!CallQuality::is_poor(fixture.reports[0]));
    QVERIFY(peer.wait_finished(10000));
    QCOMPARE(peer.exit_code(), 0);
}

// A caller whose stream loses every tenth packet: about 10 % lost, recorded with the call, and the
// status line says the line is poor while the call goes on.
void TestRecords::lossy_line_is_recorded_and_warned_about()
{
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    SippRunner caller(QStringLiteral("uac_call_plays_tone.xml"), engine_address(phone));
    QVERIFY(write_tone_pcap(caller.work_dir() + QStringLiteral("/tone.pcap"), 12, 10));
    caller.add_arguments({"-s", "1001", "-d", "9000"});
    QVERIFY(caller.start());
    QVERIFY2(fixture.wait_for("status:着信中"), qPrintable(fixture.dump()));
    phone->request_answer();
    QVERIFY2(fixture.wait_for("status:回線品質低下", 12000), qPrintable(fixture.dump()));
    QVERIFY2(fixture.wait_for("dialog_end", 45000), qPrintable(fixture.dump()));

    const CallReport report = fixture.reports.value(0);
    qInfo("lost %.1f %% received, rating %.2f, jitter %.1f ms", report.loss_received_percent, report.rating,
          report.jitter_ms);
    QCOMPARE(report.outcome, QStringLiteral("answered"));
    QVERIFY2(report.loss_received_percent > 8 && report.loss_received_percent < 12,
             qPrintable(QString::number(report.loss_received_percent)));
    QVERIFY2(report.rating > 2 && report.rating < CallQuality::POOR_RATING,
             qPrintable(QString::number(report.rating)));
    QVERIFY(report.jitter_ms >= 0);
    // sipp sends no RTCP: what it lost of ours and the round trip are not known.
    QCOMPARE(report.loss_sent_percent, -1.0);
    QCOMPARE(report.round_trip_ms, -1.0);
    QVERIFY(CallQuality::is_poor(report));
    QVERIFY(caller.wait_finished(10000));
    QCOMPARE(caller.exit_code(), 0);
}

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
