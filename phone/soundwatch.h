#pragma once

#include <functional>

struct pa_context;
struct pa_threaded_mainloop;

// Follows the sound server as headsets come and go: a playback or capture device that appears or
// vanishes is told through the callback, on the sound server's own thread. Without a sound server
// it watches nothing and says nothing.
class SoundWatch
{
public:
    explicit SoundWatch(std::function<void()> changed);
    ~SoundWatch();
    SoundWatch(const SoundWatch&) = delete;
    SoundWatch& operator=(const SoundWatch&) = delete;

    bool watching() const { return context != nullptr; }

private:
    static void on_state(pa_context* context, void* self);
    static void on_event(pa_context* context, int type, unsigned index, void* self);

    std::function<void()> changed;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
};
