#include "phone/soundwatch.h"

#include "phone/soundserverwait.h"

#include <pulse/context.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>

SoundWatch::SoundWatch(std::function<void()> changed) : changed(std::move(changed))
{
    loop = pa_threaded_mainloop_new();
    if (!loop)
        return;
    pa_threaded_mainloop_lock(loop);
    context = pa_context_new(pa_threaded_mainloop_get_api(loop), "velora-softphone devices");
    bool started = false;
    if (context) {
        pa_context_set_state_callback(context, &SoundWatch::on_state, this);
        started = pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0 &&
                  pa_threaded_mainloop_start(loop) >= 0;
    }
    if (!started && context) {
        pa_context_unref(context);
        context = nullptr;
    }
    pa_threaded_mainloop_unlock(loop);
}

SoundWatch::~SoundWatch()
{
    if (!loop)
        return;
    pa_threaded_mainloop_stop(loop);
    if (context) {
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
    pa_threaded_mainloop_free(loop);
}

void SoundWatch::on_state(pa_context* context, void* self)
{
    if (pa_context_get_state(context) != PA_CONTEXT_READY)
        return;
    // A server that did not answer when the devices were detected brings its devices now.
    if (sound_server_wait::skipped())
        static_cast<SoundWatch*>(self)->changed();
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
