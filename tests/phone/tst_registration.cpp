// Registration of the account against sipp registrars on 127.0.0.1.

#include "data/zimlogger.h"
#include "enginefixture.h"
#include "support/kamailiorunner.h"
#include "support/sipprunner.h"
#include "support/soundserver.h"
#include "support/testdir.h"

#include <QtTest>

namespace {

SippRunner* start_registrar(std::unique_ptr<SippRunner>& holder, const QString& user, const QString& password)
{
    holder = std::make_unique<SippRunner>(QStringLiteral("registrar.xml"));
    holder->add_arguments({"-key", "authuser", user, "-key", "authpass", password, "-m", "10"});
    return holder->start() ? holder.get() : nullptr;
}

} // namespace

class TestRegistration : public QObject
{
    Q_OBJECT
private slots:
    void digest_challenge_then_registered();
    void rejection_reports_failed();
    void password_beyond_latin1_registers();
    void empty_password_sends_nothing();
    void unparsable_identity_sends_nothing();
    void reregistration_while_registered_unregisters_first();
    void reregistration_while_unregistered_applies_at_once();
    void registration_during_a_call_keeps_the_status();
    void reapply_after_an_incomplete_account_registers_again();
    void reapplies_leave_one_contact_at_the_registrar();
    void stalled_sound_server_holds_no_registration();
    void long_uri_from_the_server_leaves_the_registration_in_flight();
};

void TestRegistration::digest_challenge_then_registered()
{
    std::unique_ptr<SippRunner> holder;
    SippRunner* registrar = start_registrar(holder, "1001", "secret");
    QVERIFY(registrar);
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", registrar->port(), "1001", "secret");
    fixture.start();

    QVERIFY2(fixture.wait_for("registration:sucessful/1001"), qPrintable(fixture.dump()));
    QVERIFY(fixture.wait_for("status:ダイヤルできます"));
    QCOMPARE(fixture.events, QStringList({"registration:progress/1001", "registration:sucessful/1001",
                                          "operator_login", "status:ダイヤルできます"}));

    const auto registers = registrar->received_requests("REGISTER");
    QVERIFY(registers.size() >= 2);
    const auto& first = registers[0];
    QCOMPARE(first.first_line(), QStringLiteral("REGISTER sip:127.0.0.1:%1 SIP/2.0").arg(registrar->port()));
    QVERIFY2(first.header("From").contains("sip:1001@127.0.0.1"), qPrintable(first.header("From")));
    QVERIFY(first.header("To").contains("sip:1001@127.0.0.1"));
    QCOMPARE(first.header("Expires"), QStringLiteral("60"));
    QVERIFY2(first.header("User-Agent").startsWith("Velora Softphone Zarari/1.4.0"),
             qPrintable(first.header("User-Agent")));
    QVERIFY(first.header("Authorization").isEmpty());
    // The answer to the challenge: the registrar checked the digest against 1001/secret.
    QVERIFY(registers[1].header("Authorization").contains("username=\"1001\""));
    QCOMPARE(registers[1].header("Expires"), QStringLiteral("60"));
    QVERIFY(fixture.stop());
}

