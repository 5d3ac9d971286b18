#pragma once

#include <linphone/core.h>

// One stored call with the reference the engine took on it. The engine keeps a call handle
// valid for as long as it may touch it and gives back only the references it took.
class CallHandle
{
public:
    CallHandle() = default;
    ~CallHandle() { reset(); }
    CallHandle(const CallHandle&) = delete;
    CallHandle& operator=(const CallHandle&) = delete;

    LinphoneCall* get() const { return call; }
    bool is_set() const { return call != nullptr; }
    bool is(const LinphoneCall* other) const { return call != nullptr && call == other; }

    // Stores a call (taking a reference) or empties the slot (giving the old reference back).
    void reset(LinphoneCall* other = nullptr)
    {
        if (other == call)
            return;
        if (other)
            linphone_call_ref(other);
        LinphoneCall* old = call;
        call = other;
        if (old)
            linphone_call_unref(old);
    }

    // Moves the call and its reference from another slot into this one.
    void take_from(CallHandle& other)
    {
        reset();
        call = other.call;
        other.call = nullptr;
    }

    LinphoneCallState state() const { return call ? linphone_call_get_state(call) : LinphoneCallStateIdle; }
    // The library ended the call, or is done with it.
    bool ended() const
    {
        const LinphoneCallState now = state();
        return now == LinphoneCallStateEnd || now == LinphoneCallStateReleased;
    }

private:
    LinphoneCall* call = nullptr;
};
