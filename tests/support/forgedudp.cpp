#include "support/forgedudp.h"

#include <arpa/inet.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

bool send_forged_udp(quint16 from_port, quint16 to_port, const QByteArray& payload)
{
    const int raw = ::socket(AF_INET, SOCK_RAW, IPPROTO_RAW); // the IP header is the sender's own
    if (raw < 0)
        return false;
    QByteArray packet(int(sizeof(iphdr) + sizeof(udphdr)), '\0');
    packet += payload;
    auto* ip = reinterpret_cast<iphdr*>(packet.data());
    ip->version = 4;
    ip->ihl = 5;
    ip->ttl = 64;
    ip->protocol = IPPROTO_UDP;
    ip->tot_len = htons(static_cast<quint16>(packet.size()));
    ip->saddr = htonl(INADDR_LOOPBACK);
    ip->daddr = htonl(INADDR_LOOPBACK);
    auto* udp = reinterpret_cast<udphdr*>(packet.data() + sizeof(iphdr));
    udp->source = htons(from_port);
    udp->dest = htons(to_port);
    udp->len = htons(static_cast<quint16>(sizeof(udphdr) + payload.size()));
    udp->check = 0; // no checksum, as IPv4 allows
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const ssize_t sent = ::sendto(raw, packet.constData(), size_t(packet.size()), 0,
                                  reinterpret_cast<sockaddr*>(&to), sizeof(to));
    ::close(raw);
    return sent == packet.size();
}