void TestRegistration::rejection_reports_failed()
{
    SippRunner registrar(QStringLiteral("registrar_rejects.xml"));
    QVERIFY(registrar.start());
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", registrar.port(), "1001", "secret");
    fixture.start();

    QVERIFY2(fixture.wait_for("registration:failed/1001"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.events.first(), QStringLiteral("registration:progress/1001"));
    QCOMPARE(fixture.count("registration:sucessful/1001"), 0);
    QCOMPARE(fixture.count("operator_login"), 0);
    QCOMPARE(fixture.failures.value(0),
             "registration:ID・パスワード誤り/認証失敗：ID またはパスワードが違います");
    QVERIFY(fixture.stop());
    // The library's reason reaches the application log.
    QVERIFY(read_text_file(ZimLogger::log_path()).contains("Forbidden"));
}

void TestRegistration::empty_password_sends_nothing()
{
    std::unique_ptr<SippRunner> holder;
    SippRunner* registrar = start_registrar(holder, "1001", "secret");
    QVERIFY(registrar);
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", registrar->port(), "1001", "");
    fixture.start();
    fixture.settle(1500);
    QVERIFY(fixture.stop());
    // Other suites add and remove devices on the shared sound server meanwhile; those are told.
    QStringList events = fixture.events;
    events.removeAll(QStringLiteral("devices_changed"));
    QVERIFY2(events.isEmpty(), qPrintable(fixture.dump()));
    QVERIFY(registrar->messages().isEmpty());
}

void TestRegistration::unparsable_identity_sends_nothing()
{
    EngineFixture fixture;
    fixture.set_account("127.0.0.1 <bad>", 5060, "10 01", "secret");
    fixture.start();
    fixture.settle(800);
    QVERIFY(fixture.stop());
    QVERIFY2(fixture.events.isEmpty(), qPrintable(fixture.dump()));
}

void TestRegistration::reregistration_while_registered_unregisters_first()
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
    fixture.events.clear();

    fixture.set_account("127.0.0.1", new_registrar->port(), "2002", "other");
    fixture.phone()->request_reregistration();
    QVERIFY2(fixture.wait_for("registration:sucessful/2002"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.events.mid(0, 3),
             QStringList({"registration:unresigter/1001", "registration:progress/2002",
                          "registration:sucessful/2002"}));

    // The old registrar saw the binding removed, the new one a registration of the new account.
    bool removed = false;
    for (const auto& message : old_registrar->received_requests("REGISTER"))
        removed = removed || message.header("Expires") == QStringLiteral("0");
    QVERIFY(removed);
    const auto fresh = new_registrar->received_requests("REGISTER");
    QVERIFY(!fresh.isEmpty());
    QVERIFY(fresh[0].header("From").contains("sip:2002@127.0.0.1"));
    QCOMPARE(fresh[0].header("Expires"), QStringLiteral("60"));
    QVERIFY(fixture.stop());
}

void TestRegistration::reregistration_while_unregistered_applies_at_once()
{
    std::unique_ptr<SippRunner> holder;
    SippRunner* registrar = start_registrar(holder, "1001", "secret");
    QVERIFY(registrar);
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", registrar->port(), "1001", "");
    fixture.start();
    fixture.settle(300);
    QVERIFY2(fixture.events.isEmpty(), qPrintable(fixture.dump()));

    fixture.set_account("127.0.0.1", registrar->port(), "1001", "secret");
    fixture.phone()->request_reregistration();
    QVERIFY2(fixture.wait_for("registration:sucessful/1001"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.events.first(), QStringLiteral("registration:progress/1001"));
    QCOMPARE(fixture.count("registration:unresigter/1001"), 0);
    QVERIFY(fixture.stop());
}

// A registration that succeeds while a call is up reports itself but leaves the status line.
void TestRegistration::registration_during_a_call_keeps_the_status()
{
    std::unique_ptr<SippRunner> holder;
    SippRunner* registrar = start_registrar(holder, "1001", "secret");
    QVERIFY(registrar);
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", registrar->port(), "1001", "secret");
    fixture.set_other({{"callsFromServerOnly", "0"}}); // a sipp registrar relays no calls
    ZimPhone* phone = fixture.start();
    QVERIFY2(fixture.wait_for("registration:sucessful/1001"), qPrintable(fixture.dump()));
    SippRunner caller(QStringLiteral("uac_call_waits_for_bye.xml"),
                      QStringLiteral("127.0.0.1:%1").arg(phone->local_sip_port()));
    caller.add_arguments({"-s", "1001"});
    QVERIFY(caller.start());
    QVERIFY2(fixture.wait_for("received"), qPrintable(fixture.dump()));
    phone->request_answer();
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));
    fixture.events.clear();

    phone->request_reregistration();
    QVERIFY2(fixture.wait_for("operator_login"), qPrintable(fixture.dump()));
    fixture.settle(200);
    QCOMPARE(fixture.events, QStringList({"registration:unresigter/1001", "registration:progress/1001",
                                          "registration:sucessful/1001", "operator_login"}));
    QCOMPARE(phone->phase(), CallPhase::Talking);

    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QVERIFY(caller.wait_finished(10000));
    QCOMPARE(caller.exit_code(), 0);
    QVERIFY(fixture.stop());
}

// The user first saves an account without password (the old registration ends, nothing new is
// registered), then completes it: the completed account is registered.
void TestRegistration::reapply_after_an_incomplete_account_registers_again()
{
    std::unique_ptr<SippRunner> holder;
    SippRunner* registrar = start_registrar(holder, "1001", "secret");
    QVERIFY(registrar);
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", registrar->port(), "1001", "secret");
    ZimPhone* phone = fixture.start();
    QVERIFY2(fixture.wait_for("registration:sucessful/1001"), qPrintable(fixture.dump()));
    fixture.events.clear();

    fixture.set_account("127.0.0.1", registrar->port(), "1001", "");
    phone->request_reregistration();
    QVERIFY2(fixture.wait_for("registration:unresigter/1001"), qPrintable(fixture.dump()));
    fixture.settle(300);
    QCOMPARE(fixture.events, QStringList({"registration:unresigter/1001"}));

    fixture.set_account("127.0.0.1", registrar->port(), "1001", "secret");
    phone->request_reregistration();
    QVERIFY2(fixture.wait_for("registration:sucessful/1001"), qPrintable(fixture.dump()));
    QVERIFY(fixture.stop());
}

