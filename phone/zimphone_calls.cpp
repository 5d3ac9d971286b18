// Call state handling: what the library reports of each call, and what the engine makes of it.

#include "phone/zimphone.h"

#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "phone/callsource.h"
#include "phone/failuretext.h"
#include "phone/soundwatch.h"

#include <QDebug>

namespace {

const int AUTO_ANSWER_BEEP_MS = 250;

// The library hands out UTF-8; a caller's Japanese display name must arrive intact.
QString text_of(const char* text)
{
    return QString::fromUtf8(text ? text : "");
}

} // namespace

bool ZimPhone::engine_idle() const
{
    if (!current_call.is_set())
        return true;
    const LinphoneCallState state = current_call.state();
    return state == LinphoneCallStateReleased || state == LinphoneCallStateIdle ||
           state == LinphoneCallStateEnd;
}

void ZimPhone::log_phase()
{
    logger->log(QString::number(int(phase_value)), 1);
}

void ZimPhone::emit_talking_status()
{
    if (muted.load()) {
        emit signal_update_dialog_status(zim::STATUS_MUTED);
        return;
    }
    if (line_poor) {
        emit signal_update_dialog_status(zim::STATUS_LINE_POOR);
        return;
    }
    if (recording_now.load()) {
        emit signal_update_dialog_status(zim::STATUS_RECORDING);
        return;
    }
    emit signal_update_dialog_status(remote_number_value == user_id() ? zim::STATUS_ONLINE
                                                                      : zim::STATUS_IN_CALL);
}

void ZimPhone::zimphone_call_state_changed(LinphoneCore*, LinphoneCall* call, LinphoneCallState state,
                                           const char* message)
{
    publish(); // the call's new state
    note_liveness(call, state);
    switch (state) {
    case LinphoneCallStateIncomingReceived:
        handle_incoming(call);
        break;
    case LinphoneCallStateConnected:
        calls.of(call).answered = true;
        break;
    case LinphoneCallStateOutgoingInit:
        take_referred_call(call);
        break;
    case LinphoneCallStateOutgoingProgress:
        take_referred_call(call);
        if (phase_value == CallPhase::Idle) {
            set_phase(CallPhase::Dialing);
            log_phase();
            emit signal_update_dialog_status(zim::STATUS_OUTGOING);
        } else if (phase_value == CallPhase::TransferWait) {
            set_phase(CallPhase::TransferDialing);
            emit signal_update_dialog_status(zim::STATUS_TRANSFER_CALLING);
        }
        break;
    case LinphoneCallStateStreamsRunning:
        log_phase();
        if (phase_value == CallPhase::Incoming || phase_value == CallPhase::Dialing) {
            set_phase(CallPhase::Talking);
            emit signal_start_count_dialog_time();
            emit_talking_status();
        } else if (phase_value == CallPhase::Holding || phase_value == CallPhase::RemoteHolding ||
                   phase_value == CallPhase::TransferWait) {
            if (phase_value == CallPhase::Holding)
                emit signal_stop_hold_music();
            // Back from the transfer prompt (resumed, or the hold was refused): the number the
            // window cleared for the transfer target is shown again.
            if (phase_value == CallPhase::TransferWait && remote_number_value != user_id())
                emit signal_set_phone_number(remote_number_value);
            set_phase(CallPhase::Talking);
            emit_talking_status();
        } else if (phase_value == CallPhase::TransferDialing || phase_value == CallPhase::TransferHolding ||
                   phase_value == CallPhase::TransferRemoteHolding) {
            set_phase(CallPhase::TransferTalking);
            emit signal_update_dialog_status(zim::STATUS_TRANSFER_IN_CALL);
        }
        if (current_call.is(call) || second_call.is(call))
            record_if_wanted(call);
        if (record_status_value == RECORD_OUTGOING_MISSED)
            record_status_value = RECORD_OUTGOING_ANSWERED;
        else if (record_status_value == RECORD_INCOMING_MISSED)
            record_status_value = RECORD_INCOMING_ANSWERED;
        break;
    case LinphoneCallStatePaused:
        if (phase_value == CallPhase::Talking) {
            set_phase(CallPhase::Holding);
            emit signal_play_hold_music();
            emit signal_update_dialog_status(zim::STATUS_ON_HOLD);
        } else if (phase_value == CallPhase::TransferWait) {
            emit signal_update_dialog_status(zim::STATUS_TRANSFER_PROMPT);
        } else if (phase_value == CallPhase::TransferTalking && second_call.is(call)) {
            // Only the consultation's own hold: the first call's pause may complete after the
            // consultation already connected (a slow peer, a loaded machine).
            set_phase(CallPhase::TransferHolding);
            emit signal_update_dialog_status(zim::STATUS_TRANSFER_ON_HOLD);
        }
        break;
    case LinphoneCallStatePausedByRemote:
        if (phase_value == CallPhase::Talking) {
            set_phase(CallPhase::RemoteHolding);
            emit signal_update_dialog_status(zim::STATUS_REMOTE_HOLD);
        } else if (phase_value == CallPhase::TransferTalking && second_call.is(call)) {
            set_phase(CallPhase::TransferRemoteHolding);
            emit signal_update_dialog_status(zim::STATUS_TRANSFER_REMOTE_HOLD);
        }
        break;
    case LinphoneCallStateEnd:
    case LinphoneCallStateError:
        calls.of(call).quality.finish(call);
        break;
    case LinphoneCallStateReleased:
        note_call_end(call);
        finish_recording(call);
        handle_released(call);
        break;
    default:
        break;
    }
    if (state == LinphoneCallStateReleased) {
        report_encryption_refusal(call);
        calls.forget(call); // the library is done with it
        call_logs_to_drop = true;
        if (sound_watch && sound_watch->server_returned())
            raise_request(devices_request);
    }
    report_media_encryption();
    show_recording_state(); // of the call now in conversation, if any
    publish();
    logger->log(text_of(message), 1);
}

