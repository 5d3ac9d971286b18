// Secure and reachable accounts: SIP over TLS against Kamailio with certificates made here,
// SRTP against a second core, STUN/ICE against a small STUN responder, and no password in any log.

#include "data/zimconstants.h"
#include "data/zimlogger.h"
#include "enginefixture.h"
#include "phone/tlsaddress.h"
#include "support/kamailiorunner.h"
#include "support/peercore.h"
#include "support/rawsipserver.h"
#include "support/sipprunner.h"
#include "support/stunresponder.h"
#include "support/testca.h"
#include "support/testdir.h"
#include "ui/main/encryptionmark.h"

#include <QUdpSocket>
#include <QtTest>

#include <bctoolbox/crypto.h>
#include <linphone/logging.h>

#include <vector>

namespace {

// A desk registered at the proxy over TCP as 1001.
bool register_over_tcp(EngineFixture& fixture, KamailioRunner& proxy)
{
    fixture.set_account("127.0.0.1", proxy.tcp_port(), "1001", "secret");
    fixture.set_account_keys({{"transport", "TCP"}});
    fixture.start();
    return fixture.wait_for("registration:sucessful/1001", 15000);
}

} // namespace

class TestSecurity : public QObject
{
    Q_OBJECT
    QTemporaryDir certs;
    TestCa trusted; // the account's CA
    TestCa foreign; // a CA the account does not know
private slots:
    void initTestCase()
    {
        QVERIFY2(trusted.make(certs.path(), "trusted"), qPrintable(trusted.error));
        QVERIFY2(foreign.make(certs.path(), "foreign"), qPrintable(foreign.error));
    }
    void tls_registers_with_the_account_ca_and_calls_through_the_proxy();
    void tls_certificate_from_another_ca_fails_with_the_reason();
    void tls_server_written_as_an_address_is_checked_against_the_address_entry();
    void tls_server_names_are_kept_for_each_live_connection();
    void changed_to_tcp_registers_again_over_tcp();
    void overlong_uri_over_tcp_holds_no_call();
    void tcp_stream_is_framed_as_the_library_frames_it();
    void dropped_head_takes_its_body_over_tcp();
    void srtp_required_talks_encrypted_to_an_srtp_peer();
    void srtp_required_refuses_a_peer_without_srtp();
    void stun_server_is_asked_and_ice_candidates_are_offered();
    void set_ports_carry_the_call_and_a_port_in_use_is_reported();
};

void TestSecurity::tls_registers_with_the_account_ca_and_calls_through_the_proxy()
{
    KamailioRunner proxy;
    QVERIFY2(proxy.start_tls(trusted.certificate_file, trusted.key_file), qPrintable(proxy.log()));
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", proxy.tls_port(), "1001", "secret");
    fixture.set_account_keys(
        {{"transport", "TLS"}, {"caFile", trusted.ca_file}, {"operatorPW", "Kq7-operator"}});
    fixture.set_other({{"debugModel", "1"}});
    fixture.start();
    QVERIFY2(fixture.wait_for("registration:sucessful/1001", 15000),
             qPrintable(fixture.dump() + proxy.log()));
    QVERIFY2(proxy.log().contains("REGISTER over tls"), qPrintable(proxy.log()));
    // Whatever the library might quote from what it was given is masked in its log.
    linphone_logging_service_error(linphone_logging_service_get(), "quoted: secret Kq7-operator");

    // The call goes out over the TLS connection; Kamailio passes it on to sipp over UDP.
    SippRunner callee(QStringLiteral("uas_behind_proxy.xml"));
    QVERIFY(callee.start());
    ZimPhone* phone = fixture.phone();
    phone->request_dial(callee.uri("300"));
    QVERIFY2(fixture.wait_for("status:通話中", 15000), qPrintable(fixture.dump()));
    const auto invites = callee.received_requests("INVITE");
    QVERIFY(!invites.isEmpty());
    QVERIFY2(invites[0].header("Via").contains("SIP/2.0/UDP 127.0.0.1:" + QString::number(proxy.port())),
             qPrintable(invites[0].text));
    QVERIFY2(invites[0].text.contains("SIP/2.0/TLS"), qPrintable(invites[0].text));
    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QVERIFY(callee.wait_finished(10000));
    QCOMPARE(callee.exit_code(), 0);

    // With the library's log on, neither log holds a password.
    QVERIFY(fixture.stop());
    const QRegularExpression secrets(QStringLiteral("\\bsecret\\b|Kq7-operator"));
    const QString core_log = read_text_file(fixture.app_dir() + "/data/logs/core.log");
    QVERIFY(core_log.contains("REGISTER sip:"));
    QVERIFY(core_log.contains("quoted: ******** ********"));
    QVERIFY2(!core_log.contains(secrets), qPrintable(core_log.mid(core_log.indexOf(secrets) - 300, 400)));
    QVERIFY(!read_text_file(ZimLogger::log_path()).contains(secrets));
}

