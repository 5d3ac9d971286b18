#pragma once

#include <atomic>
#include <functional>

struct pa_context;
struct pa_mainloop_api;
struct pa_threaded_mainloop;
struct pa_time_event;
struct timeval;

// Follows the sound server as headsets come and go: a playback or capture device that appears or
// vanishes is told through the callback, on the sound server's own thread. A server that is not
// there yet, or goes away (restarted, or started after the phone at login), is connected to again
// with a growing pause (0.5 s up to 30 s); once it answers, its devices are told as changed.
class SoundWatch
{
public:
    explicit SoundWatch(std::function<void()> changed);
    ~SoundWatch();
    SoundWatch(const SoundWatch&) = delete;
    SoundWatch& operator=(const SoundWatch&) = delete;

    bool watching() const { return loop != nullptr; }
    // The server was away and answers again; stays true until taken.
    bool server_returned() const { return returned; }
    void take_returned() { returned = false; }

private:
    void connect();
    void drop_context();
    void retry_later();
    static void on_state(pa_context* context, void* self);
    static void on_event(pa_context* context, int type, unsigned index, void* self);
    static void on_retry(pa_mainloop_api* api, pa_time_event* event, const timeval* when, void* self);

    std::function<void()> changed;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_time_event* retry = nullptr;
    unsigned long long retry_delay_us;
    bool lost = false; // the server was away: its devices may all be new
    std::atomic<bool> returned{false};
};
