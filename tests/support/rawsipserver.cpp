#include "support/rawsipserver.h"

#include <QDeadlineTimer>

bool RawSipServer::listen()
{
    return server.listen(QHostAddress(QHostAddress::LocalHost), 0);
}

void RawSipServer::read_more(int timeout_ms)
{
    if (phone && (phone->bytesAvailable() > 0 || phone->waitForReadyRead(timeout_ms)))
        stream += phone->readAll();
}

bool RawSipServer::accept_registration(int timeout_ms)
{
    QDeadlineTimer deadline(timeout_ms);
    if (!server.waitForNewConnection(timeout_ms))
        return false;
    phone = server.nextPendingConnection();
    while (!deadline.hasExpired() && !stream.contains("\r\n\r\n"))
        read_more(100);
    const int end = stream.indexOf("\r\n\r\n");
    if (!stream.startsWith("REGISTER ") || end < 0)
        return false;
    QByteArray answer = "SIP/2.0 200 OK\r\n";
    for (const QByteArray& line : stream.left(end).split('\n')) {
        const QByteArray header = line.trimmed();
        const QByteArray name = header.left(header.indexOf(':')).toLower();
        if (name == "via" || name == "from" || name == "call-id" || name == "cseq")
            answer += header + "\r\n";
        else if (name == "to")
            answer += header + ";tag=registrar\r\n";
        else if (name == "contact")
            answer += header + ";expires=60\r\n";
    }
    answer += "Content-Length: 0\r\n\r\n";
    stream.clear();
    write_segment(answer);
    return true;
}

void RawSipServer::write_segment(const QByteArray& bytes)
{
    phone->write(bytes);
    phone->flush();
    phone->waitForBytesWritten(1000);
}

QList<QByteArray> RawSipServer::received()
{
    read_more(0);
    QList<QByteArray> heads;
    for (const QByteArray& part : stream.split('\n')) {
        if (part.startsWith("SIP/2.0 ") || part.contains(" SIP/2.0\r"))
            heads.append(part.trimmed());
        else if (!heads.isEmpty() && part.trimmed().size() > 0 && part.contains(':'))
            heads.last() += '\n' + part.trimmed();
    }
    return heads;
}

int RawSipServer::answers_to(const QByteArray& call_id)
{
    int count = 0;
    for (const QByteArray& head : received()) {
        if (head.startsWith("SIP/2.0 ") && head.split('\n').contains("Call-ID: " + call_id))
            ++count;
    }
    return count;
}

QByteArray server_options(const QByteArray& call_id, const QByteArray& body, int length)
{
    return "OPTIONS sip:1001@127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/TCP 127.0.0.1:5060;rport;branch=z9hG4bK-" + call_id +
           "\r\nFrom: <sip:pbx@127.0.0.1>;tag=pbx\r\nTo: <sip:1001@127.0.0.1>\r\nCall-ID: " + call_id +
           "\r\nCSeq: 1 OPTIONS\r\nMax-Forwards: 70\r\nContent-Type: text/plain\r\nContent-Length: " +
           QByteArray::number(length < 0 ? body.size() : length) + "\r\n\r\n" + body;
}
