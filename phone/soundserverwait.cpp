#include "phone/soundserverwait.h"

#include <mediastreamer2/mssndcard.h>
#include <pulse/context.h>
#include <pulse/mainloop.h>

#include <atomic>
#include <chrono>
#include <dlfcn.h>

namespace {

int limit_ms = 2000;
std::atomic<bool> left_out{false};

// The drivers that reach the sound server while they detect: its own, and ALSA, whose default
// device is the server's plug-in on a desktop. Each keeps its own detection and unload.
struct Driver
{
    const char* symbol;
    MSSndCardDetectFunc detect = nullptr;
    MSSndCardUnloadFunc unload = nullptr;
    bool detected = false; // its detection ran and holds what the unload releases
};
Driver drivers[] = {{"pulse_card_desc"}, {"alsa_card_desc"}};

// True when the server took the connection but did not finish the handshake in time. A server
// that refuses at once is no stall: the drivers meet the same refusal as fast.
bool server_stalls()
{
    pa_mainloop* loop = pa_mainloop_new();
    if (!loop)
        return false;
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "velora-softphone probe");
    bool stalls = false;
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state))
                break;
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                stalls = true;
                break;
            }
            pa_mainloop_prepare(loop, int(left.count()));
            pa_mainloop_poll(loop);
            pa_mainloop_dispatch(loop);
        }
        pa_context_disconnect(context);
    }
    if (context)
        pa_context_unref(context);
    pa_mainloop_free(loop);
    return stalls;
}

// The drivers detect one after the other in one pass: the first asks the server, the next one
// within the second takes the same answer rather than waiting the limit again.
bool server_stalls_now()
{
    static std::chrono::steady_clock::time_point asked;
    static bool stalled = false;
    const auto now = std::chrono::steady_clock::now();
    if (now - asked > std::chrono::seconds(1)) {
        stalled = server_stalls();
        asked = std::chrono::steady_clock::now();
    }
    return stalled;
}

template <int N> void bounded_detect(MSSndCardManager* manager)
{
    if (server_stalls_now()) {
        left_out = true;
        ms_warning("the sound server did not answer within %d ms: %s devices are left out until it does",
                   limit_ms, drivers[N].symbol);
        return;
    }
    left_out = false;
    drivers[N].detected = true;
    drivers[N].detect(manager);
}

// An unload releases what the driver's detection opened; a skipped detection opened nothing.
template <int N> void bounded_unload(MSSndCardManager* manager)
{
    if (drivers[N].detected && drivers[N].unload)
        drivers[N].unload(manager);
    drivers[N].detected = false;
}

template <int N> void wrap()
{
    Driver& driver = drivers[N];
    auto* desc = static_cast<MSSndCardDesc*>(dlsym(RTLD_DEFAULT, driver.symbol));
    if (driver.detect || !desc || !desc->detect)
        return; // wrapped already, or a driver this build of the streaming engine lacks
    driver.detect = desc->detect;
    driver.unload = desc->unload;
    desc->detect = bounded_detect<N>;
    desc->unload = bounded_unload<N>;
}

} // namespace

namespace sound_server_wait {

void bound_detection(int timeout_ms)
{
    limit_ms = timeout_ms;
    // By the drivers' exported descriptors, before the engine first detects with them.
    wrap<0>();
    wrap<1>();
}

bool skipped()
{
    return left_out;
}

} // namespace sound_server_wait
