// Transfers: blind (transfer button and client command) and consultation (attended), against
// sipp callees that accept the REFER and report the transfer as done.

#include "enginefixture.h"
#include "support/peercore.h"
#include "support/sipprunner.h"

#include <QtTest>

namespace {

const QString TARGET = QStringLiteral("sip:300@127.0.0.1:5999");

// Talks with the callee, then pauses the call for a transfer (phase 7).
bool enter_transfer_wait(EngineFixture& fixture, ZimPhone* phone, const QString& number)
{
    phone->request_dial(number);
    if (!fixture.wait_for("status:通話中"))
        return false;
    phone->request_transfer_step(QString());
    return fixture.wait_for("status:転送番号を入力してください") && phone->phase() == CallPhase::TransferWait;
}

} // namespace

class TestTransfer : public QObject
{
    Q_OBJECT
private slots:
    void blind_transfer_through_transfer_step();
    void client_blind_transfer();
    void consultation_transfer_with_buttons();
    void consultation_transfer_with_client_commands();
    void consultation_hangup_returns_to_prompt();
    void first_party_hangs_up_during_consultation();
    void both_parties_hang_up_together_during_consultation();
    void failed_blind_transfer_reports_no_completion();
    void refused_hold_brings_the_number_back();
    void transfer_the_target_refuses_is_told();
    void failed_consultation_says_why_and_shows_the_held_caller();
};

void TestTransfer::blind_transfer_through_transfer_step()
{
    SippRunner callee(QStringLiteral("callee.xml"));
    QVERIFY(callee.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    QVERIFY2(enter_transfer_wait(fixture, phone, callee.uri("201")), qPrintable(fixture.dump()));
    QVERIFY(phone->is_current_paused());
    QCOMPARE(fixture.count("hold_music"), 0);
    fixture.events.clear();

    phone->request_transfer_step(TARGET);
    QVERIFY2(fixture.wait_for("transfer_result:転送完了しました"), qPrintable(fixture.dump()));
    const int ready = fixture.events.indexOf("status:ダイヤルできます");
    QVERIFY2(ready >= 0 && ready < fixture.events.indexOf("transfer_result:転送完了しました"),
             qPrintable(fixture.dump()));
    QVERIFY(fixture.events.contains("dialog_end"));
    QCOMPARE(phone->phase(), CallPhase::Idle);
    QVERIFY(callee.wait_finished(10000));
    QCOMPARE(callee.exit_code(), 0);

    const auto refers = callee.received_requests("REFER");
    QCOMPARE(refers.size(), 1);
    QVERIFY2(refers[0].header("Refer-To").contains(TARGET), qPrintable(refers[0].header("Refer-To")));
}

void TestTransfer::client_blind_transfer()
{
    SippRunner callee(QStringLiteral("callee.xml"));
    QVERIFY(callee.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    phone->request_dial(callee.uri("201"));
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));

    phone->request_blind_transfer(TARGET);
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QCOMPARE(phone->phase(), CallPhase::Idle);
    // The call was not paused for the transfer, so no completion message follows.
    fixture.settle(200);
    QCOMPARE(fixture.events_named("transfer_result").size(), 0);
    QVERIFY(callee.wait_finished(10000));
    QCOMPARE(callee.exit_code(), 0);
    const auto refers = callee.received_requests("REFER");
    QCOMPARE(refers.size(), 1);
    QVERIFY(refers[0].header("Refer-To").contains(TARGET));
}

