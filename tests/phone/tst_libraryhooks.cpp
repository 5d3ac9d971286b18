// The library hooks on a SIP library of another version than they were written for: each stands
// aside with its line in the log, and the phone runs as the plain library does.
#include "data/zimlogger.h"
#include "enginefixture.h"
#include "phone/addresstext.h"
#include "phone/libraryhooks.h"
#include "support/kamailiorunner.h"
#include "support/sipprunner.h"
#include "support/testdir.h"

#include <QtTest>

class TestLibraryHooks : public QObject
{
    Q_OBJECT
private slots:
    void hooks_stand_aside_on_another_library_version()
    {
        // Before any engine: the check runs once per process, with the version it is given.
        library_hooks::check_at_start("5.3.0");
        SippRunner registrar(QStringLiteral("registrar.xml"));
        registrar.add_arguments({"-key", "authuser", "1001", "-key", "authpass", "secret", "-m", "10"});
        QVERIFY(registrar.start());
        EngineFixture fixture;
        fixture.set_account("127.0.0.1", registrar.port(), "1001", "secret");
        fixture.start();
        QVERIFY2(fixture.wait_for("registration:sucessful/1001", 15000), qPrintable(fixture.dump()));

        const QString log = read_text_file(ZimLogger::log_path());
        for (const char* hook :
             {"sal_address_as_string", "bctbx_recvfrom", "pulse_card_desc/alsa_card_desc", "card names",
              "belle_sip_message_parse_raw", "bctbx_ssl_set_hostname/bctbx_ssl_handshake",
              "ms_ticker_synchronizer_update/ms_flow_controlled_bufferizer"})
            QVERIFY2(log.contains(QStringLiteral("library hook %1 stands aside, the library's own behaviour "
                                                 "holds: the SIP library is 5.3.0")
                                      .arg(QLatin1String(hook))),
                     qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("library hooks in effect: none")), qPrintable(log));
        // The library's own address text again: it cuts a long display name, URI and all.
        QVERIFY(!AddressText::in_effect());
    }

    // Without the datagram check nothing tells the server's calls over UDP from a stranger's: they
    // are refused, none is answered by itself, and the idle status line says so until the desk
    // accepts unchecked calls.
    void udp_calls_are_refused_while_the_server_check_stands_aside()
    {
        library_hooks::check_at_start("5.3.0"); // as above, when this case runs alone
        KamailioRunner server;
        QVERIFY(server.start());
        for (const QString& checked : {QStringLiteral("1"), QStringLiteral("0")}) {
            EngineFixture fixture;
            fixture.set_account("127.0.0.1", server.port(), "1001", "secret");
            fixture.set_other(
                {{"callsFromServerOnly", checked}, {"autoAnswer", "1"}, {"autoAnswerDelay", "0"}});
            fixture.start();
            QVERIFY2(fixture.wait_for("registration:sucessful/1001", 15000), qPrintable(fixture.dump()));
            const bool refused = checked == QLatin1String("1");
            QCOMPARE(fixture.events.contains("status:着信元を確認できません"), refused);
            // The refused call ends at its 403; the one taken rings until the operator refuses it.
            SippRunner caller(refused ? QStringLiteral("uac_hostile_invite.xml")
                                      : QStringLiteral("uac_call_refused.xml"),
                              QStringLiteral("127.0.0.1:%1").arg(server.port()));
            caller.add_arguments({"-s", "1001", "-key", "from_name", "Taro", "-key", "from_user", "201",
                                  "-key", "extra_header", "X-A: 1", "-key", "content_type", "text/plain",
                                  "-key", "sdp", ""});
            QVERIFY(caller.start());
            if (refused) {
                QVERIFY(caller.wait_finished(15000));
                QVERIFY(fixture.events.filter("received").isEmpty());
                QVERIFY(read_text_file(ZimLogger::log_path()).contains("calls over UDP are refused"));
            } else {
                QVERIFY2(fixture.wait_for("received", 10000),
                         qPrintable(fixture.dump() + read_text_file(ZimLogger::log_path())));
                fixture.settle(500);
                QCOMPARE(fixture.count("status:通話中"), 0); // rings, never answered by itself
                fixture.phone()->request_hangup();
                QVERIFY(caller.wait_finished(15000));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestLibraryHooks)
#include "tst_libraryhooks.moc"
