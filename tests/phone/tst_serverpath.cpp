// Only the account's server reaches the phone, on every path: requests inside a call, transfers the
// other party asks for, INVITEs from a forged source, and calls over the phone's own TCP connection.
// Callers go through Kamailio, as on a desk; strangers send from sockets of their own.

#include "data/zimlogger.h"
#include "enginefixture.h"
#include "phone/contactkey.h"
#include "support/forgedudp.h"
#include "support/kamailiorunner.h"
#include "support/sipprunner.h"
#include "support/testca.h"
#include "support/testdir.h"

#include <QRegularExpression>
#include <QUdpSocket>
#include <QtTest>

namespace {

// A desk registered at Kamailio over UDP as 1001.
bool register_desk(EngineFixture& fixture, KamailioRunner& server, const QMap<QString, QString>& other = {})
{
    fixture.set_account("127.0.0.1", server.port(), "1001", "secret");
    fixture.set_other(other);
    fixture.start();
    return fixture.wait_for("registration:sucessful/1001", 15000);
}

// A caller through the server, answered by the operator (or by the phone itself).
bool answered_call(EngineFixture& fixture, SippRunner& caller, bool by_itself = false)
{
    caller.add_arguments({"-s", "1001"});
    if (!caller.start() || !fixture.wait_for("received", 10000))
        return false;
    if (!by_itself)
        fixture.phone()->request_answer();
    return fixture.wait_for("status:通話中", 10000);
}

QString tag_of(const QString& header)
{
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral(";tag=([^;>\\s]+)")).match(header);
    return match.captured(1);
}

// A request inside the caller's call, written as the caller would, but sent by whoever sends it.
QByteArray in_dialog(const QByteArray& method, const SippRunner& caller, quint16 phone_port,
                     quint16 from_port, const QByteArray& extra)
{
    QString to;
    QString from;
    QString call_id;
    for (const auto& message : caller.messages()) {
        if (message.received && message.first_line().startsWith("SIP/2.0 200") &&
            message.header("CSeq").endsWith("INVITE")) {
            to = message.header("To");
            from = message.header("From");
            call_id = message.header("Call-ID");
        }
    }
    const QByteArray text = method + " sip:1001@127.0.0.1:" + QByteArray::number(phone_port) +
                            " SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:" + QByteArray::number(from_port) +
                            ";branch=z9hG4bK-stranger" + method + "\r\nFrom: " + from.toUtf8() +
                            "\r\nTo: " + to.toUtf8() + "\r\nCall-ID: " + call_id.toUtf8() + "\r\nCSeq: 9 " +
                            method + "\r\nContact: <sip:201@127.0.0.1:" + QByteArray::number(from_port) +
                            ">\r\nMax-Forwards: 70\r\n" + extra + "Content-Length: 0\r\n\r\n";
    return tag_of(to).isEmpty() ? QByteArray() : text;
}

// Whether anything arrives on the socket within the time.
bool hears_anything(QUdpSocket& socket, int ms)
{
    return socket.waitForReadyRead(ms) || socket.hasPendingDatagrams();
}

// A caller through the server, answered, who asks the desk to be transferred to the target's number.
bool answered_referring_call(EngineFixture& fixture, KamailioRunner& server, SippRunner& caller,
                             const SippRunner& target)
{
    if (!register_desk(fixture, server))
        return false;
    caller.add_arguments({"-key", "refer_to", QStringLiteral("<sip:%1@127.0.0.1>").arg(target.number())});
    return answered_call(fixture, caller);
}

} // namespace

class TestServerPath : public QObject
{
    Q_OBJECT
    QTemporaryDir certs;
private slots:
    void stranger_inside_a_call_is_refused_and_changes_nothing();
    void transfer_asked_by_the_caller_goes_to_the_number_through_the_server();
    void transfer_to_no_number_or_on_a_desk_that_refuses_them_is_declined();
    void transfer_asked_by_the_caller_is_a_call_of_its_own();
    void transfer_asked_to_a_busy_number_has_its_row_and_gives_the_caller_back();
    void forged_server_source_neither_rings_nor_answers();
    void server_that_drops_the_key_rings_without_answering_by_itself();
    void tcp_desk_answers_a_server_call_by_itself();
};

