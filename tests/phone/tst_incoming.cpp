// Incoming calls from sipp callers on 127.0.0.1 (with a fresh HOME, so the library's own
// database must live in the program's data directory).

#include "data/zimlogger.h"
#include "enginefixture.h"
#include "support/kamailiorunner.h"
#include "support/peercore.h"
#include "support/sipprunner.h"
#include "support/stunresponder.h"
#include "support/testdir.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {

QString engine_address(ZimPhone* phone)
{
    return QStringLiteral("127.0.0.1:%1").arg(phone->local_sip_port());
}

// A call from target rings, and the operator turns it down.
void ring_and_refuse(EngineFixture& fixture, const QString& target)
{
    SippRunner caller(QStringLiteral("uac_call_refused.xml"), target);
    caller.add_arguments({"-s", "1001"});
    QVERIFY(caller.start());
    QVERIFY2(fixture.wait_for("received"), qPrintable(fixture.dump()));
    fixture.phone()->request_hangup();
    QVERIFY(caller.wait_finished(10000));
    QCOMPARE(caller.exit_code(), 0);
}

} // namespace

class TestIncoming : public QObject
{
    Q_OBJECT
private slots:
    void answered_call_carries_caller_information();
    void hangup_while_ringing_refuses_as_busy();
    void second_call_during_a_call_is_refused();
    void call_arriving_while_a_dial_gathers_is_refused();
    void long_display_names_ring_whole_data();
    void long_display_names_ring_whole();
    void huge_uri_user_is_refused_at_once();
    void queue_desk_answers_a_server_call_after_the_delay();
    void server_written_as_a_name_rings_once_resolved();
    void linphone_caller_through_the_server_rings();
};

void TestIncoming::answered_call_carries_caller_information()
{
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    QVERIFY(phone->local_sip_port() > 0);
    SippRunner caller(QStringLiteral("uac_call_answered.xml"), engine_address(phone));
    caller.add_arguments({"-s", "1001"});
    QVERIFY(caller.start());

    QVERIFY2(fixture.wait_for("status:着信中"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.events, QStringList({"received", "status:着信中"}));
    QCOMPARE(fixture.received_params.size(), 1);
    const QMap<QString, QString> params = fixture.received_params.first();
    QCOMPARE(params.keys(), QStringList({"callId", "callerId", "callerName"}));
    QCOMPARE(params.value("callerName"), QStringLiteral("Taro"));
    QCOMPARE(params.value("callerId"), QStringLiteral("201"));
    QCOMPARE(phone->remote_number(), QStringLiteral("201"));
    QCOMPARE(phone->phase(), CallPhase::Incoming);
    QCOMPARE(phone->record_status(), int(RECORD_INCOMING_MISSED));
    QVERIFY(phone->is_incoming_ringing());
    QVERIFY(!phone->is_idle());
    QString sent_call_id;
    for (const auto& message : caller.messages()) {
        if (!message.received && message.first_line().startsWith("INVITE "))
            sent_call_id = message.header("Call-ID");
    }
    QVERIFY(!sent_call_id.isEmpty());
    QCOMPARE(params.value("callId"), sent_call_id);

    // Dialling while the call rings does nothing.
    phone->request_dial(QStringLiteral("sip:999@127.0.0.1:9"));
    fixture.settle(200);
    QCOMPARE(phone->phase(), CallPhase::Incoming);
    QCOMPARE(phone->last_dialled_number(), QString());

    phone->request_answer();
    QVERIFY2(fixture.wait_for("timer"), qPrintable(fixture.dump()));
    QVERIFY(fixture.wait_for("status:通話中"));
    QCOMPARE(phone->phase(), CallPhase::Talking);
    QCOMPARE(phone->record_status(), int(RECORD_INCOMING_ANSWERED));
    QVERIFY(!phone->is_incoming_ringing());

    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.events,
             QStringList({"received", "status:着信中", "timer", "status:通話中",
                          "audio:./share/sounds/hangup.wav", "status:ダイヤルできます", "dialog_end"}));
    QCOMPARE(phone->record_status(), int(RECORD_INCOMING_ANSWERED));
    QVERIFY(caller.wait_finished(10000));
    QCOMPARE(caller.exit_code(), 0);
}

