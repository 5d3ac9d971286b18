// The operator's requests, served by the engine loop: dial, answer, hang up, hold, mute, transfer.

#include "phone/zimphone.h"

#include "data/zimconstants.h"
#include "data/zimlogger.h"

namespace {

// A request in the call's dialog waits for its answer (ours: the liveness question, a hold, a
// resume; or the peer's): the call takes no other meanwhile.
bool in_request(LinphoneCallState state)
{
    return state == LinphoneCallStateUpdating || state == LinphoneCallStatePausing ||
           state == LinphoneCallStateResuming || state == LinphoneCallStateUpdatedByRemote ||
           state == LinphoneCallStateEarlyUpdating || state == LinphoneCallStateEarlyUpdatedByRemote;
}

// A live peer answers at once; the liveness question gives up on a silent one after 15 s.
const qint64 HELD_REQUEST_MS = 16000;

} // namespace

// An operator's request the call cannot take now is held, not dropped: it is served again at each
// pass once the request in the dialog is answered, and refused aloud if that takes too long.
bool ZimPhone::hold_back(const CallHandle& target, bool& flag)
{
    if (!target.is_set() || !in_request(target.state()))
        return false;
    if (held_until.isForever()) {
        held_until.setRemainingTime(HELD_REQUEST_MS);
        logger->log(QStringLiteral("request held: the call waits for the answer to a request in its dialog"),
                    1);
    }
    held_request = &flag;
    return true;
}

void ZimPhone::serve_held_request()
{
    if (!held_request)
        return;
    bool* flag = held_request;
    held_request = nullptr;
    if (!current_call.is_set() && !second_call.is_set()) { // the call ended meanwhile
        held_until = QDeadlineTimer(QDeadlineTimer::Forever);
        return;
    }
    if (held_until.hasExpired()) {
        held_until = QDeadlineTimer(QDeadlineTimer::Forever);
        logger->log(QStringLiteral("request refused: the call's request in progress was not answered"), 1);
        emit signal_call_failed(zim::FAIL_REQUEST_PENDING);
        return;
    }
    {
        std::lock_guard lock(request_lock);
        *flag = true;
    }
    serve_raised_requests(); // held again while the call still waits
    if (!held_request)
        held_until = QDeadlineTimer(QDeadlineTimer::Forever);
}

// Only the call in progress is muted, through the library: the peer hears silence and the call
// goes on. Muting waits for nothing else: on hold the status stays 保留中 until the call resumes.
void ZimPhone::perform_mute()
{
    bool on;
    {
        std::lock_guard lock(request_lock);
        on = mute_wanted;
    }
    const bool in_call = phase_value == CallPhase::Talking || phase_value == CallPhase::Holding ||
                         phase_value == CallPhase::RemoteHolding;
    if (!current_call.is_set() || !in_call || on == muted.load())
        return;
    linphone_call_set_microphone_muted(current_call.get(), on);
    muted.store(on);
    logger->log(on ? QStringLiteral("microphone muted") : QStringLiteral("microphone on"), 1);
    if (phase_value == CallPhase::Talking)
        emit_talking_status();
}

// A call that goes to a transfer has its microphone on again, for the transfer and whatever follows.
void ZimPhone::end_mute()
{
    if (!muted.exchange(false))
        return;
    if (current_call.is_set())
        linphone_call_set_microphone_muted(current_call.get(), FALSE);
}

void ZimPhone::perform_dial()
{
    QString number;
    {
        std::lock_guard lock(request_lock);
        number = pending_dial_number;
    }
    if (encryption_unavailable && !number.isEmpty()) {
        logger->log(QStringLiteral("call not placed: SRTP is required and not available"), 1);
        emit signal_call_failed(zim::STATUS_ENCRYPTION_REFUSED);
        return;
    }
    if (phase_value == CallPhase::Idle) {
        if (!engine_idle() || number.isEmpty())
            return;
        configure_transfer_gate();
        LinphoneCall* call = invite(number);
        current_call.reset(call);
        // Dialling from now on, even before the library sends the INVITE (with ICE it first
        // gathers its candidates): a call arriving meanwhile finds the phone busy. Without ICE the
        // library reports the call in progress from within the invite, which set the phase already.
        if (call && phase_value == CallPhase::Idle) {
            set_phase(CallPhase::Dialing);
            log_phase();
            emit signal_update_dialog_status(zim::STATUS_OUTGOING);
        }
        if (call) {
            remote_number_value = number;
            last_dialled_number_value = number;
            record_status_value = RECORD_OUTGOING_MISSED;
        } else if (!account) {
            emit signal_call_failed(zim::FAIL_NO_ACCOUNT); // a bare number needs an account
        }
    } else if (phase_value == CallPhase::TransferWait) {
        if (second_call.is_set() && !second_call.ended())
            return;
        if (number.isEmpty())
            return;
        second_call.reset(invite(number));
        consulted_number = number;
    }
}

void ZimPhone::perform_answer()
{
    if (current_call.is_set() && linphone_call_get_dir(current_call.get()) == LinphoneCallIncoming &&
        current_call.state() == LinphoneCallStateIncomingReceived)
        accept(current_call.get());
}

