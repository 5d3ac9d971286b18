#include "support/tonepcap.h"

#include <QByteArray>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

const int RATE = 8000;
const int SAMPLES = 160; // 20 ms

unsigned char mulaw(int sample)
{
    const int BIAS = 0x84;
    const int sign = sample < 0 ? 0x80 : 0;
    int magnitude = std::min(std::abs(sample), 32635) + BIAS;
    int exponent = 7;
    for (int mask = 0x4000; exponent > 0 && !(magnitude & mask); mask >>= 1)
        --exponent;
    const int mantissa = (magnitude >> (exponent + 3)) & 0x0f;
    return static_cast<unsigned char>(~(sign | (exponent << 4) | mantissa));
}

template <typename T> void append_le(QByteArray& out, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    out.append(bytes, sizeof(T));
}

template <typename T> void append_be(QByteArray& out, T value)
{
    char bytes[sizeof(T)];
    qToBigEndian(value, bytes);
    out.append(bytes, sizeof(T));
}

QByteArray frame(int index)
{
    QByteArray rtp;
    append_be<quint8>(rtp, 0x80);                     // version 2
    append_be<quint8>(rtp, index == 0 ? 0x80 : 0x00); // marker on the first packet, PCMU
    append_be<quint16>(rtp, quint16(index));
    append_be<quint32>(rtp, quint32(index * SAMPLES));
    append_be<quint32>(rtp, 0x7e1a0001); // SSRC
    for (int i = 0; i < SAMPLES; ++i) {
        const double t = double(index * SAMPLES + i) / RATE;
        rtp.append(char(mulaw(int(8000 * std::sin(2 * M_PI * 400 * t)))));
    }
    QByteArray udp;
    append_be<quint16>(udp, 6000);
    append_be<quint16>(udp, 6000);
    append_be<quint16>(udp, quint16(8 + rtp.size()));
    append_be<quint16>(udp, 0); // no checksum
    QByteArray ip;
    append_be<quint8>(ip, 0x45);
    append_be<quint8>(ip, 0);
    append_be<quint16>(ip, quint16(20 + udp.size() + rtp.size()));
    append_be<quint32>(ip, 0);
    append_be<quint8>(ip, 64);
    append_be<quint8>(ip, 17); // UDP
    append_be<quint16>(ip, 0);
    append_be<quint32>(ip, 0x7f000001);
    append_be<quint32>(ip, 0x7f000001);
    quint32 sum = 0;
    for (int i = 0; i < ip.size(); i += 2)
        sum += (quint8(ip[i]) << 8) | quint8(ip[i + 1]);
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    qToBigEndian(quint16(~sum), ip.data() + 10);
    QByteArray ethernet(12, '\0');
    append_be<quint16>(ethernet, 0x0800);
    return ethernet + ip + udp + rtp;
}

} // namespace

bool write_tone_pcap(const QString& path, int seconds, int drop_every)
{
    QByteArray out;
    append_le<quint32>(out, 0xa1b2c3d4); // microsecond time stamps
    append_le<quint16>(out, 2);
    append_le<quint16>(out, 4);
    append_le<qint32>(out, 0);
    append_le<quint32>(out, 0);
    append_le<quint32>(out, 65535);
    append_le<quint32>(out, 1); // Ethernet
    for (int index = 0; index < seconds * RATE / SAMPLES; ++index) {
        if (drop_every > 0 && index % drop_every == drop_every - 1)
            continue;
        const QByteArray packet = frame(index);
        const qint64 us = qint64(index) * 20000;
        append_le<quint32>(out, quint32(us / 1000000));
        append_le<quint32>(out, quint32(us % 1000000));
        append_le<quint32>(out, quint32(packet.size()));
        append_le<quint32>(out, quint32(packet.size()));
        out += packet;
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}