void TestIncoming::hangup_while_ringing_refuses_as_busy()
{
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    SippRunner caller(QStringLiteral("uac_call_refused.xml"), engine_address(phone));
    caller.add_arguments({"-s", "1001"});
    QVERIFY(caller.start());
    QVERIFY2(fixture.wait_for("status:着信中"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.received_params.value(0).value("callerName"), QStringLiteral("Jiro"));

    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.events,
             QStringList({"received", "status:着信中", "status:ダイヤルできます", "dialog_end"}));
    QCOMPARE(phone->record_status(), int(RECORD_INCOMING_MISSED));
    QCOMPARE(phone->phase(), CallPhase::Idle);
    QVERIFY(caller.wait_finished(10000));
    QCOMPARE(caller.exit_code(), 0);
}

void TestIncoming::second_call_during_a_call_is_refused()
{
    SippRunner callee(QStringLiteral("callee.xml"));
    QVERIFY(callee.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    phone->request_dial(callee.uri("201"));
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
    const QStringList before = fixture.events;
    const QString number = phone->remote_number();

    SippRunner intruder(QStringLiteral("uac_call_refused.xml"), engine_address(phone));
    intruder.add_arguments({"-s", "1001"});
    QVERIFY(intruder.start());
    QVERIFY(intruder.wait_finished(15000));
    QCOMPARE(intruder.exit_code(), 0);
    fixture.settle(300);
    QCOMPARE(fixture.events, before);
    QCOMPARE(phone->phase(), CallPhase::Talking);
    QVERIFY(phone->is_current_streaming());
    QCOMPARE(phone->remote_number(), number);
    QCOMPARE(phone->record_status(), int(RECORD_OUTGOING_ANSWERED));

    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QVERIFY(callee.wait_finished(10000));
    QCOMPARE(callee.exit_code(), 0);
}

// With a STUN server the library sends its INVITE only once ICE has gathered (here: a server that
// answers after 3 s). A call arriving meanwhile is answered busy, not left ringing where nobody
// sees it.
void TestIncoming::call_arriving_while_a_dial_gathers_is_refused()
{
    StunResponder slow_stun(3000);
    SippRunner callee(QStringLiteral("callee.xml"));
    QVERIFY(callee.start());
    EngineFixture fixture;
    fixture.set_account_keys({{"stunServer", slow_stun.address()}});
    ZimPhone* phone = fixture.start();
    phone->request_dial(callee.uri("201"));
    QVERIFY2(fixture.wait_for("status:発信中"), qPrintable(fixture.dump()));
    QVERIFY(callee.received_requests("INVITE").isEmpty()); // still gathering

    SippRunner intruder(QStringLiteral("uac_call_refused.xml"), engine_address(phone));
    intruder.add_arguments({"-s", "1001"});
    QVERIFY(intruder.start());
    QVERIFY(intruder.wait_finished(15000));
    QCOMPARE(intruder.exit_code(), 0);
    QCOMPARE(fixture.count("received"), 0);

    // The dialled call goes on once gathered.
    QVERIFY2(fixture.wait_for("status:通話中", 15000), qPrintable(fixture.dump()));
    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
}

void TestIncoming::long_display_names_ring_whole_data()
{
    QTest::addColumn<QString>("from_name");
    QTest::addColumn<QString>("to_name");
    const QString kanji(339, QChar(0x6F22)); // 1017 bytes in UTF-8
    for (const auto& [label, name] : {std::pair{"1013", QString(1013, 'A')},
                                      {"1015", QString(1015, 'A')},
                                      {"339 kanji", kanji},
                                      {"2000", QString(2000, 'A')}}) {
        QTest::newRow(qPrintable(QStringLiteral("From ") + label)) << name << QStringLiteral("Operator");
        QTest::newRow(qPrintable(QStringLiteral("To ") + label)) << QStringLiteral("Taro") << name;
    }
}

// A display name past the library's 1023-byte address buffer once ended the program (or cut the
// caller's number): each call rings with the whole name and number, is answered, hung up and ends
// with its row.
void TestIncoming::long_display_names_ring_whole()
{
    QFETCH(QString, from_name);
    QFETCH(QString, to_name);
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    SippRunner caller(QStringLiteral("uac_long_names_waits_for_bye.xml"), engine_address(phone));
    caller.add_arguments({"-s", "1001", "-key", "from_name", from_name, "-key", "from_user", "201", "-key",
                          "to_name", to_name});
    QVERIFY(caller.start());
    QVERIFY2(fixture.wait_for("status:着信中"), qPrintable(fixture.dump() + caller.output()));
    QCOMPARE(fixture.received_params.size(), 1);
    QCOMPARE(fixture.received_params.first().value("callerName"), from_name);
    QCOMPARE(fixture.received_params.first().value("callerId"), QStringLiteral("201"));

    phone->request_answer();
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.ended_calls, QStringList({"201/1"}));
    QVERIFY(caller.wait_finished(10000));
    QCOMPARE(caller.exit_code(), 0);
}