void TestSecurity::tls_certificate_from_another_ca_fails_with_the_reason()
{
    KamailioRunner proxy;
    QVERIFY2(proxy.start_tls(foreign.certificate_file, foreign.key_file), qPrintable(proxy.log()));
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", proxy.tls_port(), "1001", "secret");
    fixture.set_account_keys({{"transport", "TLS"}, {"caFile", trusted.ca_file}});
    ZimPhone* phone = fixture.start();
    QVERIFY2(fixture.wait_for("registration:failed/1001", 15000), qPrintable(fixture.dump()));
    // The lamp and the status line name the certificate, not a refused address.
    QVERIFY2(fixture.failures.contains(
                 "registration:証明書を確認できません/認証失敗：サーバの証明書を確認できません"),
             qPrintable(fixture.failures.join("\n")));
    // A dial that fails meanwhile does not leave "ダイヤルできます" beside the grey lamp.
    fixture.events.clear();
    phone->request_dial(QStringLiteral("201"));
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.events_named("status").last(), QStringLiteral("status:証明書を確認できません"));
    QVERIFY(!fixture.events.contains("status:ダイヤルできます"));
    QCOMPARE(fixture.count("registration:sucessful/1001"), 0);
    // Kamailio never saw a REGISTER, and the log says which server was refused and why.
    QVERIFY2(!proxy.log().contains("REGISTER over"), qPrintable(proxy.log()));
    const QString log = read_text_file(ZimLogger::log_path());
    QVERIFY2(
        log.contains(QStringLiteral("SIP server 127.0.0.1:%1 (TLS) not reached: ").arg(proxy.tls_port())),
        qPrintable(log));
    QVERIFY2(log.contains("Certificate verification failed"), qPrintable(log));

    // The CA that did sign the server's certificate, chosen while the phone runs, applies at once.
    fixture.set_account_keys({{"caFile", foreign.ca_file}});
    phone->request_reregistration();
    QVERIFY2(fixture.wait_for("registration:sucessful/1001", 15000),
             qPrintable(fixture.dump() + proxy.log()));
    // And while registered: a CA that does not sign it ends the registration at once, not at the
    // next start (the open connection was checked against the old CA).
    fixture.set_account_keys({{"caFile", trusted.ca_file}});
    phone->request_reregistration();
    QVERIFY2(fixture.wait_for("registration:failed/1001", 15000), qPrintable(fixture.dump()));
    QVERIFY(fixture.stop());
}

// Operators type the server's address. A certificate that names it as an IP address (and
// "localhost" as a DNS name) is accepted; one that names another address is not, however it
// chains.
void TestSecurity::tls_server_written_as_an_address_is_checked_against_the_address_entry()
{
    TestCa by_address;
    QVERIFY2(by_address.make(certs.path(), "address", "IP:127.0.0.1,DNS:localhost"),
             qPrintable(by_address.error));
    TestCa other_address;
    QVERIFY2(other_address.make(certs.path(), "other", "IP:127.0.0.2,DNS:localhost"),
             qPrintable(other_address.error));
    for (const TestCa* ca : {&by_address, &other_address}) {
        KamailioRunner proxy;
        QVERIFY2(proxy.start_tls(ca->certificate_file, ca->key_file), qPrintable(proxy.log()));
        EngineFixture fixture;
        fixture.set_account("127.0.0.1", proxy.tls_port(), "1001", "secret");
        fixture.set_account_keys({{"transport", "TLS"}, {"caFile", ca->ca_file}});
        fixture.start();
        const bool named = ca == &by_address;
        QVERIFY2(fixture.wait_for(named ? "registration:sucessful/1001" : "registration:failed/1001", 15000),
                 qPrintable(fixture.dump() + proxy.log()));
        QCOMPARE(proxy.log().contains("REGISTER over tls"), named);
        QVERIFY(fixture.stop());
    }
}