void ZimPhone::handle_incoming(LinphoneCall* call)
{
    // The library read this INVITE by a way the server check did not see: refused all the same.
    const LinphoneCallLog* call_log = linphone_call_get_call_log(call);
    const char* checked_id = call_log ? linphone_call_log_get_call_id(call_log) : nullptr;
    if (!call_source::passed(QString::fromUtf8(checked_id ? checked_id : ""))) {
        logger->log(
            call_source::fails_closed()
                ? QStringLiteral("call refused: the server check is not in effect, no UDP call is taken")
                : QStringLiteral("call refused: the INVITE did not come through the server check"),
            1);
        linphone_call_decline(call, LinphoneReasonForbidden);
        return;
    }
    if (phase_value != CallPhase::Idle) {
        linphone_call_decline(call, LinphoneReasonBusy);
        return;
    }
    configure_transfer_gate();
    if (!engine_idle()) {
        // A call is alive, still being set up perhaps (its INVITE waits for ICE gathering): this
        // one is refused like any second call, never left ringing where nobody sees it.
        linphone_call_decline(call, LinphoneReasonBusy);
        return;
    }
    if (encryption_unavailable) {
        logger->log(QStringLiteral("call refused: SRTP is required and not available"), 1);
        linphone_call_decline(call, LinphoneReasonNotAcceptable);
        return;
    }

    set_phase(CallPhase::Incoming);
    current_call.reset(call);
    calls.of(call).origin = CallOrigin::Incoming;

    const LinphoneAddress* remote = linphone_call_get_remote_address(call);
    const char* display_name = remote ? linphone_address_get_display_name(remote) : nullptr;
    const char* user_name = remote ? linphone_address_get_username(remote) : nullptr;
    LinphoneCallLog* log = linphone_call_get_call_log(call);
    const char* call_id = log ? linphone_call_log_get_call_id(log) : nullptr;

    remote_number_value = QString::fromUtf8(user_name ? user_name : "");
    record_status_value = RECORD_INCOMING_MISSED;

    QMap<QString, QString> params;
    params.insert(QStringLiteral("callerName"), text_of(display_name));
    params.insert(QStringLiteral("callerId"), text_of(user_name));
    params.insert(QStringLiteral("callId"), text_of(call_id));
    qDebug() << (QStringLiteral("Call-ID:") + params.value(QStringLiteral("callId")));
    publish(); // the window reads the caller's number as soon as it hears of the call

    emit signal_received_dialog(params);
    emit signal_update_dialog_status(zim::STATUS_INCOMING);
    schedule_auto_answer(params.value(QStringLiteral("callId")));
}

