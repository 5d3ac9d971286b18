#include "stunresponder.h"

#include <QTimer>

StunResponder::StunResponder(int delay_ms) : delay_ms(delay_ms)
{
    socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
    connect(&socket, &QUdpSocket::readyRead, this, [this] { answer(); });
}

void StunResponder::answer()
{
    while (socket.hasPendingDatagrams()) {
        QHostAddress sender;
        quint16 port = 0;
        QByteArray request(int(socket.pendingDatagramSize()), '\0');
        socket.readDatagram(request.data(), request.size(), &sender, &port);
        if (request.size() < 20 || request.mid(0, 2) != QByteArray("\x00\x01", 2) ||
            request.mid(4, 4) != QByteArray("\x21\x12\xa4\x42", 4))
            continue;
        ++binding_requests;
        QByteArray reply = QByteArray("\x01\x01\x00\x0c", 4) + request.mid(4, 16);
        const quint32 ip = sender.toIPv4Address() ^ 0x2112a442u;
        const quint16 xport = port ^ 0x2112u;
        reply += QByteArray("\x00\x20\x00\x08\x00\x01", 6);
        reply += char(xport >> 8);
        reply += char(xport & 0xff);
        for (int shift = 24; shift >= 0; shift -= 8)
            reply += char((ip >> shift) & 0xff);
        QTimer::singleShot(delay_ms, this,
                           [this, reply, sender, port] { socket.writeDatagram(reply, sender, port); });
    }
}
