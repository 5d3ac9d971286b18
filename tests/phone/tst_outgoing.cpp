// Outgoing calls from the engine to sipp callees on 127.0.0.1.

#include "data/zimlogger.h"
#include "enginefixture.h"
#include "support/kamailiorunner.h"
#include "support/sipprunner.h"
#include "support/testdir.h"

#include <QRegularExpression>
#include <QUdpSocket>
#include <QtTest>

namespace {

// What a phone that hears the call but says nothing sends: an RTCP receiver report on the
// stream it receives, and its name.
QByteArray receiver_report(int index)
{
    QByteArray packet;
    QDataStream out(&packet, QIODevice::WriteOnly); // big-endian, as the network wants
    out << quint8(0x81) << quint8(201) << quint16(7) << quint32(0x7e1a0001); // RR, one block
    out << quint32(0) << quint32(0) << quint32(index * 250) << quint32(0) << quint32(0) << quint32(0);
    out << quint8(0x81) << quint8(202) << quint16(4) << quint32(0x7e1a0001); // SDES, one chunk
    out << quint8(1) << quint8(5);
    out.writeRawData("quiet", 5);
    out << quint8(0) << quint8(0) << quint8(0) << quint8(0) << quint8(0);
    return packet;
}

} // namespace

class TestOutgoing : public QObject
{
    Q_OBJECT
private slots:
    void answered_then_remote_hangs_up();
    void busy_callee_plays_no_cue();
    void unavailable_callee_plays_failed_cue();
    void our_hangup_ends_call_once();
    void dial_with_empty_number_does_nothing();
    void call_whose_peer_vanished_ends_by_itself();
    void peer_that_hangs_behind_the_server_ends_at_its_408();
    void numbers_go_out_exactly_as_shown();
    void silent_callee_whose_rtcp_goes_on_stays_connected();
    void silent_callee_whose_dialog_answers_stays_connected();
};

