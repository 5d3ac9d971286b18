#pragma once

#include "support/soundport.h"

#include <QList>

#include <algorithm>

// What both modes of the delay bench share: the four devices of a call on the sound server that
// PULSE_SERVER names, and the median of a list of delays (-1: never heard).
namespace audio_bench {

const double LEVEL = -15; // dBFS of each burst

struct Devices
{
    SoundPort phone_mic{QStringLiteral("bench_phone_mic"), SoundPort::Microphone};
    SoundPort phone_speaker{QStringLiteral("bench_phone_speaker"), SoundPort::Speaker};
    SoundPort peer_mic{QStringLiteral("bench_peer_mic"), SoundPort::Microphone};
    SoundPort peer_speaker{QStringLiteral("bench_peer_speaker"), SoundPort::Speaker};
    bool ready()
    {
        return phone_mic.loaded() && phone_speaker.loaded() && peer_mic.loaded() && peer_speaker.loaded() &&
               phone_speaker.start_recording() && peer_mic.start_recording() && phone_mic.start_recording() &&
               peer_speaker.start_recording();
    }
};

inline double median(QList<double> values)
{
    values.removeAll(-1);
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The desk mode: bench_audio_delay --desk [calls].
int run_desk(int calls);

} // namespace audio_bench
