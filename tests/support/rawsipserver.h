#pragma once

#include <QByteArray>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

// A SIP server on a TCP port of 127.0.0.1 that takes the phone's connection, accepts its REGISTER
// (200, no challenge) and then writes whatever bytes a test gives it, in the segments it chooses:
// the stream as a PBX or a stranger in between might cut it. It reads back what the phone sends.
class RawSipServer
{
public:
    bool listen();
    quint16 port() const { return server.serverPort(); }
    // Waits for the phone's connection and REGISTER, and answers it.
    bool accept_registration(int timeout_ms = 15000);
    // One segment, written and flushed at once.
    void write_segment(const QByteArray& bytes);
    // Every message head the phone sent so far (start line and headers).
    QList<QByteArray> received();
    // How many responses with this Call-ID the phone sent.
    int answers_to(const QByteArray& call_id);

private:
    void read_more(int timeout_ms);

    QTcpServer server;
    QTcpSocket* phone = nullptr;
    QByteArray stream;
};

// An OPTIONS from the server with this Call-ID; a body makes its Content-Length (or `length` when
// given, to declare more or less than follows).
QByteArray server_options(const QByteArray& call_id, const QByteArray& body = QByteArray(), int length = -1);