void TestOutgoing::answered_then_remote_hangs_up()
{
    SippRunner callee(QStringLiteral("uas_answer_then_bye.xml"));
    callee.add_arguments({"-d", "1500"});
    QVERIFY(callee.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    QVERIFY(phone->is_idle());
    QCOMPARE(phone->phase(), CallPhase::Idle);

    const QString number = callee.uri("201");
    phone->request_dial(number);
    QVERIFY2(fixture.wait_for("status:発信中"), qPrintable(fixture.dump()));
    QVERIFY2(fixture.wait_for("timer"), qPrintable(fixture.dump()));
    QCOMPARE(phone->phase(), CallPhase::Talking);
    QVERIFY(phone->is_current_streaming());
    QVERIFY(!phone->is_idle());
    QCOMPARE(phone->remote_number(), number);
    QCOMPARE(phone->last_dialled_number(), number);
    QCOMPARE(phone->record_status(), int(RECORD_OUTGOING_ANSWERED));

    if (!fixture.wait_for("dialog_end")) {
        for (auto& m : callee.messages())
            qDebug().noquote() << (m.received ? "<<<" : ">>>") << m.text;
    }
    QCOMPARE(fixture.events,
             QStringList({"status:発信中", "timer", "status:通話中", "audio:./share/sounds/hangup.wav",
                          "status:ダイヤルできます", "dialog_end"}));
    QCOMPARE(phone->phase(), CallPhase::Idle);
    QVERIFY(phone->is_idle());
    QCOMPARE(phone->record_status(), int(RECORD_OUTGOING_ANSWERED));
    QVERIFY(callee.wait_finished(10000));
    QCOMPARE(callee.exit_code(), 0);

    const auto invites = callee.received_requests("INVITE");
    QCOMPARE(invites.size(), 1);
    QCOMPARE(invites[0].first_line(), QStringLiteral("INVITE %1 SIP/2.0").arg(number));
    QVERIFY(invites[0].header("User-Agent").startsWith("Velora Softphone Zarari/1.4.0"));
    // A voice-only phone: audio is offered, video is not.
    QVERIFY(invites[0].body().contains("m=audio"));
    QVERIFY(!invites[0].body().contains("m=video"));
    fixture.settle(200);
    QCOMPARE(fixture.count("timer"), 1);
}

void TestOutgoing::busy_callee_plays_no_cue()
{
    SippRunner callee(QStringLiteral("uas_busy.xml"));
    QVERIFY(callee.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    phone->request_dial(callee.uri("202"));
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.events, QStringList({"status:発信中", "status:ダイヤルできます", "dialog_end"}));
    QVERIFY2(fixture.wait_until([&] { return !fixture.failures.isEmpty(); }), qPrintable(fixture.dump()));
    QCOMPARE(fixture.failures, QStringList({"call:話中です"}));
    QCOMPARE(phone->record_status(), int(RECORD_OUTGOING_MISSED));
    QCOMPARE(phone->phase(), CallPhase::Idle);
    QVERIFY(callee.wait_finished(10000));
    QCOMPARE(callee.exit_code(), 0);
}

void TestOutgoing::unavailable_callee_plays_failed_cue()
{
    SippRunner callee(QStringLiteral("uas_unavailable.xml"));
    QVERIFY(callee.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    phone->request_dial(callee.uri("203"));
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.events, QStringList({"status:発信中", "audio:./share/sounds/failed.wav",
                                          "status:ダイヤルできます", "dialog_end"}));
    fixture.settle(100);
    QCOMPARE(fixture.failures, QStringList({"call:接続できません"}));
    QCOMPARE(phone->record_status(), int(RECORD_OUTGOING_MISSED));
    QVERIFY(callee.wait_finished(10000));
}

void TestOutgoing::our_hangup_ends_call_once()
{
    SippRunner callee(QStringLiteral("callee.xml"));
    QVERIFY(callee.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    phone->request_dial(callee.uri("204"));
    QVERIFY2(fixture.wait_for("timer"), qPrintable(fixture.dump()));
    phone->request_hangup();
    fixture.settle(60);
    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QVERIFY(fixture.events.contains("audio:./share/sounds/hangup.wav"));
    QVERIFY(callee.wait_finished(10000));
    QCOMPARE(callee.exit_code(), 0);
    QCOMPARE(callee.received_requests("BYE").size(), 1);
    QCOMPARE(fixture.count("dialog_end"), 1);
    QCOMPARE(fixture.failures, QStringList()); // our own hang-up is no failure
}

void TestOutgoing::dial_with_empty_number_does_nothing()
{
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    phone->request_dial(QString());
    fixture.settle(300);
    QVERIFY(fixture.events.isEmpty());
    QVERIFY(phone->is_idle());
    QCOMPARE(phone->phase(), CallPhase::Idle);
    QCOMPARE(phone->last_dialled_number(), QString());
    // A bare number without an account cannot be placed: the operator is told why.
    phone->request_dial(QStringLiteral("201"));
    QVERIFY(fixture.wait_until([&] { return !fixture.failures.isEmpty(); }));
    QCOMPARE(fixture.failures, QStringList({"call:アカウントを設定してください"}));
}

// A peer that answers and then vanishes (no BYE, no audio, no answer in the dialog: a crashed
// phone, a pulled cable) does not keep the operator in a call for ever: after 20 s without media
// the dialog is asked, and when nothing answers that either the call ends and is stored.
void TestOutgoing::call_whose_peer_vanished_ends_by_itself()
{
    SippRunner callee(QStringLiteral("uas_answer_then_bye.xml"));
    callee.add_arguments({"-d", "120000"});
    QVERIFY(callee.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    phone->request_dial(callee.uri("201"));
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
    callee.stop();
    QVERIFY2(fixture.wait_for("dialog_end", 60000), qPrintable(fixture.dump()));
    QCOMPARE(fixture.ended_calls.size(), 1);
    QCOMPARE(phone->phase(), CallPhase::Idle);
}

// Behind a PBX the question goes to the PBX, which answers 408 for a peer that hangs: that ends the
// call as no answer would (it used to count as the peer's answer, and the call stayed up for good).
void TestOutgoing::peer_that_hangs_behind_the_server_ends_at_its_408()
{
    KamailioRunner server;
    server.define(QStringLiteral("SHORT_TRANSACTIONS"));
    QVERIFY(server.start());
    SippRunner callee(QStringLiteral("uas_behind_proxy.xml")); // its requests go through the proxy
    QVERIFY(callee.start());
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", server.port(), "100", "secret");
    ZimPhone* phone = fixture.start();
    QVERIFY2(fixture.wait_for("registration:sucessful/100", 15000), qPrintable(fixture.dump()));
    phone->request_dial(callee.number());
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
    callee.freeze();
    // 20 s without media, then the PBX's 408 after 5 s, well before the phone's own 15 s wait.
    QVERIFY2(fixture.wait_for("dialog_end", 24000 + 12000), qPrintable(fixture.dump()));
    QVERIFY2(read_text_file(ZimLogger::log_path()).contains("the call's dialog is over (408 or 481"),
             qPrintable(read_text_file(ZimLogger::log_path())));
    QCOMPARE(fixture.ended_calls.size(), 1);
    QCOMPARE(phone->phase(), CallPhase::Idle);
}

// A caller who says nothing on a line that sends no RTCP either is still there when the call's
// dialog answers: the call goes on.
void TestOutgoing::silent_callee_whose_dialog_answers_stays_connected()
{
    SippRunner callee(QStringLiteral("callee.xml")); // sends no media, answers every re-INVITE
    QVERIFY(callee.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    phone->request_dial(callee.uri("201"));
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
    fixture.settle(45000);
    QVERIFY2(!fixture.events.contains("dialog_end"), qPrintable(fixture.dump()));
    QVERIFY(callee.received_requests("INVITE").size() >= 2); // the dialog was asked
    QCOMPARE(phone->phase(), CallPhase::Talking);
    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QVERIFY(callee.wait_finished(10000));
    QCOMPARE(callee.exit_code(), 0);
}

// An international number longer than the library's dial plan expects for its country, dialled and
// then named as a transfer target, reaches the server digit for digit with its "+".
void TestOutgoing::numbers_go_out_exactly_as_shown()
{
    KamailioRunner server;
    QVERIFY(server.start());
    SippRunner callee(QStringLiteral("callee.xml"));
    QVERIFY(callee.start());
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", server.port(), "100", "secret");
    ZimPhone* phone = fixture.start();
    QVERIFY2(fixture.wait_for("registration:sucessful/100"), qPrintable(fixture.dump()));
    const QString number = QStringLiteral("+8190123456789") + callee.number(); // 19 digits
    phone->request_dial(number);
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump() + callee.output()));
    phone->request_blind_transfer(QStringLiteral("+442012345678901"));
    QVERIFY2(fixture.wait_until([&] { return !callee.received_requests("REFER").isEmpty(); }),
             qPrintable(callee.output()));
    callee.stop();

    const QString request_line = callee.received_requests("INVITE").value(0).first_line();
    QVERIFY2(request_line.startsWith("INVITE sip:" + number + "@"), qPrintable(request_line));
    const QString refer_to = callee.received_requests("REFER").value(0).header("Refer-To");
    QVERIFY2(refer_to.contains("sip:+442012345678901@"), qPrintable(refer_to));
}

// A callee who says nothing (silence suppression: no RTP) but whose RTCP reports keep coming, as
// every live phone sends them, stays connected past the time after which a vanished peer's call
// ends (call_whose_peer_vanished_ends_by_itself).
void TestOutgoing::silent_callee_whose_rtcp_goes_on_stays_connected()
{
    QUdpSocket media; // the callee's audio port, which never sends
    QVERIFY(media.bind(QHostAddress(QHostAddress::LocalHost), 0));
    SippRunner callee(QStringLiteral("uas_answer_media_sink.xml"));
    callee.add_arguments({"-key", "sink_port", QString::number(media.localPort())});
    QVERIFY(callee.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    phone->request_dial(callee.uri("201"));
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
    // RTCP goes to the port above the audio port the phone offered, where RTP/AVP puts it (a peer
    // need not read an "a=rtcp" line that names another).
    const QString offer = callee.received_requests("INVITE").value(0).body();
    const auto audio = QRegularExpression(QStringLiteral("m=audio (\\d+) ")).match(offer);
    QVERIFY2(audio.hasMatch(), qPrintable(offer));
    QVERIFY2(!offer.contains(QStringLiteral("a=rtcp:")), qPrintable(offer));
    const quint16 rtcp_port = quint16(audio.captured(1).toInt() + 1);
    for (int report = 0; report < 10; ++report) { // one every 5 s, the library's own pace
        QVERIFY(media.writeDatagram(receiver_report(report), QHostAddress(QHostAddress::LocalHost),
                                    rtcp_port) > 0);
        fixture.settle(5000);
        QVERIFY2(!fixture.events.contains("dialog_end"), qPrintable(QString::number(report)));
    }
    QCOMPARE(phone->phase(), CallPhase::Talking);
    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QVERIFY(callee.wait_finished(10000));
    QCOMPARE(callee.exit_code(), 0);
}

QTEST_GUILESS_MAIN(TestOutgoing)
#include "tst_outgoing.moc"