// The name the address check needs is there for every open connection however many there were
// before (a handshake without it failed the account until a restart), and goes with its
// connection: the toolbox gives a freed context's memory to the next one.
void TestSecurity::tls_server_names_are_kept_for_each_live_connection()
{
    const auto name = [](int i) { return QStringLiteral("127.0.%1.%2").arg(i / 200).arg(i % 200 + 1); };
    std::vector<bctbx_ssl_context_t*> contexts;
    for (int i = 0; i < 300; ++i) {
        contexts.push_back(bctbx_ssl_context_new());
        QCOMPARE(bctbx_ssl_set_hostname(contexts.back(), qPrintable(name(i))), 0);
    }
    for (int i = 0; i < 300; ++i)
        QCOMPARE(tls_address::server_name(contexts[i]), name(i));
    for (bctbx_ssl_context_t* context : contexts)
        bctbx_ssl_context_free(context);
    for (bctbx_ssl_context_t* context : contexts)
        QCOMPARE(tls_address::server_name(context), QString());
}

// Saving a TCP account over a registered UDP one goes through the usual re-registration.
void TestSecurity::changed_to_tcp_registers_again_over_tcp()
{
    KamailioRunner proxy;
    QVERIFY2(proxy.start_tls(trusted.certificate_file, trusted.key_file), qPrintable(proxy.log()));
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", proxy.port(), "1001", "secret");
    fixture.start();
    QVERIFY2(fixture.wait_for("registration:sucessful/1001", 15000), qPrintable(fixture.dump()));
    QVERIFY(proxy.log().contains("REGISTER over udp"));

    fixture.set_account("127.0.0.1", proxy.tcp_port(), "1001", "secret");
    fixture.set_account_keys({{"transport", "TCP"}});
    fixture.phone()->request_reregistration();
    QVERIFY2(fixture.wait_for("registration:sucessful/1001", 15000, 2), qPrintable(fixture.dump()));
    QVERIFY2(proxy.log().contains("REGISTER over tcp"), qPrintable(proxy.log()));
}

// Over TCP the library reads the stream itself; a caller's 8000-character From that the PBX passes
// on is still kept from its parser (which held the phone over 40 s), and the next call rings.
void TestSecurity::overlong_uri_over_tcp_holds_no_call()
{
    KamailioRunner proxy;
    QVERIFY2(proxy.start_tls(trusted.certificate_file, trusted.key_file), qPrintable(proxy.log()));
    EngineFixture fixture;
    QVERIFY2(register_over_tcp(fixture, proxy), qPrintable(fixture.dump()));
    const QString server = QStringLiteral("127.0.0.1:%1").arg(proxy.port());
    SippRunner hostile(QStringLiteral("uac_hostile_invite.xml"), server);
    hostile.add_arguments({"-s", "1001", "-key", "from_name", "X", "-key", "from_user", QString(8000, 'a'),
                           "-key", "extra_header", "X-A: 1", "-key", "content_type", "application/sdp",
                           "-key", "sdp", ""});
    QVERIFY(hostile.start());
    QTest::qWait(300);
    SippRunner caller(QStringLiteral("uac_call_refused.xml"), server);
    caller.add_arguments({"-s", "1001"});
    QVERIFY(caller.start());
    QVERIFY2(fixture.wait_for("received", 5000), qPrintable(fixture.dump()));
    QCOMPARE(fixture.count("received"), 1);
    fixture.phone()->request_hangup();
    QVERIFY(caller.wait_finished(10000));
    QVERIFY(read_text_file(ZimLogger::log_path())
                .contains("SIP message dropped before parsing: a URI user part of 8000 characters"));
    hostile.stop();
}