// The library's parser spends seconds on an 8000-character URI user part, again for each resend:
// such an INVITE gets 400 before the parser sees it, and the phone takes the next call as usual.
void TestIncoming::huge_uri_user_is_refused_at_once()
{
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    SippRunner hostile(QStringLiteral("uac_hostile_invite.xml"), engine_address(phone));
    hostile.add_arguments({"-s", "1001", "-key", "from_name", "X", "-key", "from_user", QString(8000, 'a'),
                           "-key", "extra_header", "X-A: 1", "-key", "content_type", "application/sdp",
                           "-key", "sdp", ""});
    QVERIFY(hostile.start());
    QVERIFY2(hostile.wait_finished(10000), qPrintable(hostile.output()));
    bool refused = false;
    for (const SippRunner::Message& message : hostile.messages())
        refused = refused || message.first_line() == QStringLiteral("SIP/2.0 400 URI Too Long");
    QVERIFY2(refused, qPrintable(hostile.output()));
    QVERIFY(fixture.events.filter("received").isEmpty());
    ring_and_refuse(fixture, engine_address(phone));
}

// A queue desk answers by itself: a call the server brings is answered after the set delay, not
// before, and stored as answered.
void TestIncoming::queue_desk_answers_a_server_call_after_the_delay()
{
    KamailioRunner server;
    QVERIFY(server.start());
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", server.port(), "1001", "secret");
    fixture.set_other({{"autoAnswer", "1"}, {"autoAnswerDelay", "2"}});
    fixture.start();
    QVERIFY2(fixture.wait_for("registration:sucessful/1001"), qPrintable(fixture.dump()));
    SippRunner caller(QStringLiteral("uac_call_answered.xml"),
                      QStringLiteral("127.0.0.1:%1").arg(server.port()));
    caller.add_arguments({"-s", "1001"});
    QVERIFY(caller.start());
    QVERIFY2(fixture.wait_for("received"), qPrintable(fixture.dump()));
    QElapsedTimer ringing;
    ringing.start();
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
    QVERIFY2(ringing.elapsed() >= 1800 && ringing.elapsed() < 4000,
             qPrintable(QString::number(ringing.elapsed())));
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.ended_calls, QStringList({"201/1"}));
    QVERIFY(caller.wait_finished(10000));
    QCOMPARE(caller.exit_code(), 0);
}

// The server's name is resolved away from the engine; once it is, its calls ring and a stranger's
// INVITE is still refused.
void TestIncoming::server_written_as_a_name_rings_once_resolved()
{
    KamailioRunner server;
    QVERIFY(server.start());
    EngineFixture fixture;
    fixture.set_account("localhost", server.port(), "1001", "secret");
    ZimPhone* phone = fixture.start();
    QVERIFY2(fixture.wait_for("registration:sucessful/1001"), qPrintable(fixture.dump()));
    QVERIFY(read_text_file(ZimLogger::log_path()).contains("SIP server localhost is at 127.0.0.1"));
    SippRunner stranger(QStringLiteral("uac_call_refused.xml"), engine_address(phone));
    stranger.add_arguments({"-s", "1001"});
    QVERIFY(stranger.start());
    ring_and_refuse(fixture, QStringLiteral("127.0.0.1:%1").arg(server.port()));
    QCOMPARE(fixture.count("received"), 1);
    stranger.stop();
}

// A caller on the same SIP library writes its To without brackets ("To: sip:1001@host"), and the
// server passes it on as it is: that call rings like any other.
void TestIncoming::linphone_caller_through_the_server_rings()
{
    KamailioRunner server;
    QVERIFY(server.start());
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", server.port(), "1001", "secret");
    fixture.start();
    QVERIFY2(fixture.wait_for("registration:sucessful/1001"), qPrintable(fixture.dump()));
    PeerCore caller;
    caller.dial(QStringLiteral("sip:1001@127.0.0.1:%1").arg(server.port()));
    QVERIFY2(fixture.wait_for("received"), qPrintable(fixture.dump() + server.log()));
    QVERIFY(!read_text_file(ZimLogger::log_path()).contains("dropped"));
    fixture.phone()->request_hangup();
}

QTEST_GUILESS_MAIN(TestIncoming)
#include "tst_incoming.moc"
