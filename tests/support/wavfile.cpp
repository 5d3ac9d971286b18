#include "support/wavfile.h"

#include "support/soundport.h"

#include <QFile>
#include <QtEndian>

WavFile read_wav(const QString& path)
{
    WavFile wav;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return wav;
    const QByteArray bytes = file.readAll();
    if (bytes.size() < 44 || !bytes.startsWith("RIFF") || bytes.mid(36, 4) != "data")
        return wav;
    const auto u16 = [&](int at) { return qFromLittleEndian<quint16>(bytes.constData() + at); };
    const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(bytes.constData() + at); };
    wav.channels = u16(22);
    wav.rate = int(u32(24));
    wav.sizes_right = u32(4) == quint32(bytes.size() - 8) && u32(40) == quint32(bytes.size() - 44);
    const auto* pcm = reinterpret_cast<const qint16*>(bytes.constData() + 44);
    for (int i = 0; wav.channels > 0 && i + wav.channels <= (bytes.size() - 44) / 2; i += wav.channels)
        wav.samples.append(qFromLittleEndian(pcm[i]));
    return wav;
}

double WavFile::loudest_in_second_half(double hz) const
{
    const int window = rate / 50;
    double best = -200;
    for (int i = samples.size() / 2; window > 0 && i + window <= samples.size(); i += window)
        best = std::max(best, tone::level_db(samples, i, window, hz, rate));
    return best;
}