void ZimPhone::perform_hangup()
{
    // The consultation while one is in play, else the call shown; a second press on a call the
    // operator already ended does nothing more.
    CallHandle* target = consulting(phase_value) ? &second_call : &current_call;
    if (!target->is_set() || hung_up_by_operator(target->get()))
        return;
    LinphoneCall* call = target->get();
    calls.of(call).hung_up_by_operator = true;
    if (target == &current_call && linphone_call_get_dir(call) == LinphoneCallIncoming &&
        current_call.state() == LinphoneCallStateIncomingReceived)
        linphone_call_decline(call, LinphoneReasonBusy);
    else
        linphone_call_terminate(call);
}

void ZimPhone::perform_hold_toggle()
{
    if (second_call.is_set()) {
        if (second_call.state() == LinphoneCallStatePaused)
            linphone_call_resume(second_call.get());
        else if (second_call.state() == LinphoneCallStateStreamsRunning)
            pause_or_say_why(second_call.get());
        else
            hold_back(second_call, hold_request);
    } else if (current_call.is_set()) {
        if (current_call.state() == LinphoneCallStatePaused) {
            linphone_call_resume(current_call.get());
            if (remote_number_value != user_id())
                emit signal_set_phone_number(remote_number_value);
        } else if (current_call.state() == LinphoneCallStateStreamsRunning) {
            pause_or_say_why(current_call.get());
        } else {
            hold_back(current_call, hold_request);
        }
    }
}

// The library may refuse a hold: a peer that answered the last offer receiving only (it holds the
// call itself) leaves nothing for a hold to stop. The operator reads why instead of pressing a key
// that does nothing.
bool ZimPhone::pause_or_say_why(LinphoneCall* call)
{
    if (linphone_call_pause(call) == 0)
        return true;
    logger->log(QStringLiteral("hold refused by the SIP library: the peer receives only"), 1);
    emit signal_call_failed(zim::FAIL_HOLD_REFUSED);
    return false;
}

// A number without a host goes to the account's server exactly as shown: the library's own reading
// of it would apply its dial plan (an international number cut to the length it expects for the
// country, a "+" written as the international prefix). Addresses are the library's to read.
LinphoneAddress* ZimPhone::address_of(const QString& number)
{
    const bool bare = !number.contains(QLatin1Char('@')) && !number.contains(QLatin1Char(':'));
    const LinphoneAddress* identity = account ? linphone_proxy_config_get_identity_address(account) : nullptr;
    if (!bare || !identity || number.isEmpty())
        return linphone_core_interpret_url(core, number.toUtf8().constData());
    LinphoneAddress* address = linphone_address_clone(identity);
    linphone_address_set_display_name(address, nullptr);
    linphone_address_set_username(address, number.toUtf8().constData());
    return address;
}

int ZimPhone::transfer_call(LinphoneCall* call, const QString& number)
{
    LinphoneAddress* target = address_of(number);
    if (!target)
        return -1;
    // The transferee reaches the target as this phone reaches its server: over TLS or TCP, a bare
    // target would send it to a UDP port nobody serves.
    if (account && account_transport != LinphoneTransportUdp &&
        linphone_address_get_transport(target) == LinphoneTransportUdp &&
        !number.contains(QLatin1String("transport=")))
        linphone_address_set_transport(target, account_transport);
    const int result = linphone_call_transfer_to(call, target);
    linphone_address_unref(target);
    return result;
}

void ZimPhone::perform_transfer_step()
{
    QString number;
    {
        std::lock_guard lock(request_lock);
        number = transfer_number;
    }
    if (current_call.is_set()) {
        LinphoneCall* call = current_call.get();
        calls.of(call).transferred = false; // until the transferee reports this transfer
        if (current_call.state() == LinphoneCallStateStreamsRunning) {
            end_mute();
            if (pause_or_say_why(call))
                set_phase(CallPhase::TransferWait);
        } else if (phase_value == CallPhase::TransferWait) {
            if (!number.isEmpty()) {
                transfer_call(call, number);
            } else {
                linphone_call_resume(call);
            }
        } else if (phase_value == CallPhase::TransferTalking && second_call.is_set()) {
            linphone_call_transfer_to_another(call, second_call.get());
        } else {
            hold_back(current_call, transfer_step_request);
        }
    } else if (second_call.is_set()) {
        // The first party hung up during the consultation: the consultation call stays.
        current_call.take_from(second_call);
        set_phase(CallPhase::Talking);
        emit signal_update_dialog_status(zim::STATUS_IN_CALL);
        emit signal_show_phone_message(zim::STATUS_NO_TRANSFER_SOURCE);
    }
}

void ZimPhone::perform_blind_transfer()
{
    QString number;
    {
        std::lock_guard lock(request_lock);
        number = transfer_number;
    }
    if (!current_call.is_set() || second_call.is_set())
        return;
    const LinphoneCallState state = current_call.state();
    if (state != LinphoneCallStateStreamsRunning && state != LinphoneCallStatePaused) {
        hold_back(current_call, blind_transfer_request);
        return;
    }
    end_mute();
    calls.of(current_call.get()).transferred = false; // until the transferee reports it
    transfer_call(current_call.get(), number);
}

void ZimPhone::perform_attended_transfer()
{
    if (!current_call.is_set())
        return;
    const LinphoneCallState state = current_call.state();
    if (state == LinphoneCallStateStreamsRunning) {
        perform_transfer_step();
        raise_request(dial_request);
    } else if (state == LinphoneCallStatePaused && second_call.is_set()) {
        perform_transfer_step();
    } else if (state == LinphoneCallStatePaused) {
        raise_request(dial_request);
    } else {
        hold_back(current_call, attended_transfer_request);
    }
}
