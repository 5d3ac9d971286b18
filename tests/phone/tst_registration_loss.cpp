// Losing the registrar: these wait for the library's SIP transaction timeout (about 32 s),
// so they live apart from the quick registration tests.

#include "data/zimlogger.h"
#include "enginefixture.h"
#include "support/sipprunner.h"
#include "support/testdir.h"

#include <QtTest>

namespace {

SippRunner* start_registrar(std::unique_ptr<SippRunner>& holder, const QString& user, const QString& password)
{
    holder = std::make_unique<SippRunner>(QStringLiteral("registrar.xml"));
    holder->add_arguments({"-key", "authuser", user, "-key", "authpass", password});
    return holder->start() ? holder.get() : nullptr;
}

// Registered for 2 s at a registrar that then answers no more.
bool register_at_silent_registrar(SippRunner& registrar, EngineFixture& fixture)
{
    registrar.add_arguments({"-key", "expires", "2"});
    if (!registrar.start())
        return false;
    fixture.set_account("127.0.0.1", registrar.port(), "1001", "secret");
    // The registrar is a sipp that relays nothing: callers come straight, as in a lab without a PBX.
    fixture.set_other({{"callsFromServerOnly", "0"}});
    fixture.start();
    return fixture.wait_for("registration:sucessful/1001");
}

// A caller playing the scenario reaches the phone directly (calls we place would go through the
// registrar) and is answered: the fixture's call number `count`.
bool answer_caller(EngineFixture& fixture, std::unique_ptr<SippRunner>& caller, const QString& scenario,
                   int count = 1)
{
    caller = std::make_unique<SippRunner>(
        scenario, QStringLiteral("127.0.0.1:%1").arg(fixture.phone()->local_sip_port()));
    caller->add_arguments({"-s", "1001"});
    if (!caller->start() || !fixture.wait_for("received", 10000, count))
        return false;
    fixture.phone()->request_answer();
    return fixture.wait_for("status:通話中", 10000, count);
}

} // namespace

class TestRegistrationLoss : public QObject
{
    Q_OBJECT
private slots:
    void silent_registrar_times_out_and_ends_the_call();
    void reregistration_survives_a_vanished_registrar();
    void timeout_ends_the_call_at_once_and_apart_from_the_next();
};

// The registrar accepts a short registration and then answers no more. The library reports the
// refresh failure with the message "timeout", which ends the call in progress.
void TestRegistrationLoss::silent_registrar_times_out_and_ends_the_call()
{
    SippRunner registrar(QStringLiteral("registrar_goes_silent.xml"));
    EngineFixture fixture;
    QVERIFY2(register_at_silent_registrar(registrar, fixture), qPrintable(fixture.dump()));
    ZimPhone* phone = fixture.phone();
    std::unique_ptr<SippRunner> caller;
    QVERIFY2(answer_caller(fixture, caller, "uac_call_waits_for_bye.xml"), qPrintable(fixture.dump()));
    fixture.events.clear();

    QVERIFY2(fixture.wait_for("registration:failed/1001", 60000), qPrintable(fixture.dump()));
    QVERIFY2(fixture.wait_for("dialog_end", 10000), qPrintable(fixture.dump()));
    // One call ended, so one end is reported: one history row.
    fixture.settle(1000);
    QCOMPARE(fixture.count("dialog_end"), 1);
    // Idle again, and the status line says why the phone cannot dial (the caller, silent but
    // answering its dialog, was no vanished peer: the registrar's loss ended the call).
    QVERIFY2(fixture.events.contains("status:サーバ応答なし"), qPrintable(fixture.dump()));
    QCOMPARE(phone->phase(), CallPhase::Idle);
    QVERIFY(phone->is_idle());
    QVERIFY(caller->wait_finished(10000));
    QCOMPARE(caller->exit_code(), 0);
    QCOMPARE(caller->received_requests("BYE").size(), 1);
    QVERIFY(fixture.stop());
    QVERIFY(read_text_file(ZimLogger::log_path()).contains("] timeout\n"));
}

// The old registrar is gone when the user points the account elsewhere: its unregistration
// fails, and the new account is registered all the same.
void TestRegistrationLoss::reregistration_survives_a_vanished_registrar()
{
    std::unique_ptr<SippRunner> old_holder;
    std::unique_ptr<SippRunner> new_holder;
    SippRunner* old_registrar = start_registrar(old_holder, "1001", "secret");
    SippRunner* new_registrar = start_registrar(new_holder, "2002", "other");
    QVERIFY(old_registrar && new_registrar);
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", old_registrar->port(), "1001", "secret");
    fixture.start();
    QVERIFY2(fixture.wait_for("registration:sucessful/1001"), qPrintable(fixture.dump()));
    old_registrar->stop();
    fixture.events.clear();

    fixture.set_account("127.0.0.1", new_registrar->port(), "2002", "other");
    fixture.phone()->request_reregistration();
    QVERIFY2(fixture.wait_for("registration:sucessful/2002", 60000), qPrintable(fixture.dump()));
    QVERIFY(fixture.events.contains("registration:failed/1001"));
    QVERIFY(fixture.stop());
}

// The caller no longer answers: its BYE would wait for the library's transaction timers. The end
// is reported at once all the same, and a call taken meanwhile keeps its own state and row.
void TestRegistrationLoss::timeout_ends_the_call_at_once_and_apart_from_the_next()
{
    SippRunner registrar(QStringLiteral("registrar_goes_silent.xml"));
    EngineFixture fixture;
    QVERIFY2(register_at_silent_registrar(registrar, fixture), qPrintable(fixture.dump()));
    ZimPhone* phone = fixture.phone();
    std::unique_ptr<SippRunner> caller;
    QVERIFY2(answer_caller(fixture, caller, "uac_call_ignores_bye.xml"), qPrintable(fixture.dump()));

    QVERIFY2(fixture.wait_for("registration:failed/1001", 60000), qPrintable(fixture.dump()));
    QVERIFY2(fixture.wait_for("dialog_end", 3000), qPrintable(fixture.dump()));
    QCOMPARE(fixture.ended_calls, QStringList({"202/1"}));
    QCOMPARE(phone->phase(), CallPhase::Idle);

    // The next call runs while the library still retries the first one's BYE.
    std::unique_ptr<SippRunner> next;
    QVERIFY2(answer_caller(fixture, next, "uac_call_waits_for_bye.xml", 2), qPrintable(fixture.dump()));
    QVERIFY(caller->wait_finished(60000)); // the first call's BYE has been given up
    fixture.settle(500);
    QCOMPARE(phone->phase(), CallPhase::Talking);
    QCOMPARE(fixture.ended_calls.size(), 1);
    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end", 10000, 2), qPrintable(fixture.dump()));
    fixture.settle(300);
    QCOMPARE(fixture.ended_calls, QStringList({"202/1", "202/1"}));
    QVERIFY(next->wait_finished(10000));
    QVERIFY(fixture.stop());
}

QTEST_GUILESS_MAIN(TestRegistrationLoss)
#include "tst_registration_loss.moc"
