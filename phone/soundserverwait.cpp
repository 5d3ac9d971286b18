#include "phone/soundserverwait.h"

#include "phone/libraryhooks.h"

#include <mediastreamer2/mssndcard.h>
#include <pulse/context.h>
#include <pulse/mainloop.h>

#include <atomic>
#include <chrono>
#include <dlfcn.h>
#include <mutex>
#include <set>

namespace {

int limit_ms = 2000;
std::atomic<bool> left_out{false};

// The drivers that reach the sound server while they detect: its own, and ALSA, whose default
// device is the server's plug-in on a desktop. Each keeps its own detection and unload.
struct Driver
{
    explicit Driver(const char* symbol) : symbol(symbol) {}
    const char* symbol;
    MSSndCardDetectFunc detect = nullptr;
    MSSndCardUnloadFunc unload = nullptr;
    // The managers (one per core) whose detection ran and holds what the unload releases.
    std::set<MSSndCardManager*> detected;
    int opened = 0; // detections not yet released: the sound server's driver counts each one
};
Driver drivers[] = {Driver("pulse_card_desc"), Driver("alsa_card_desc")};
std::mutex drivers_mutex;

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
    {
        std::lock_guard lock(drivers_mutex);
        drivers[N].detected.insert(manager);
        ++drivers[N].opened;
    }
    drivers[N].detect(manager);
}

// An unload releases what the driver's detection opened; a skipped detection opened nothing.
template <int N> void bounded_unload(MSSndCardManager* manager)
{
    bool detected;
    {
        std::lock_guard lock(drivers_mutex);
        detected = drivers[N].detected.erase(manager) > 0;
        if (detected && drivers[N].unload)
            --drivers[N].opened;
    }
    if (detected && drivers[N].unload)
        drivers[N].unload(manager);
}

MSSndCardDesc* descriptor(int n)
{
    return static_cast<MSSndCardDesc*>(dlsym(RTLD_DEFAULT, drivers[n].symbol));
}

template <int N> void wrap()
{
    Driver& driver = drivers[N];
    MSSndCardDesc* desc = descriptor(N);
    if (driver.detect || !desc || !desc->detect)
        return; // wrapped already, or a driver this build of the streaming engine lacks
    driver.detect = desc->detect;
    driver.unload = desc->unload;
    desc->detect = bounded_detect<N>;
    desc->unload = bounded_unload<N>;
}

} // namespace

namespace sound_server_wait {

QString install()
{
    // Written in place: each descriptor must be the structure this program knows, in memory the
    // process may write, or none is touched.
    for (int n = 0; n < 2; ++n) {
        if (MSSndCardDesc* desc = descriptor(n)) {
            const QString reason = library_hooks::check_exported_object(desc, sizeof(MSSndCardDesc), true);
            if (!reason.isEmpty())
                return reason;
        }
    }
    wrap<0>();
    wrap<1>();
    for (int n = 0; n < 2; ++n) {
        const MSSndCardDesc* desc = descriptor(n);
        if (desc && desc->detect != (n == 0 ? bounded_detect<0> : bounded_detect<1>))
            return QStringLiteral("%1 does not detect through the bounded wait")
                .arg(QLatin1String(drivers[n].symbol));
    }
    return QString();
}

void reconnect_driver(MSSndCardManager* manager)
{
    Driver& pulse = drivers[0];
    if (!library_hooks::in_effect(library_hooks::SoundServerWait) || !pulse.unload)
        return;
    std::lock_guard lock(drivers_mutex);
    for (; pulse.opened > 0; --pulse.opened)
        pulse.unload(manager); // the last one closes the dead connection
}

void bound_detection(int timeout_ms)
{
    limit_ms = timeout_ms;
}

bool skipped()
{
    return left_out;
}

} // namespace sound_server_wait
