#include "phone/soundwatch.h"

#include "phone/soundserverwait.h"

#include <pulse/context.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

#include <algorithm>

namespace {
const unsigned long long FIRST_RETRY_US = 500 * PA_USEC_PER_MSEC;
const unsigned long long LAST_RETRY_US = 30 * PA_USEC_PER_SEC;
} // namespace

SoundWatch::SoundWatch(std::function<void()> changed)
    : changed(std::move(changed)), retry_delay_us(FIRST_RETRY_US)
{
    loop = pa_threaded_mainloop_new();
    if (!loop)
        return;
    pa_threaded_mainloop_lock(loop);
    connect();
    const bool started = pa_threaded_mainloop_start(loop) >= 0;
    if (!started && context)
        drop_context();
    pa_threaded_mainloop_unlock(loop);
    if (!started) {
        pa_threaded_mainloop_free(loop); // frees the retry's timer with it
        loop = nullptr;
    }
}

SoundWatch::~SoundWatch()
{
    if (!loop)
        return;
    pa_threaded_mainloop_stop(loop);
    if (context)
        drop_context();
    pa_threaded_mainloop_free(loop);
}

// On the loop's thread, or with its lock held.
void SoundWatch::connect()
{
    pa_context* made = pa_context_new(pa_threaded_mainloop_get_api(loop), "velora-softphone devices");
    context = made;
    if (!made) {
        retry_later();
        return;
    }
    pa_context_set_state_callback(made, &SoundWatch::on_state, this);
    // A refusal may come at once through the state callback, which then dropped it already.
    if (pa_context_connect(made, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 && context == made) {
        drop_context();
        retry_later();
    }
}

void SoundWatch::drop_context()
{
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_set_subscribe_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
    context = nullptr;
}

void SoundWatch::retry_later()
{
    lost = true;
    timeval when;
    pa_timeval_add(pa_gettimeofday(&when), retry_delay_us);
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
    if (retry)
        api->time_restart(retry, &when);
    else
        retry = api->time_new(api, &when, &SoundWatch::on_retry, this);
    retry_delay_us = std::min(retry_delay_us * 2, LAST_RETRY_US);
}

void SoundWatch::on_retry(pa_mainloop_api* api, pa_time_event* event, const timeval*, void* self)
{
    api->time_restart(event, nullptr); // off until the next loss
    static_cast<SoundWatch*>(self)->connect();
}

void SoundWatch::on_state(pa_context* context, void* self)
{
    auto* watch = static_cast<SoundWatch*>(self);
    if (context != watch->context)
        return;
    const pa_context_state_t state = pa_context_get_state(context);
    if (!PA_CONTEXT_IS_GOOD(state)) {
        // The library holds the context through this call: dropping it here is safe.
        watch->drop_context();
        watch->retry_later();
        return;
    }
    if (state != PA_CONTEXT_READY)
        return;
    watch->retry_delay_us = FIRST_RETRY_US;
    // A server that did not answer when the devices were detected, or that came back, brings its
    // devices now.
    if (watch->lost)
        watch->returned = true;
    if (watch->lost || sound_server_wait::skipped())
        watch->changed();
    watch->lost = false;
    pa_context_set_subscribe_callback(
        context,
        [](pa_context* c, pa_subscription_event_type_t type, uint32_t index, void* data) {
            on_event(c, static_cast<int>(type), index, data);
        },
        self);
    if (pa_operation* operation = pa_context_subscribe(
            context,
            static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE),
            nullptr, nullptr))
        pa_operation_unref(operation);
}

void SoundWatch::on_event(pa_context*, int type, unsigned, void* self)
{
    const int kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    // A device's volume or state changes all day; only one that comes or goes changes the lists.
    if (kind == PA_SUBSCRIPTION_EVENT_NEW || kind == PA_SUBSCRIPTION_EVENT_REMOVE)
        static_cast<SoundWatch*>(self)->changed();
}