// A desk fed by a queue answers by itself: only a call the server brought, ringing alone, after
// the set delay (0 to 10 s, 2 when unset), with a short beep in the operator's ear first.
void ZimPhone::schedule_auto_answer(const QString& call_id)
{
    const QMap<QString, QString> other = data->other_settings();
    if (other.value(QStringLiteral("autoAnswer")) != QLatin1String("1") ||
        !call_source::came_from_server(call_id))
        return;
    bool given = false;
    const int delay_s = other.value(QStringLiteral("autoAnswerDelay")).toInt(&given);
    const qint64 delay_ms = qBound(0, given ? delay_s : 2, 10) * 1000;
    auto_answer_beep.setRemainingTime(qMax<qint64>(0, delay_ms - AUTO_ANSWER_BEEP_MS));
    auto_answer_at.setRemainingTime(delay_ms);
    logger->log(QStringLiteral("call answered by itself in %1 s").arg(delay_ms / 1000), 1);
}

void ZimPhone::serve_auto_answer()
{
    if (auto_answer_at.isForever())
        return;
    const bool ringing = phase_value == CallPhase::Incoming && current_call.is_set() &&
                         current_call.state() == LinphoneCallStateIncomingReceived;
    if (!ringing) { // answered by hand, refused, or gone
        auto_answer_beep = auto_answer_at = QDeadlineTimer(QDeadlineTimer::Forever);
        return;
    }
    if (!auto_answer_beep.isForever() && auto_answer_beep.hasExpired()) {
        auto_answer_beep = QDeadlineTimer(QDeadlineTimer::Forever);
        linphone_core_stop_ringing(core);
        linphone_core_play_dtmf(core, '#', AUTO_ANSWER_BEEP_MS - 50);
    }
    if (auto_answer_at.hasExpired()) {
        auto_answer_at = QDeadlineTimer(QDeadlineTimer::Forever);
        accept(current_call.get());
    }
}

void ZimPhone::handle_released(LinphoneCall* call)
{
    if (current_call.is(call))
        muted.store(false); // the library is done with the call: only the flag goes
    if (consulting(phase_value)) {
        if (current_call.is(call)) {
            // The first call ended (its party hung up, or the transfer handed it on): it keeps its
            // own row, and the consultation goes on as the call shown.
            emit signal_call_recorded(remote_number_value, record_status_value,
                                      linphone_call_get_duration(call), end_report);
            current_call.reset();
            continue_with_consulted_party();
            if (referred(second_call.get()))
                continue_with_referred_call();
        } else if (second_call.is(call)) {
            if (current_call.is_set()) {
                record_consultation(call);
                return_to_held_call(call);
            } else {
                set_phase(CallPhase::Idle);
                emit signal_update_dialog_status(idle_status());
                emit signal_dialog_end(remote_number_value, record_status_value, end_report);
            }
            second_call.reset();
        }
    } else if (current_call.is(call) || (!current_call.is_set() && phase_value != CallPhase::Idle)) {
        // A call whose end was already reported (idle, no call held) is not reported again.
        QString failure;
        if (current_call.is_set()) {
            const LinphoneReason reason = linphone_call_get_reason(current_call.get());
            if (reason == LinphoneReasonNone)
                emit signal_play_terminated_audio(zim::SOUND_HANGUP);
            else if (reason != LinphoneReasonBusy)
                emit signal_play_terminated_audio(zim::SOUND_FAILED);
            // An outgoing call that never got through, and that the operator did not hang up.
            if (record_status_value == RECORD_OUTGOING_MISSED && !hung_up_by_operator(call))
                failure = zim::call_failure_text(reason);
        }
        emit signal_update_dialog_status(idle_status());
        emit signal_dialog_end(remote_number_value, record_status_value, end_report);
        if (!failure.isEmpty())
            emit signal_call_failed(failure);
        if (phase_value == CallPhase::TransferWait && transferred(call))
            emit signal_show_transfer_call_result(zim::STATUS_TRANSFER_DONE);
        set_phase(CallPhase::Idle);
        current_call.reset();
    } else if (second_call.is(call)) {
        record_consultation(call); // refused before it rang
        if (current_call.is_set())
            return_to_held_call(call);
        second_call.reset();
    }
    // The library is done with this call: no slot may keep it.
    if (current_call.is(call))
        current_call.reset();
    if (second_call.is(call))
        second_call.reset();
}

