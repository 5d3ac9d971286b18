#include "phone/soundclock.h"

#include "phone/libraryhooks.h"

#include <mediastreamer2/mscommon.h>
#include <mediastreamer2/msqueue.h>
#include <mediastreamer2/msticker.h>

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// The gap between the samples read and the time passed, beyond the drift already measured, from
// which samples count as missing. A late read is no gap (the samples wait for it); PulseAudio hands
// over 20 ms fragments, and the ticker runs every 10 ms.
constexpr double GAP_MS = 100;

// How often a queue of the call's sound trims what waited too long (the library's own period is
// 5 s).
constexpr uint32_t TRIM_MS = 1000;

// The media library's own definition of a function the program defines too.
void* library_function(const char* name)
{
    return library_hooks::library_own(name, "libmediastreamer.so.12");
}

using Update = double (*)(MSTickerSynchronizer*, uint64_t, unsigned int);
using Init = void (*)(MSFlowControlledBufferizer*, MSFilter*, int, int);
using Interval = void (*)(MSFlowControlledBufferizer*, uint32_t);

Update library_update()
{
    static const auto real = reinterpret_cast<Update>(library_function("ms_ticker_synchronizer_update"));
    return real;
}

Init library_init()
{
    static const auto real = reinterpret_cast<Init>(library_function("ms_flow_controlled_bufferizer_init"));
    return real;
}

} // namespace

// The capture filters report their sample count through this function at every tick. The library
// maps the count to a time (its offset plus the samples' duration) and averages the difference
// to the wall clock into its skew, one hundredth at a time. When the count falls behind by more
// than a gap (or runs ahead, once a stalled source delivers a late batch), the offset moves by the
// difference first, so the average sees only what is left: the drift it is there to follow.
extern "C" __attribute__((visibility("default"))) double
ms_ticker_synchronizer_update(MSTickerSynchronizer* ts, uint64_t nb_samples, unsigned int sample_rate)
{
    const Update real = library_update();
    if (!real)
        return 0;
    if (library_hooks::stood_aside(library_hooks::SoundClock))
        return real(ts, nb_samples, sample_rate);
    if (ts->offset != 0 && ts->origin_nsamples != 0 && ts->sample_rate == sample_rate && sample_rate > 0 &&
        nb_samples > ts->current_nsamples) {
        const uint64_t sound_ms = ts->offset + 1000 * (nb_samples - ts->origin_nsamples) / sample_rate;
        const double behind = double(int64_t(ms_get_cur_time_ms() - sound_ms)) - ts->av_skew;
        if (std::fabs(behind) > GAP_MS)
            ts->offset += uint64_t(int64_t(std::llround(behind)));
    }
    return real(ts, nb_samples, sample_rate);
}

// Two queues of a call's sound hold the caller's voice when something upstream of them pauses.
// The PulseAudio writer's: each time the server ran dry (a busy machine, a device that paused) it
// resumes later than the call's clock, and what waited stays queued. The echo canceller's: it
// passes the caller's voice on only as microphone frames arrive, so a stalled microphone holds it
// there. Each queue drops the part that never drained in a period (through the call's flow
// control, which prefers quiet frames); the library sets the period with these two functions.
extern "C" __attribute__((visibility("default"))) void
ms_flow_controlled_bufferizer_init(MSFlowControlledBufferizer* obj, MSFilter* f, int samplerate,
                                   int nchannels)
{
    if (const Init real = library_init()) {
        real(obj, f, samplerate, nchannels);
        if (library_hooks::stood_aside(library_hooks::SoundClock))
            return;
    } else {
        *obj = MSFlowControlledBufferizer{};
        ms_bufferizer_init(&obj->base);
        obj->filter = f;
        obj->max_size_ms = 100;
        obj->min_size_ms_during_interval = UINT32_MAX;
        obj->samplerate = samplerate;
        obj->nchannels = nchannels;
    }
    obj->flow_control_interval_ms = std::min(obj->flow_control_interval_ms, TRIM_MS);
}

extern "C" __attribute__((visibility("default"))) void
ms_flow_controlled_bufferizer_set_flow_control_interval_ms(MSFlowControlledBufferizer* obj, uint32_t ms)
{
    static const auto real = reinterpret_cast<Interval>(
        library_function("ms_flow_controlled_bufferizer_set_flow_control_interval_ms"));
    if (real && library_hooks::stood_aside(library_hooks::SoundClock))
        return real(obj, ms);
    obj->flow_control_interval_ms = std::min(ms, TRIM_MS);
}

bool sound_clock::prepare()
{
    return library_update() && library_init();
}