// The body of a head the check drops is no message: here it is a whole INVITE, which the library
// read as the next message on the server's connection, and the phone rang for it.
void TestSecurity::dropped_head_takes_its_body_over_tcp()
{
    KamailioRunner proxy;
    QVERIFY2(proxy.start_tls(trusted.certificate_file, trusted.key_file), qPrintable(proxy.log()));
    EngineFixture fixture;
    QVERIFY2(register_over_tcp(fixture, proxy), qPrintable(fixture.dump()));
    const QString server = QStringLiteral("127.0.0.1:%1").arg(proxy.port());
    const QString inner = QStringLiteral("INVITE sip:1001@127.0.0.1 SIP/2.0\r\n"
                                         "Via: SIP/2.0/TCP 127.0.0.1:5099;branch=z9hG4bK-inner\r\n"
                                         "From: \"Director\" <sip:999@127.0.0.1>;tag=inner\r\n"
                                         "To: <sip:1001@127.0.0.1>\r\nCall-ID: smuggled-inner\r\n"
                                         "CSeq: 1 INVITE\r\nContact: <sip:999@127.0.0.1:5099>\r\n"
                                         "Max-Forwards: 70\r\nContent-Length: 0\r\n\r\n");
    SippRunner hostile(QStringLiteral("uac_hostile_invite.xml"), server);
    hostile.add_arguments({"-s", "1001", "-key", "from_name", "X", "-key", "from_user", QString(600, 'a'),
                           "-key", "extra_header", "X-A: 1", "-key", "content_type", "message/sip", "-key",
                           "sdp", inner});
    QVERIFY(hostile.start());
    const QString log_path = ZimLogger::log_path();
    QVERIFY2(
        fixture.wait_until(
            [&] { return read_text_file(log_path).contains("a URI user part of 600 characters"); }, 10000),
        qPrintable(fixture.dump()));
    fixture.settle(1000);
    QVERIFY2(fixture.received_params.isEmpty(), qPrintable(fixture.received_params.value(0).value("callId")));
    SippRunner caller(QStringLiteral("uac_call_refused.xml"), server);
    caller.add_arguments({"-s", "1001"});
    QVERIFY(caller.start());
    QVERIFY2(fixture.wait_for("received", 5000), qPrintable(fixture.dump()));
    QCOMPARE(fixture.received_params.size(), 1);
    QCOMPARE(fixture.received_params.first().value("callerName"), QStringLiteral("Jiro"));
    fixture.phone()->request_hangup();
    QVERIFY(caller.wait_finished(10000));
    hostile.stop();
}

// The server's stream as it may be cut: two messages in one segment, one over three, a body that
// arrives later than its head. Each message is answered once, when it is whole; a dropped head takes
// its body with it, and the message after it is answered.
void TestSecurity::tcp_stream_is_framed_as_the_library_frames_it()
{
    RawSipServer server;
    QVERIFY(server.listen());
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", server.port(), "1001", "secret");
    fixture.set_account_keys({{"transport", "TCP"}});
    fixture.start();
    QVERIFY(server.accept_registration());
    QVERIFY2(fixture.wait_for("registration:sucessful/1001", 15000), qPrintable(fixture.dump()));

    server.write_segment(server_options("two-a") + server_options("two-b"));
    const QByteArray three = server_options("three", "a body of text");
    for (int start : {0, 20, 60}) {
        server.write_segment(three.mid(start, start == 60 ? -1 : (start == 0 ? 20 : 40)));
        fixture.settle(100);
    }
    const QByteArray later = server_options("later", "0123456789abcdefghij");
    server.write_segment(later.left(later.size() - 10));
    fixture.settle(500);
    QCOMPARE(server.answers_to("later"), 0);
    server.write_segment(later.right(10));
    QByteArray dropped = server_options("outer", server_options("inner"));
    dropped.replace("<sip:pbx@", "<sip:" + QByteArray(700, 'a') + "@");
    server.write_segment(dropped + server_options("after"));
    QVERIFY2(fixture.wait_until([&] { return server.answers_to("after") == 1; }, 5000),
             qPrintable(server.received().join("\n\n")));
    for (const char* call_id : {"two-a", "two-b", "three", "later"})
        QVERIFY2(server.answers_to(call_id) == 1, call_id);
    QCOMPARE(server.answers_to("inner"), 0);
    QCOMPARE(server.answers_to("outer"), 0);
}

void TestSecurity::srtp_required_talks_encrypted_to_an_srtp_peer()
{
    EngineFixture fixture;
    fixture.set_account_keys({{"mediaEncryption", "srtpRequired"}});
    ZimPhone* phone = fixture.start();
    QWidget screen; // the main window's number screen, where the padlock sits
    auto* mark = new EncryptionMark(&screen, phone);
    screen.show();
    PeerCore peer;
    peer.use_srtp(true);
    phone->request_dial(peer.uri("peer"));
    QVERIFY2(fixture.wait_for("status:通話中", 15000), qPrintable(fixture.dump()));
    QVERIFY2(fixture.wait_for("encrypted"), qPrintable(fixture.dump()));
    QVERIFY(fixture.wait_until([&] { return peer.media_encrypted(); }));
    QVERIFY(mark->isVisible());
    // Over UDP the keys went through the network in the clear, and the padlock says so.
    QCOMPARE(mark->toolTip(), zim::TIP_ENCRYPTED_MEDIA_OPEN_KEYS);
    phone->request_hangup();
    QVERIFY2(fixture.wait_for("plain"), qPrintable(fixture.dump()));
    QVERIFY(!mark->isVisible());
    QVERIFY(fixture.wait_for("dialog_end"));
}

