#pragma once

#include <QObject>
#include <QString>
#include <QUdpSocket>

// A STUN server for one test on 127.0.0.1: records each binding request and answers it with the
// sender's address (XOR-MAPPED-ADDRESS, RFC 5389), at once or after a delay (a slow server, during
// which the library is still gathering its ICE candidates).
class StunResponder : public QObject
{
public:
    explicit StunResponder(int delay_ms = 0);
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(socket.localPort()); }
    int binding_requests = 0;

private:
    void answer();
    QUdpSocket socket;
    int delay_ms;
};