// Quick re-applies, each served while the one before still waits for its registration to end,
// leave one contact at the registrar, that of the last account.
void TestRegistration::reapplies_leave_one_contact_at_the_registrar()
{
    KamailioRunner registrar;
    QVERIFY(registrar.start());
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", registrar.port(), "1001", "secret");
    ZimPhone* phone = fixture.start();
    QVERIFY2(fixture.wait_for("registration:sucessful/1001"), qPrintable(fixture.dump()));
    const QStringList users = {"1001", "1002", "1003", "1004"};
    for (const QString& user : users.mid(1)) {
        fixture.set_account("127.0.0.1", registrar.port(), user, "secret");
        phone->request_reregistration();
        fixture.settle(70);
    }
    QVERIFY2(fixture.wait_for("registration:sucessful/1004"), qPrintable(fixture.dump()));
    fixture.settle(1500);
    for (const QString& user : users)
        QCOMPARE(registrar.contacts(user).size(), user == "1004" ? 1 : 0);
    QVERIFY(fixture.stop());
}

// A password beyond Latin-1 reaches the digest as the UTF-8 the registrar checks, not as "?".
void TestRegistration::password_beyond_latin1_registers()
{
    std::unique_ptr<SippRunner> holder;
    SippRunner* registrar = start_registrar(holder, "1001", QStringLiteral("秘密-pass"));
    QVERIFY(registrar);
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", registrar->port(), "1001", QStringLiteral("秘密-pass"));
    fixture.start();
    QVERIFY2(fixture.wait_for("registration:sucessful/1001"), qPrintable(fixture.dump()));
}

// A sound server that takes connections and answers none (a swamped one, here a stopped one) used
// to hold the start for libpulse's 30 s timeout: the phone now registers while it stalls, and
// gets the server's devices once it answers again.
void TestRegistration::stalled_sound_server_holds_no_registration()
{
    PrivateSoundServer sound;
    QVERIFY(sound.start());
    sound.point_here();
    sound.freeze();
    std::unique_ptr<SippRunner> holder;
    SippRunner* registrar = start_registrar(holder, "1001", "secret");
    QVERIFY(registrar);
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", registrar->port(), "1001", "secret");
    ZimPhone* phone = fixture.start();
    const bool registered = fixture.wait_for("registration:sucessful/1001", 20000);
    sound.thaw();
    QVERIFY2(registered, qPrintable(fixture.dump()));
    const auto has_sink = [&] {
        return phone->sound_devices().value("playback").join(' ').contains("Null Output");
    };
    QVERIFY2(fixture.wait_until(has_sink, 10000),
             qPrintable(phone->sound_devices().value("playback").join(", ")));
}

// A PBX forwards a caller's overlong From to the phone while the phone's REGISTER waits for its
// answer on the same channel: the message is refused with 400, the REGISTER is answered and the
// account stays registered.
void TestRegistration::long_uri_from_the_server_leaves_the_registration_in_flight()
{
    SippRunner registrar(QStringLiteral("registrar_long_uri_in_flight.xml"));
    registrar.add_arguments({"-key", "long_user", QString(600, 'a')});
    QVERIFY(registrar.start());
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", registrar.port(), "1001", "secret");
    fixture.start();
    QVERIFY2(fixture.wait_for("registration:sucessful/1001"), qPrintable(fixture.dump()));
    QVERIFY2(registrar.wait_finished(10000), qPrintable(registrar.output()));
    QCOMPARE(registrar.exit_code(), 0);
    bool refused = false;
    for (const SippRunner::Message& message : registrar.messages())
        refused = refused ||
                  (message.received && message.first_line() == QStringLiteral("SIP/2.0 400 URI Too Long"));
    QVERIFY2(refused, qPrintable(registrar.output()));
    fixture.settle(300);
    QCOMPARE(fixture.count("registration:failed/1001"), 0);
    QVERIFY(read_text_file(ZimLogger::log_path())
                .contains(
                    QStringLiteral("SIP message from 127.0.0.1:%1 dropped: a URI user part of 600 characters")
                        .arg(registrar.port())));
    QVERIFY(fixture.stop());
}

QTEST_GUILESS_MAIN(TestRegistration)
#include "tst_registration.moc"