void TestTransfer::consultation_transfer_with_buttons()
{
    SippRunner first(QStringLiteral("callee.xml"));
    SippRunner second(QStringLiteral("uas_answer_then_bye.xml"));
    second.add_arguments({"-d", "3000"});
    QVERIFY(first.start());
    QVERIFY(second.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    QVERIFY2(enter_transfer_wait(fixture, phone, first.uri("201")), qPrintable(fixture.dump()));
    const QString number = phone->remote_number();

    phone->request_dial(second.uri("202"));
    QVERIFY2(fixture.wait_for("status:転送発信中"), qPrintable(fixture.dump()));
    QVERIFY2(fixture.wait_for("status:転送先通話中"), qPrintable(fixture.dump()));
    QCOMPARE(phone->phase(), CallPhase::TransferTalking);
    QVERIFY(phone->is_second_streaming());
    QVERIFY(phone->is_current_paused());
    // The first call still describes the history row.
    QCOMPARE(phone->remote_number(), number);
    QCOMPARE(phone->record_status(), int(RECORD_OUTGOING_ANSWERED));

    // A blind transfer while a consultation call exists does nothing.
    phone->request_blind_transfer(QStringLiteral("sip:400@127.0.0.1:5999"));
    fixture.settle(300);
    QVERIFY(first.received_requests("REFER").isEmpty());

    phone->request_transfer_step(QString());
    QVERIFY2(fixture.wait_for("dialog_end", 15000), qPrintable(fixture.dump()));
    QCOMPARE(phone->phase(), CallPhase::Idle);
    QVERIFY(first.wait_finished(10000));
    QCOMPARE(first.exit_code(), 0);
    QVERIFY(second.wait_finished(10000));
    QCOMPARE(second.exit_code(), 0);

    const auto refers = first.received_requests("REFER");
    QCOMPARE(refers.size(), 1);
    const QString refer_to = refers[0].header("Refer-To");
    QVERIFY2(refer_to.contains("sip:202@127.0.0.1") || refer_to.contains(QString::number(second.port())),
             qPrintable(refer_to));
    QVERIFY2(refer_to.contains("Replaces", Qt::CaseInsensitive), qPrintable(refer_to));
}

void TestTransfer::consultation_transfer_with_client_commands()
{
    SippRunner first(QStringLiteral("callee.xml"));
    SippRunner second(QStringLiteral("uas_answer_then_bye.xml"));
    second.add_arguments({"-d", "3000"});
    QVERIFY(first.start());
    QVERIFY(second.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    phone->request_dial(first.uri("201"));
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));

    // First command: the call is paused and the consultation call placed.
    phone->request_attended_transfer(second.uri("202"));
    QVERIFY2(fixture.wait_for("status:転送先通話中"), qPrintable(fixture.dump()));
    // The first call's pause may complete after the consultation connected: it is no hold of that.
    QVERIFY(fixture.wait_until([&] { return phone->is_current_paused(); }, 5000));
    QCOMPARE(phone->phase(), CallPhase::TransferTalking);
    // Second command: the two calls are connected.
    phone->request_attended_transfer(second.uri("202"));
    QVERIFY2(fixture.wait_for("dialog_end", 15000), qPrintable(fixture.dump()));
    // Each call keeps its own row, whichever of them the library releases first.
    fixture.settle(300);
    QStringList rows = fixture.ended_calls;
    rows.sort();
    QCOMPARE(rows, QStringList({first.uri("201") + "/2", second.uri("202") + "/2"}));
    // What the history keeps of both says transferred, not answered.
    for (const CallReport& report : fixture.reports)
        QCOMPARE(report.outcome, QStringLiteral("transferred"));
    QVERIFY(first.wait_finished(10000));
    QCOMPARE(first.exit_code(), 0);
    QVERIFY(second.wait_finished(10000));
    const auto refers = first.received_requests("REFER");
    QCOMPARE(refers.size(), 1);
    QVERIFY(refers[0].header("Refer-To").contains("Replaces", Qt::CaseInsensitive));
}