// While a call the server brought is connected, a REFER and a re-INVITE come from another port of the
// same host, with the call's own identifiers: 403, no transfer, no hold, the call goes on.
void TestServerPath::stranger_inside_a_call_is_refused_and_changes_nothing()
{
    KamailioRunner server;
    QVERIFY(server.start());
    EngineFixture fixture;
    QVERIFY2(register_desk(fixture, server), qPrintable(fixture.dump()));
    SippRunner caller(QStringLiteral("uac_call_waits_for_bye.xml"),
                      QStringLiteral("127.0.0.1:%1").arg(server.port()));
    QVERIFY2(answered_call(fixture, caller), qPrintable(fixture.dump()));
    QUdpSocket target; // the host a REFER would send the phone to
    QVERIFY(target.bind(QHostAddress(QHostAddress::LocalHost), 0));
    QUdpSocket stranger;
    QVERIFY(stranger.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const quint16 phone_port = quint16(fixture.phone()->local_sip_port());
    QByteArray refer;
    QVERIFY(fixture.wait_until([&] {
        refer = in_dialog("REFER", caller, phone_port, stranger.localPort(),
                          "Refer-To: <sip:0900123456@127.0.0.1:" + QByteArray::number(target.localPort()) +
                              ">\r\n");
        return !refer.isEmpty();
    }));
    const QByteArray reinvite = in_dialog("INVITE", caller, phone_port, stranger.localPort(), QByteArray());
    for (const QByteArray& request : {refer, reinvite}) {
        stranger.writeDatagram(request, QHostAddress::LocalHost, phone_port);
        QVERIFY(fixture.wait_until([&] { return stranger.hasPendingDatagrams(); }, 5000));
        QByteArray answer(int(stranger.pendingDatagramSize()), '\0');
        stranger.readDatagram(answer.data(), answer.size());
        QVERIFY2(answer.startsWith("SIP/2.0 403"), answer.constData());
    }
    QVERIFY(!hears_anything(target, 1500));
    fixture.settle(300);
    QCOMPARE(fixture.phone()->phase(), CallPhase::Talking);
    QVERIFY(caller.received_requests("INVITE").isEmpty()); // never put on hold
    QVERIFY(read_text_file(ZimLogger::log_path()).contains("request refused: a REFER came from 127.0.0.1:"));
    fixture.phone()->request_hangup();
    QVERIFY(caller.wait_finished(10000));
}

// The caller asks for a transfer to a number at some host: the phone calls that number at its own
// server, as the operator would dial it, and never the host the REFER names.
void TestServerPath::transfer_asked_by_the_caller_goes_to_the_number_through_the_server()
{
    KamailioRunner server;
    QVERIFY(server.start());
    SippRunner callee(QStringLiteral("callee.xml"));
    QVERIFY(callee.start());
    QUdpSocket named_host;
    QVERIFY(named_host.bind(QHostAddress(QHostAddress::LocalHost), 0));
    EngineFixture fixture;
    QVERIFY2(register_desk(fixture, server), qPrintable(fixture.dump()));
    SippRunner caller(QStringLiteral("uac_refers.xml"), QStringLiteral("127.0.0.1:%1").arg(server.port()));
    caller.add_arguments(
        {"-key", "refer_to",
         QStringLiteral("<sip:%1@127.0.0.1:%2>").arg(callee.number()).arg(named_host.localPort())});
    QVERIFY2(answered_call(fixture, caller), qPrintable(fixture.dump()));
    QVERIFY2(fixture.wait_until([&] { return !callee.received_requests("INVITE").isEmpty(); }, 10000),
             qPrintable(fixture.dump() + read_text_file(ZimLogger::log_path())));
    const QString invite = callee.received_requests("INVITE").first().first_line();
    QVERIFY2(invite.startsWith(
                 QStringLiteral("INVITE sip:%1@127.0.0.1:%2 ").arg(callee.number()).arg(server.port())),
             qPrintable(invite));
    QVERIFY(!hears_anything(named_host, 500));
    fixture.stop();
    caller.stop();
}

void TestServerPath::transfer_to_no_number_or_on_a_desk_that_refuses_them_is_declined()
{
    KamailioRunner server;
    QVERIFY(server.start());
    QUdpSocket named_host;
    QVERIFY(named_host.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const QString host = QStringLiteral("127.0.0.1:%1").arg(named_host.localPort());
    struct Case
    {
        QString refer_to;
        QMap<QString, QString> other;
    };
    for (const Case& refused : {Case{QStringLiteral("<sip:sales@%1>").arg(host), {}},
                                Case{QStringLiteral("<sip:501@%1>").arg(host), {{"acceptTransfers", "0"}}}}) {
        EngineFixture fixture;
        QVERIFY2(register_desk(fixture, server, refused.other), qPrintable(fixture.dump()));
        SippRunner caller(QStringLiteral("uac_refers.xml"),
                          QStringLiteral("127.0.0.1:%1").arg(server.port()));
        caller.add_arguments({"-key", "refer_to", refused.refer_to});
        QVERIFY2(answered_call(fixture, caller), qPrintable(fixture.dump()));
        fixture.settle(2000);
        QCOMPARE(fixture.phone()->phase(), CallPhase::Talking); // the call goes on, not held
        QVERIFY(!hears_anything(named_host, 300));
        fixture.phone()->request_hangup();
        QVERIFY(caller.wait_finished(10000));
        bool declined = false;
        for (const auto& message : caller.messages())
            declined = declined || (message.received && message.first_line().startsWith("SIP/2.0 603"));
        QVERIFY2(declined, qPrintable(refused.refer_to));
        QVERIFY(caller.received_requests("INVITE").isEmpty());
    }
}

// The caller's transfer is a call of its own: shown with its number while it goes on; once the caller
// hangs up (as a transferor does), their row says transferred and the new call is the one shown,
// with its own row at its end.
void TestServerPath::transfer_asked_by_the_caller_is_a_call_of_its_own()
{
    KamailioRunner server;
    QVERIFY(server.start());
    SippRunner target(QStringLiteral("uas_behind_proxy.xml"));
    QVERIFY(target.start());
    EngineFixture fixture;
    SippRunner caller(QStringLiteral("uac_refers.xml"), QStringLiteral("127.0.0.1:%1").arg(server.port()));
    QVERIFY2(answered_referring_call(fixture, server, caller, target), qPrintable(fixture.dump()));
    QVERIFY2(fixture.wait_for("set_number:" + target.number()), qPrintable(fixture.dump()));
    QVERIFY(fixture.wait_for("status:転送発信中"));
    QVERIFY2(fixture.wait_for("call_recorded") && fixture.wait_for("status:通話中", 10000, 2),
             qPrintable(fixture.dump()));
    QCOMPARE(fixture.ended_calls, QStringList{"201/1"});
    QCOMPARE(fixture.reports.first().outcome, outcome::TRANSFERRED);
    QVERIFY(caller.wait_finished(10000)); // the caller hung up after the transfer
    QCOMPARE(fixture.phone()->phase(), CallPhase::Talking);
    QCOMPARE(fixture.phone()->remote_number(), target.number());
    fixture.phone()->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.ended_calls.last(), target.number() + "/2");
    QCOMPARE(fixture.reports.last().outcome, outcome::ANSWERED);
}

// A transfer the caller asked for that finds the number busy: that call has its row, the operator is
// told why, and the caller is back on hold with their number shown; their row is not transferred.
void TestServerPath::transfer_asked_to_a_busy_number_has_its_row_and_gives_the_caller_back()
{
    KamailioRunner server;
    QVERIFY(server.start());
    SippRunner target(QStringLiteral("uas_busy.xml"));
    QVERIFY(target.start());
    EngineFixture fixture;
    SippRunner caller(QStringLiteral("uac_refers.xml"), QStringLiteral("127.0.0.1:%1").arg(server.port()));
    QVERIFY2(answered_referring_call(fixture, server, caller, target), qPrintable(fixture.dump()));
    QVERIFY2(fixture.wait_for("call_recorded"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.ended_calls, QStringList{target.number() + "/4"});
    QCOMPARE(fixture.reports.first().outcome, outcome::BUSY);
    QVERIFY(fixture.wait_for("status:保留中"));
    QVERIFY(fixture.failures.contains("call:話中です"));
    QCOMPARE(fixture.phone()->phase(), CallPhase::Holding);
    QCOMPARE(fixture.events_named("set_number").last(), QStringLiteral("set_number:201"));
    fixture.phone()->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.ended_calls.last(), QStringLiteral("201/1"));
    QCOMPARE(fixture.reports.last().outcome, outcome::ANSWERED);
    QVERIFY(caller.wait_finished(10000));
}

// Kamailio returns the registered contact's key: its call is answered by itself. Then an INVITE sent
// with the server's address and port as its source (a raw socket) but without the key neither rings
// nor sends the desk's microphone to the forger.
void TestServerPath::forged_server_source_neither_rings_nor_answers()
{
    KamailioRunner server;
    QVERIFY(server.start());
    EngineFixture fixture;
    QVERIFY2(register_desk(fixture, server, {{"autoAnswer", "1"}, {"autoAnswerDelay", "0"}}),
             qPrintable(fixture.dump()));
    QVERIFY(server.contacts("1001").join(' ').contains(contact_key::parameter()));
    SippRunner caller(QStringLiteral("uac_call_waits_for_bye.xml"),
                      QStringLiteral("127.0.0.1:%1").arg(server.port()));
    QVERIFY2(answered_call(fixture, caller, true), qPrintable(fixture.dump()));
    fixture.phone()->request_hangup();
    QVERIFY(caller.wait_finished(10000));
    QVERIFY(fixture.wait_for("dialog_end"));

    QUdpSocket media; // where the forger wants the desk's microphone
    QVERIFY(media.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const quint16 phone_port = quint16(fixture.phone()->local_sip_port());
    const QByteArray sdp =
        "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio " +
        QByteArray::number(media.localPort()) + " RTP/AVP 0\r\na=sendrecv\r\n";
    const QByteArray invite = "INVITE sip:1001@127.0.0.1:" + QByteArray::number(phone_port) +
                              " SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:" + QByteArray::number(server.port()) +
                              ";branch=z9hG4bK-forged\r\nFrom: \"Director\" <sip:100@127.0.0.1>;tag=f1\r\n"
                              "To: <sip:1001@127.0.0.1>\r\nCall-ID: forged-1\r\nCSeq: 1 INVITE\r\n"
                              "Contact: <sip:100@127.0.0.1:" +
                              QByteArray::number(media.localPort()) +
                              ">\r\nMax-Forwards: 70\r\nContent-Type: application/sdp\r\nContent-Length: " +
                              QByteArray::number(sdp.size()) + "\r\n\r\n" + sdp;
    fixture.events.clear();
    if (!send_forged_udp(quint16(server.port()), phone_port, invite))
        QSKIP("a raw socket needs root");
    fixture.settle(1500);
    QCOMPARE(fixture.count("received"), 0);
    QVERIFY(!hears_anything(media, 1500));
    QVERIFY(read_text_file(ZimLogger::log_path()).contains("lacks the registered contact's key"));
}

// A server that routes without the contact's parameters: its calls still ring, but none is answered
// by itself over UDP, and the keys page says why.
void TestServerPath::server_that_drops_the_key_rings_without_answering_by_itself()
{
    KamailioRunner server;
    server.define(QStringLiteral("WITHOUT_CONTACT_PARAMETERS"));
    QVERIFY(server.start());
    EngineFixture fixture;
    QVERIFY2(register_desk(fixture, server, {{"autoAnswer", "1"}, {"autoAnswerDelay", "0"}}),
             qPrintable(fixture.dump()));
    SippRunner caller(QStringLiteral("uac_call_waits_for_bye.xml"),
                      QStringLiteral("127.0.0.1:%1").arg(server.port()));
    caller.add_arguments({"-s", "1001"});
    QVERIFY(caller.start());
    QVERIFY2(fixture.wait_for("received", 10000),
             qPrintable(fixture.dump() + read_text_file(ZimLogger::log_path())));
    fixture.settle(1500);
    QCOMPARE(fixture.count("status:通話中"), 0);
    QCOMPARE(fixture.phone()->auto_answer_limit(),
             QStringLiteral("サーバが登録した連絡先の鍵を返さないため、UDP の着信には自動応答しません。"));
    QCOMPARE(read_text_file(ZimLogger::log_path()).count("does not return the registered contact's key"), 1);
    fixture.phone()->request_answer();
    QVERIFY(fixture.wait_for("status:通話中"));
    fixture.phone()->request_hangup();
    QVERIFY(caller.wait_finished(10000));
}

// Over TCP every call comes on the phone's own connection to its server: auto-answer acts there.
void TestServerPath::tcp_desk_answers_a_server_call_by_itself()
{
    TestCa ca;
    QVERIFY2(ca.make(certs.path(), "server"), qPrintable(ca.error));
    KamailioRunner server;
    QVERIFY2(server.start_tls(ca.certificate_file, ca.key_file), qPrintable(server.log()));
    EngineFixture fixture;
    fixture.set_account("127.0.0.1", server.tcp_port(), "1001", "secret");
    fixture.set_account_keys({{"transport", "TCP"}});
    fixture.set_other({{"autoAnswer", "1"}, {"autoAnswerDelay", "0"}});
    fixture.start();
    QVERIFY2(fixture.wait_for("registration:sucessful/1001", 15000), qPrintable(fixture.dump()));
    SippRunner caller(QStringLiteral("uac_call_waits_for_bye.xml"),
                      QStringLiteral("127.0.0.1:%1").arg(server.port()));
    QVERIFY2(answered_call(fixture, caller, true), qPrintable(fixture.dump()));
    fixture.phone()->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QCOMPARE(fixture.ended_calls, QStringList({"202/1"}));
    QVERIFY(caller.wait_finished(10000));
}

QTEST_GUILESS_MAIN(TestServerPath)
#include "tst_serverpath.moc"