// A consultation that ended while the first call waits keeps a row of its own, as the outgoing
// call it was: answered with its time, or not answered.
void ZimPhone::record_consultation(LinphoneCall* call)
{
    const bool answered = was_answered(call);
    emit signal_call_recorded(consulted_number, answered ? RECORD_OUTGOING_ANSWERED : RECORD_OUTGOING_MISSED,
                              answered ? linphone_call_get_duration(call) : 0, end_report);
}

// The consultation is over and the first call waits on hold. After a talk, or when the operator
// ended it, the prompt asks for another target. A consultation that failed says why, and the held
// caller is shown again: 保留 takes them back (they are not resumed by themselves). A call the other
// party asked for gives the held call back in every case: it was their transfer, not the operator's,
// and one that never connected handed nothing on.
void ZimPhone::return_to_held_call(LinphoneCall* consultation)
{
    const bool answered = was_answered(consultation);
    const bool ended_by_operator = hung_up_by_operator(consultation);
    const bool asked_by_peer = referred(consultation);
    if (asked_by_peer && !answered)
        calls.of(current_call.get()).transferred = false;
    if (!asked_by_peer && (answered || ended_by_operator)) {
        set_phase(CallPhase::TransferWait);
        emit signal_update_dialog_status(zim::STATUS_TRANSFER_PROMPT);
        emit signal_clear_phone_number();
        return;
    }
    const QString reason = zim::call_failure_text(linphone_call_get_reason(consultation));
    set_phase(CallPhase::Holding);
    emit signal_play_hold_music();
    emit signal_update_dialog_status(zim::STATUS_ON_HOLD);
    if (remote_number_value != user_id())
        emit signal_set_phone_number(remote_number_value);
    if (!answered && !ended_by_operator)
        emit signal_call_failed(reason.isEmpty() ? zim::FAIL_UNREACHABLE : reason);
}

// The library follows the peer's REFER by itself once the transfer gate let it through: it pauses the
// call and places a new one to the target. That call is a call of its own, in a consultation's place:
// shown with its number, recorded with its own row, and the first call counts as handed on while it
// goes on. A REFER during the operator's own transfer has no place: its call is ended.
void ZimPhone::take_referred_call(LinphoneCall* call)
{
    LinphoneCall* referrer = linphone_call_get_transferer_call(call);
    if (!referrer || current_call.is(call) || second_call.is(call) || unwanted_call.is(call))
        return; // not the library's own call, or already known
    const bool one_call = phase_value == CallPhase::Talking || phase_value == CallPhase::Holding ||
                          phase_value == CallPhase::RemoteHolding;
    if (!current_call.is(referrer) || second_call.is_set() || !one_call) {
        logger->log(
            QStringLiteral("a transfer the other party asked for is ended: another transfer is under way"),
            1);
        unwanted_call.reset(call); // ended by the next pass, outside the library's call set-up
        return;
    }
    const LinphoneAddress* target = linphone_call_get_remote_address(call);
    calls.of(call).origin = CallOrigin::Referred;
    calls.of(referrer).transferred = true;
    second_call.reset(call);
    consulted_number = text_of(target ? linphone_address_get_username(target) : nullptr);
    end_mute();
    if (phase_value == CallPhase::Holding)
        emit signal_stop_hold_music();
    set_phase(CallPhase::TransferDialing);
    publish();
    logger->log(QStringLiteral("the other party asked for a transfer: calling ") + consulted_number, 1);
    emit signal_set_phone_number(consulted_number);
    emit signal_update_dialog_status(zim::STATUS_TRANSFER_CALLING);
}

