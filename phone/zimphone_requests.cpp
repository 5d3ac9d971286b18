// What the window thread asks of the engine: requests it raises (each stores its argument, raises
// a flag and wakes the loop) and queries, which read the copy the engine thread publishes.

#include "phone/zimphone.h"

// Requests

void ZimPhone::request_reregistration()
{
    raise_request(reapply_request);
}

void ZimPhone::request_dial(const QString& number)
{
    std::lock_guard lock(request_lock);
    pending_dial_number = number;
    dial_request = true;
    wake_locked();
}

void ZimPhone::request_answer()
{
    raise_request(answer_request);
}

void ZimPhone::request_hangup()
{
    raise_request(hangup_request);
}

void ZimPhone::request_hold_toggle()
{
    raise_request(hold_request);
}

void ZimPhone::request_mute(bool on)
{
    std::lock_guard lock(request_lock);
    mute_wanted = on;
    mute_request = true;
    wake_locked();
}

void ZimPhone::request_transfer_step(const QString& number)
{
    std::lock_guard lock(request_lock);
    transfer_number = number;
    transfer_step_request = true;
    wake_locked();
}

void ZimPhone::request_blind_transfer(const QString& number)
{
    std::lock_guard lock(request_lock);
    transfer_number = number;
    blind_transfer_request = true;
    wake_locked();
}

void ZimPhone::request_attended_transfer(const QString& number)
{
    std::lock_guard lock(request_lock);
    transfer_number = number;
    pending_dial_number = number;
    attended_transfer_request = true;
    wake_locked();
}

// Queries: they read the copy the engine publishes, never the core.

bool ZimPhone::is_idle()
{
    std::lock_guard lock(view_lock);
    const LinphoneCallState state = view.current_state;
    return !view.current_set || state == LinphoneCallStateReleased || state == LinphoneCallStateIdle ||
           state == LinphoneCallStateEnd;
}

bool ZimPhone::is_registered()
{
    std::lock_guard lock(core_lock);
    return account && linphone_proxy_config_get_state(account) == LinphoneRegistrationOk;
}

bool ZimPhone::is_incoming_ringing()
{
    std::lock_guard lock(view_lock);
    return view.current_set && view.current_incoming &&
           view.current_state == LinphoneCallStateIncomingReceived;
}

bool ZimPhone::is_current_streaming()
{
    std::lock_guard lock(view_lock);
    return view.current_set && view.current_state == LinphoneCallStateStreamsRunning;
}

bool ZimPhone::is_current_paused()
{
    std::lock_guard lock(view_lock);
    return view.current_set && view.current_state == LinphoneCallStatePaused;
}

bool ZimPhone::is_second_streaming()
{
    std::lock_guard lock(view_lock);
    return view.second_state == LinphoneCallStateStreamsRunning;
}

CallPhase ZimPhone::phase()
{
    std::lock_guard lock(view_lock);
    return view.phase;
}

QString ZimPhone::remote_number()
{
    std::lock_guard lock(view_lock);
    return view.remote_number;
}

QString ZimPhone::last_dialled_number()
{
    std::lock_guard lock(view_lock);
    return view.last_dialled_number;
}

int ZimPhone::record_status()
{
    std::lock_guard lock(view_lock);
    return view.record_status;
}

// Engine thread: the phase is published as it changes, before any signal that follows from it.
void ZimPhone::set_phase(CallPhase value)
{
    phase_value = value;
    std::lock_guard lock(view_lock);
    view.phase = value;
}

// Engine thread: copies the state the queries answer from.
void ZimPhone::publish()
{
    const bool current_set = current_call.is_set();
    const bool incoming = current_set && linphone_call_get_dir(current_call.get()) == LinphoneCallIncoming;
    const LinphoneCallState current_state = current_call.state();
    const LinphoneCallState second_state = second_call.state();
    // Only this thread writes the view, so it may compare without the lock; most passes change
    // nothing and leave the window's queries alone.
    if (view.phase == phase_value && view.remote_number == remote_number_value &&
        view.last_dialled_number == last_dialled_number_value && view.record_status == record_status_value &&
        view.current_set == current_set && view.current_incoming == incoming &&
        view.current_state == current_state && view.second_state == second_state)
        return;
    std::lock_guard lock(view_lock);
    view.phase = phase_value;
    view.remote_number = remote_number_value;
    view.last_dialled_number = last_dialled_number_value;
    view.record_status = record_status_value;
    view.current_set = current_set;
    view.current_incoming = incoming;
    view.current_state = current_state;
    view.second_state = second_state;
}