void TestTransfer::consultation_hangup_returns_to_prompt()
{
    SippRunner first(QStringLiteral("callee.xml"));
    SippRunner second(QStringLiteral("callee.xml"));
    QVERIFY(first.start());
    QVERIFY(second.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    const QString number = first.uri("201");
    QVERIFY2(enter_transfer_wait(fixture, phone, number), qPrintable(fixture.dump()));
    phone->request_dial(second.uri("202"));
    QVERIFY2(fixture.wait_for("status:転送先通話中"), qPrintable(fixture.dump()));
    fixture.events.clear();

    phone->request_hangup();
    QVERIFY2(fixture.wait_for("clear_number"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.events,
             QStringList({"call_recorded", "status:転送番号を入力してください", "clear_number"}));
    QCOMPARE(fixture.ended_calls, QStringList({second.uri("202") + "/2"})); // the consultation's row
    QCOMPARE(phone->phase(), CallPhase::TransferWait);
    QVERIFY(phone->is_current_paused());
    QVERIFY(second.wait_finished(10000));
    QCOMPARE(second.exit_code(), 0);

    // Transfer button with an empty display: the first call comes back.
    phone->request_transfer_step(QString());
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
    QVERIFY(fixture.events.contains("set_number:" + number));
    QCOMPARE(phone->phase(), CallPhase::Talking);
    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QVERIFY(first.wait_finished(10000));
    QCOMPARE(first.exit_code(), 0);
    QVERIFY(first.received_requests("REFER").isEmpty());
}

void TestTransfer::first_party_hangs_up_during_consultation()
{
    SippRunner first(QStringLiteral("uas_hangup_while_held.xml"));
    first.add_arguments({"-d", "2500"});
    SippRunner second(QStringLiteral("callee.xml"));
    QVERIFY(first.start());
    QVERIFY(second.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    QVERIFY2(enter_transfer_wait(fixture, phone, first.uri("201")), qPrintable(fixture.dump()));
    phone->request_dial(second.uri("202"));
    QVERIFY2(fixture.wait_for("status:転送先通話中"), qPrintable(fixture.dump()));
    QVERIFY(first.wait_finished(10000));
    QCOMPARE(first.exit_code(), 0);
    fixture.settle(200);
    QCOMPARE(fixture.events_named("continues").size(), 1); // the time is the consultation's from now
    fixture.events.clear();

    phone->request_transfer_step(QString());
    QVERIFY2(fixture.wait_for("message:転送元がありません"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.events, QStringList({"status:通話中", "message:転送元がありません"}));
    QCOMPARE(phone->phase(), CallPhase::Talking);
    QVERIFY(phone->is_current_streaming());

    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    // The first call's row, then the call that went on with the consulted party.
    QCOMPARE(fixture.ended_calls, QStringList({first.uri("201") + "/2", second.uri("202") + "/2"}));
    QCOMPARE(phone->phase(), CallPhase::Idle);
    QVERIFY(second.wait_finished(10000));
    QCOMPARE(second.exit_code(), 0);
}

// The held caller and the consulted party hang up at the same moment (as when the caller completes
// a transfer to the consulted party by itself): the consultation, talked and then ended before the
// first call's release, keeps its answered row.
void TestTransfer::both_parties_hang_up_together_during_consultation()
{
    PeerCore first;
    PeerCore second;
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    QVERIFY2(enter_transfer_wait(fixture, phone, first.uri("201")), qPrintable(fixture.dump()));
    phone->request_dial(second.uri("202"));
    QVERIFY2(fixture.wait_for("status:転送先通話中"), qPrintable(fixture.dump()));
    QTest::qWait(1200);
    first.terminate_all();
    second.terminate_all();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    fixture.settle(300);
    QCOMPARE(fixture.ended_calls, QStringList({first.uri("201") + "/2", second.uri("202") + "/2"}));
}

// A client blind transfer the library refuses leaves no completion behind: when the call later
// ends while paused for a transfer, no "転送完了しました" appears.
void TestTransfer::failed_blind_transfer_reports_no_completion()
{
    SippRunner first(QStringLiteral("uas_hangup_while_held.xml"));
    first.add_arguments({"-d", "1500"});
    SippRunner busy(QStringLiteral("uas_busy.xml"));
    QVERIFY(first.start());
    QVERIFY(busy.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    phone->request_dial(first.uri("201"));
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));

    phone->request_blind_transfer(QString()); // no target: the library refuses
    fixture.settle(200);
    QVERIFY(first.received_requests("REFER").isEmpty());
    phone->request_attended_transfer(busy.uri("202")); // paused, the consultation is refused busy
    QVERIFY2(fixture.wait_for("status:保留中"), qPrintable(fixture.dump()));

    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump())); // the first party hangs up
    fixture.settle(200);
    QCOMPARE(fixture.events_named("transfer_result").size(), 0);
    QCOMPARE(phone->phase(), CallPhase::Idle);
    QVERIFY(first.wait_finished(10000));
    QCOMPARE(first.exit_code(), 0);
}

// The callee refuses to be held for a transfer: the call goes on, with its number shown again.
void TestTransfer::refused_hold_brings_the_number_back()
{
    SippRunner first(QStringLiteral("uas_refuses_hold.xml"));
    first.add_arguments({"-d", "2000"});
    QVERIFY(first.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    phone->request_dial(first.uri("201"));
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
    fixture.events.clear();
    phone->request_transfer_step(QString());
    QVERIFY2(fixture.wait_for("set_number:" + first.uri("201")), qPrintable(fixture.dump()));
    QCOMPARE(phone->phase(), CallPhase::Talking);
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
}

// The transferee cannot reach the target and says so in its NOTIFY: the operator reads
// "転送失敗" and has the call back, instead of a caller left on hold.
void TestTransfer::transfer_the_target_refuses_is_told()
{
    SippRunner callee(QStringLiteral("callee.xml"));
    QVERIFY(callee.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    QVERIFY2(enter_transfer_wait(fixture, phone, callee.uri("201")), qPrintable(fixture.dump()));
    fixture.events.clear();

    phone->request_transfer_step(QStringLiteral("sip:unreachable@127.0.0.1:5999"));
    QVERIFY2(fixture.wait_for("transfer_result:転送失敗"), qPrintable(fixture.dump()));
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
    QVERIFY(phone->is_current_streaming());
    QVERIFY(!fixture.events.contains("dialog_end"));

    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.events_named("transfer_result"), QStringList({"transfer_result:転送失敗"}));
    QVERIFY(callee.wait_finished(10000));
    QCOMPARE(callee.exit_code(), 0);
}

// The consulted party is busy: the operator reads why, the consultation keeps its row, and the held
// caller is on the display again, still held until 保留 takes them back.
void TestTransfer::failed_consultation_says_why_and_shows_the_held_caller()
{
    SippRunner first(QStringLiteral("callee.xml"));
    SippRunner busy(QStringLiteral("uas_busy.xml"));
    QVERIFY(first.start());
    QVERIFY(busy.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    QVERIFY2(enter_transfer_wait(fixture, phone, first.uri("201")), qPrintable(fixture.dump()));
    fixture.events.clear();
    phone->request_dial(busy.uri("202"));
    QVERIFY2(fixture.wait_until([&] { return !fixture.failures.isEmpty(); }), qPrintable(fixture.dump()));
    QCOMPARE(fixture.failures, QStringList({"call:話中です"}));
    QVERIFY2(fixture.events.contains("set_number:" + first.uri("201")), qPrintable(fixture.dump()));
    QCOMPARE(fixture.ended_calls, QStringList({busy.uri("202") + "/4"}));
    fixture.settle(500);
    QCOMPARE(phone->phase(), CallPhase::Holding);
    QVERIFY(phone->is_current_paused());

    phone->request_hold_toggle();
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
    QVERIFY(phone->is_current_streaming());
    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.ended_calls.last(), first.uri("201") + "/2");
    QVERIFY(first.wait_finished(10000));
    QCOMPARE(first.exit_code(), 0);
}

QTEST_GUILESS_MAIN(TestTransfer)
#include "tst_transfer.moc"
