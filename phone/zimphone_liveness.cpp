// Whether the peer of a connected call is still there.
//
// The library's own no-RTP timeout counts RTP and RTCP reports only: a caller who says nothing on
// a line that sends no RTCP would be cut off although the call's dialog is alive. The engine
// watches instead. RTP or RTCP from the peer, or a request of theirs in the call's dialog, is a
// sign of life; after 20 s without one the dialog is asked (a re-INVITE that changes nothing).
// A peer that answers stays; one that has vanished lets the question go unanswered for 15 s, and the
// call ends, with its row, like any other. Behind a PBX the question is answered for the vanished
// peer: 408 (the PBX's own timeout) or 481 (the dialog is gone there). Either ends the dialog, as no
// answer does, whichever request of the call it answers (the liveness question, a hold, a resume).

#include "phone/zimphone.h"

#include "data/zimlogger.h"

namespace {

using Clock = std::chrono::steady_clock;
const std::chrono::seconds QUIET_BEFORE_ASKING{20};
// A live peer answers a re-INVITE at once (resends come after 0.5, 1, 2 and 4 s); the library
// would wait 32 s for its transaction, and then keep the call.
const std::chrono::seconds ANSWER_WAIT{15};

// RTP packets and RTCP reports received on the call's audio stream.
quint64 packets_received(LinphoneCall* call)
{
    LinphoneCallStats* stats = linphone_call_get_audio_stats(call);
    if (!stats)
        return 0;
    const rtp_stats_t* rtp = linphone_call_stats_get_rtp_stats(stats);
    const quint64 count = rtp ? rtp->packet_recv + rtp->recv_rtcp_packets : 0;
    linphone_call_stats_unref(stats);
    return count;
}

// The answer to the call's last request inside its dialog says the dialog is over.
bool dialog_over(LinphoneCall* call)
{
    const LinphoneErrorInfo* info = linphone_call_get_error_info(call);
    const int code = info ? linphone_error_info_get_protocol_code(info) : 0;
    return code == 408 || code == 481;
}

bool in_request(LinphoneCallState state)
{
    return state == LinphoneCallStateUpdating || state == LinphoneCallStatePausing ||
           state == LinphoneCallStateResuming;
}

} // namespace

// Called with every call state: a request of the peer's in the dialog, or the answer to our
// question, is a sign of life; a call the library is done with is no longer watched.
void ZimPhone::note_liveness(LinphoneCall* call, LinphoneCallState state)
{
    CallRecord* record = calls.find(call);
    if (!record)
        return;
    if (state == LinphoneCallStateReleased || state == LinphoneCallStateEnd ||
        state == LinphoneCallStateError) {
        record->liveness = Liveness();
        return;
    }
    Liveness& watch = record->liveness;
    if (!watch.watched)
        return;
    if (in_request(state)) {
        watch.requesting = true;
        return;
    }
    // The library takes a failed request back to the state before it, whatever the failure.
    const bool answered = watch.requesting;
    watch.requesting = false;
    if (answered && dialog_over(call)) {
        watch.over = true; // ended by the next pass, outside the library's callback
        return;
    }
    if (state == LinphoneCallStateUpdatedByRemote || state == LinphoneCallStatePausedByRemote ||
        (state == LinphoneCallStateStreamsRunning && watch.asked)) {
        watch.last_sign = Clock::now();
        watch.asked = false;
    }
}

// Each pass: the connected calls are looked at (cheap: the stream's counters).
void ZimPhone::watch_liveness()
{
    const auto now = Clock::now();
    for (CallHandle* handle : {&current_call, &second_call}) {
        if (!handle->is_set())
            continue;
        LinphoneCall* call = handle->get();
        const LinphoneCallState state = handle->state();
        Liveness& watch = calls.of(call).liveness;
        if (watch.over) {
            logger->log(QStringLiteral("the call's dialog is over (408 or 481 to its request): call ended"),
                        1);
            end_vanished_call(handle);
            return; // the handles changed
        }
        if (state != LinphoneCallStateStreamsRunning && state != LinphoneCallStateUpdating) {
            if (watch.watched && !watch.asked)
                watch.last_sign = now; // held, ringing: nothing is owed meanwhile
            continue;
        }
        const quint64 packets = packets_received(call);
        if (!watch.watched) {
            watch.watched = true;
            watch.packets = packets;
            watch.last_sign = now;
        }
        if (packets != watch.packets) {
            watch.packets = packets;
            watch.last_sign = now;
            watch.asked = false;
        }
        if (!watch.asked && now - watch.last_sign >= QUIET_BEFORE_ASKING &&
            state == LinphoneCallStateStreamsRunning) {
            logger->log(QStringLiteral("no media from the peer for 20 s: asking whether the call is alive"),
                        1);
            watch.asked = true;
            watch.asked_at = now;
            LinphoneCallParams* same = linphone_core_create_call_params(core, call);
            linphone_call_update(call, same);
            linphone_call_params_unref(same);
        } else if (watch.asked && now - watch.asked_at >= ANSWER_WAIT) {
            logger->log(QStringLiteral("the peer is gone (no media, no answer in the dialog): call ended"),
                        1);
            watch.asked = false;
            watch.last_sign = now;
            end_vanished_call(handle);
            return; // the handles changed
        }
    }
}

// Its end is reported now, not when the BYE nobody answers gives up.
void ZimPhone::end_vanished_call(CallHandle* handle)
{
    calls.of(handle->get()).liveness = Liveness();
    if (handle == &current_call && !second_call.is_set())
        end_calls_at_once();
    else
        linphone_call_terminate(handle->get());
}