// The first call's peer hung up after its transfer, as a transferor does: the call it asked for is
// the call shown from now on, an ordinary call with its own number, time and row.
void ZimPhone::continue_with_referred_call()
{
    current_call.take_from(second_call);
    switch (phase_value) {
    case CallPhase::TransferTalking:
        set_phase(CallPhase::Talking);
        emit_talking_status();
        break;
    case CallPhase::TransferHolding:
        set_phase(CallPhase::Holding);
        emit signal_play_hold_music();
        emit signal_update_dialog_status(zim::STATUS_ON_HOLD);
        break;
    case CallPhase::TransferRemoteHolding:
        set_phase(CallPhase::RemoteHolding);
        emit signal_update_dialog_status(zim::STATUS_REMOTE_HOLD);
        break;
    default: // not connected yet
        set_phase(CallPhase::Dialing);
        emit signal_update_dialog_status(zim::STATUS_OUTGOING);
        break;
    }
}

// Ends a call the engine refused to take up (see take_referred_call).
void ZimPhone::end_unwanted_call()
{
    if (!unwanted_call.is_set())
        return;
    if (!unwanted_call.ended())
        linphone_call_terminate(unwanted_call.get());
    unwanted_call.reset();
}

// The transferee reports how its call to the target went. A failure leaves the call where it was,
// paused for the transfer: the operator is told and gets the call back.
void ZimPhone::on_transfer_state_changed(LinphoneCall* call, LinphoneCallState state)
{
    if (!current_call.is(call))
        return;
    // Transferred once the transferee says the transfer goes on or is done: a REFER nobody answered
    // (its transaction timed out, and the library ended the call) handed nothing on.
    if (state != LinphoneCallStateError) {
        if (state == LinphoneCallStateOutgoingInit) // the REFER only went out
            return;
        calls.of(call).transferred = true;
        if (second_call.is_set()) // the consultation is handed on with it
            calls.of(second_call.get()).transferred = true;
        return;
    }
    calls.of(call).transferred = false;
    emit signal_show_transfer_call_result(zim::STATUS_TRANSFER_FAILED);
    if (current_call.state() == LinphoneCallStatePaused)
        linphone_call_resume(call);
}

// The first party hung up during the consultation: what is left is a call with the consulted party,
// and its row names them, with their own status and time.
void ZimPhone::continue_with_consulted_party()
{
    if (!second_call.is_set())
        return;
    LinphoneCall* call = second_call.get();
    remote_number_value = consulted_number; // as dialled, like any outgoing call's number
    // Not its state: the consultation may already be ending too (both parties hung up at once), or
    // be in a re-INVITE, and was talked all the same.
    const bool connected = was_answered(call);
    record_status_value = connected ? RECORD_OUTGOING_ANSWERED : RECORD_OUTGOING_MISSED;
    emit signal_call_continues(connected ? linphone_call_get_duration(call) : 0);
}

// The registrar is lost: the calls end here and now, each end reported once, not when the
// library's transaction timers give up on a BYE nobody answers. Their later release finds them
// no longer held, so a call dialled meanwhile keeps its own state.
void ZimPhone::end_calls_at_once()
{
    if (!current_call.is_set() && !second_call.is_set())
        return;
    muted.store(false);
    if (current_call.is_set() && second_call.is_set()) {
        note_call_end(second_call.get());
        record_consultation(second_call.get());
    }
    note_call_end(current_call.is_set() ? current_call.get() : second_call.get());
    for (CallHandle* handle : {&current_call, &second_call}) {
        if (handle->is_set() && !handle->ended())
            linphone_call_terminate(handle->get());
        handle->reset();
    }
    set_phase(CallPhase::Idle);
    publish();
    emit signal_update_dialog_status(idle_status());
    emit signal_dialog_end(remote_number_value, record_status_value, end_report);
}
