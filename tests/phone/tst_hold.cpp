// Hold and resume, from our side and from the other party, against sipp callees.

#include "enginefixture.h"
#include "support/kamailiorunner.h"
#include "support/sipprunner.h"

#include <QtTest>

namespace {

// The audio media section of an SDP body (a declined video line may carry its own direction).
QString audio_section(const QString& body)
{
    const int start = body.indexOf("m=audio");
    const int end = body.indexOf("\nm=", start + 1);
    return start < 0 ? QString() : body.mid(start, end < 0 ? -1 : end - start);
}

} // namespace

class TestHold : public QObject
{
    Q_OBJECT
private slots:
    void our_hold_and_resume();
    void remote_hold_and_back();
    void hold_pressed_while_the_call_waits_for_an_answer_is_carried_out_after_it();
    void a_hold_the_library_refuses_is_told();
};

void TestHold::our_hold_and_resume()
{
    SippRunner callee(QStringLiteral("callee.xml"));
    QVERIFY(callee.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    const QString number = callee.uri("201");
    phone->request_dial(number);
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
    fixture.events.clear();

    phone->request_hold_toggle();
    QVERIFY2(fixture.wait_for("status:保留中"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.events, QStringList({"hold_music", "status:保留中"}));
    QCOMPARE(phone->phase(), CallPhase::Holding);
    QVERIFY(phone->is_current_paused());
    QVERIFY(!phone->is_current_streaming());

    phone->request_hold_toggle();
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.events, QStringList({"hold_music", "status:保留中", "set_number:" + number,
                                          "stop_hold_music", "status:通話中"}));
    QCOMPARE(phone->phase(), CallPhase::Talking);
    QVERIFY(phone->is_current_streaming());
    QCOMPARE(fixture.count("timer"), 0); // the call timer keeps running

    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QVERIFY(callee.wait_finished(10000));
    QCOMPARE(callee.exit_code(), 0);

    const auto invites = callee.received_requests("INVITE");
    QCOMPARE(invites.size(), 3);
    const QString hold = audio_section(invites[1].body());
    QVERIFY2(hold.contains("a=sendonly") || hold.contains("a=inactive"), qPrintable(hold));
    const QString resume = audio_section(invites[2].body());
    QVERIFY(!resume.isEmpty());
    QVERIFY2(!resume.contains("a=sendonly") && !resume.contains("a=inactive") &&
                 !resume.contains("a=recvonly"),
             qPrintable(resume));
}

void TestHold::remote_hold_and_back()
{
    SippRunner callee(QStringLiteral("uas_remote_hold.xml"));
    QVERIFY(callee.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    phone->request_dial(callee.uri("202"));
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
    fixture.events.clear();

    QVERIFY2(fixture.wait_for("status:相手保留中"), qPrintable(fixture.dump()));
    QCOMPARE(phone->phase(), CallPhase::RemoteHolding);
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.events, QStringList({"status:相手保留中", "status:通話中"}));
    QCOMPARE(phone->phase(), CallPhase::Talking);

    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.count("hold_music"), 0);
    QCOMPARE(fixture.count("stop_hold_music"), 0);
    QVERIFY(callee.wait_finished(10000));
    QCOMPARE(callee.exit_code(), 0);
}

QTEST_GUILESS_MAIN(TestHold)
// Behind the server, a callee that sends no audio is asked after 20 s whether it is still there, and
// answers slowly. 保留 pressed meanwhile is held, not dropped: the call goes on hold once the answer came.
void TestHold::hold_pressed_while_the_call_waits_for_an_answer_is_carried_out_after_it()
{
    KamailioRunner server;
    QVERIFY(server.start());
    SippRunner callee(QStringLiteral("uas_slow_reinvite.xml"));
    QVERIFY(callee.start());
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", server.port(), "1001", "secret");
    ZimPhone* phone = fixture.start();
    QVERIFY(fixture.wait_for("registration:sucessful/1001", 15000));
    phone->request_dial(callee.number());
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
    QVERIFY(fixture.wait_until([&] { return callee.received_requests("INVITE").size() == 2; }, 30000));
    phone->request_hold_toggle(); // the liveness question waits for its answer for 3 s
    QVERIFY2(fixture.wait_for("status:保留中", 10000), qPrintable(fixture.dump()));
    QCOMPARE(phone->phase(), CallPhase::Holding);
    const auto invites = callee.received_requests("INVITE");
    QCOMPARE(invites.size(), 3);
    QVERIFY(audio_section(invites.last().body()).contains("a=sendonly"));
    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QVERIFY(callee.wait_finished(10000));
}

// A caller that answered our resume receiving only (it keeps the call on hold itself): the library
// has nothing to hold and refuses; 保留 and 転送 say so instead of doing nothing.
void TestHold::a_hold_the_library_refuses_is_told()
{
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    SippRunner caller(QStringLiteral("caller_served.xml"),
                      QStringLiteral("127.0.0.1:%1").arg(phone->local_sip_port()));
    caller.add_arguments({"-s", "100"});
    QVERIFY(caller.start());
    QVERIFY2(fixture.wait_for("status:着信中"), qPrintable(fixture.dump()));
    phone->request_answer();
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
    phone->request_hold_toggle();
    QVERIFY2(fixture.wait_for("status:保留中"), qPrintable(fixture.dump()));
    fixture.events.clear();
    phone->request_hold_toggle();
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));

    phone->request_hold_toggle();
    QTRY_VERIFY2_WITH_TIMEOUT(fixture.failures.contains("call:保留できません"), qPrintable(fixture.dump()),
                              5000);
    phone->request_transfer_step(QString());
    QTRY_COMPARE_WITH_TIMEOUT(fixture.failures.count("call:保留できません"), 2, 5000);
    QCOMPARE(phone->phase(), CallPhase::Talking);
    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QVERIFY(caller.wait_finished(10000));
}

#include "tst_hold.moc"