void TestSecurity::srtp_required_refuses_a_peer_without_srtp()
{
    EngineFixture fixture;
    fixture.set_account_keys({{"mediaEncryption", "srtpRequired"}});
    ZimPhone* phone = fixture.start();
    // sipp answers in the clear whatever it was offered.
    SippRunner callee(QStringLiteral("callee.xml"));
    QVERIFY(callee.start());
    phone->request_dial(callee.uri("204"));
    QVERIFY2(fixture.wait_for("status:暗号化通話できません", 15000), qPrintable(fixture.dump()));
    QCOMPARE(fixture.count("timer"), 0);
    QCOMPARE(fixture.count("encrypted"), 0);
    QVERIFY(fixture.events.contains("audio:./share/sounds/failed.wav"));
    // The refusal stays readable for a moment, then the phone is ready again.
    QVERIFY2(fixture.wait_until([&] { return fixture.events.last() == "status:ダイヤルできます"; }, 6000),
             qPrintable(fixture.dump()));
}

void TestSecurity::stun_server_is_asked_and_ice_candidates_are_offered()
{
    StunResponder stun;
    EngineFixture fixture;
    fixture.set_account_keys({{"stunServer", stun.address()}});
    ZimPhone* phone = fixture.start();
    SippRunner callee(QStringLiteral("callee.xml"));
    QVERIFY(callee.start());
    phone->request_dial(callee.uri("204"));
    QVERIFY2(fixture.wait_for("status:通話中", 15000), qPrintable(fixture.dump()));
    QVERIFY(stun.binding_requests > 0);
    const auto invites = callee.received_requests("INVITE");
    QVERIFY(!invites.isEmpty());
    QVERIFY2(invites[0].body().contains("a=candidate:"), qPrintable(invites[0].body()));
    phone->request_hangup();
    QVERIFY(fixture.wait_for("dialog_end"));
}

// A desk behind a firewall: the INVITE leaves from the SIP port set and offers audio from the
// range; a SIP port another program holds is reported, and the phone calls from another.
void TestSecurity::set_ports_carry_the_call_and_a_port_in_use_is_reported()
{
    QUdpSocket other_program;
    QVERIFY(other_program.bind(QHostAddress::Any, 0, QUdpSocket::DontShareAddress));
    const int taken = other_program.localPort();
    int free_port = 0;
    {
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress::Any, 0, QUdpSocket::DontShareAddress));
        free_port = probe.localPort();
    }
    SippRunner callee(QStringLiteral("callee.xml"));
    callee.add_arguments({"-m", "2"});
    QVERIFY(callee.start());
    {
        EngineFixture fixture;
        fixture.set_account_keys({{"localSipPort", QString::number(free_port)},
                                  {"audioPorts", "41000-41003"},
                                  {"audioDscp", "34"}});
        ZimPhone* phone = fixture.start();
        QVERIFY(fixture.wait_until([&] { return phone->local_sip_port() == free_port; }));
        phone->request_dial(callee.uri("204"));
        QVERIFY2(fixture.wait_for("status:通話中", 15000), qPrintable(fixture.dump()));
        const auto invites = callee.received_requests("INVITE");
        QVERIFY(!invites.isEmpty());
        QVERIFY2(invites[0].header("Via").contains(QStringLiteral(":%1;").arg(free_port)),
                 qPrintable(invites[0].text));
        QVERIFY2(invites[0].body().contains(QRegularExpression("m=audio 4100[02] ")),
                 qPrintable(invites[0].body()));
        QVERIFY(fixture.events_named("message").isEmpty());
        phone->request_hangup();
        QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    }
    EngineFixture fixture;
    fixture.set_account_keys({{"localSipPort", QString::number(taken)}});
    ZimPhone* phone = fixture.start();
    const QString message = QStringLiteral("message:ローカルSIPポート%1は使用中のため開けません。"
                                           "空いているポートで動作します")
                                .arg(taken);
    QVERIFY2(fixture.wait_for(message), qPrintable(fixture.dump()));
    QVERIFY(read_text_file(ZimLogger::log_path())
                .contains(QStringLiteral("local SIP port %1 cannot be opened").arg(taken)));
    QVERIFY(phone->local_sip_port() > 0 && phone->local_sip_port() != taken);
    phone->request_dial(callee.uri("204"));
    QVERIFY2(fixture.wait_for("status:通話中", 15000), qPrintable(fixture.dump()));
    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
}

QTEST_MAIN(TestSecurity)
#include "tst_security.moc"
