#pragma once

#include <QByteArray>

// Sends one UDP datagram on 127.0.0.1 with a source port of the caller's choosing, one another
// process holds: what a stranger on the LAN does to pass for the SIP server. A raw socket, so it
// needs root (the tests run as root); false when it cannot be sent.
bool send_forged_udp(quint16 from_port, quint16 to_port, const QByteArray& payload);
