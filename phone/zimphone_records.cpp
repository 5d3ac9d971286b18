// Call records: how each call ended and how it sounded, for its history row, and the warning
// on the status line while the call in conversation sounds poor.

#include "phone/zimphone.h"

#include "data/zimconstants.h"
#include "data/zimlogger.h"

namespace {

const std::chrono::seconds QUALITY_PERIOD{1};
// The status line warns once the call has sounded poor for this many seconds in a row.
const int POOR_SECONDS_BEFORE_WARNING = 4;

} // namespace

void ZimPhone::sample_quality()
{
    const auto now = std::chrono::steady_clock::now();
    if (now < next_quality_sample || (!current_call.is_set() && !second_call.is_set()))
        return;
    next_quality_sample = now + QUALITY_PERIOD;
    const CallQuality* talking_quality = nullptr;
    for (const CallHandle* handle : {&current_call, &second_call}) {
        if (!handle->is_set())
            continue;
        const bool in_conversation = handle == &current_call ? phase_value == CallPhase::Talking
                                                             : phase_value == CallPhase::TransferTalking;
        const bool talking = in_conversation && handle->state() == LinphoneCallStateStreamsRunning;
        CallQuality& quality = calls.of(handle->get()).quality;
        quality.sample(handle->get(), talking);
        if (talking)
            talking_quality = &quality;
    }
    // Only a call in conversation is warned about; a held call or the transfer prompt keeps its text.
    if (!talking_quality) {
        line_poor = false;
        return;
    }
    const bool poor = talking_quality->poor_seconds() >= POOR_SECONDS_BEFORE_WARNING ||
                      (line_poor && talking_quality->poor_now());
    if (poor == line_poor)
        return;
    line_poor = poor;
    if (poor)
        logger->log(QStringLiteral("line quality low: rating %1 with %2")
                        .arg(talking_quality->last_rating(), 0, 'f', 1)
                        .arg(remote_number_value),
                    1);
    if (phase_value == CallPhase::TransferTalking)
        emit signal_update_dialog_status(poor ? zim::STATUS_LINE_POOR : zim::STATUS_TRANSFER_IN_CALL);
    else
        emit_talking_status();
}

bool ZimPhone::was_answered(LinphoneCall* call) const
{
    const CallRecord* record = calls.find(call);
    if (record && record->answered)
        return true;
    const LinphoneCallLog* log = linphone_call_get_call_log(call);
    return log && linphone_call_log_get_status(log) == LinphoneCallSuccess;
}

bool ZimPhone::hung_up_by_operator(const LinphoneCall* call) const
{
    const CallRecord* record = calls.find(call);
    return record && record->hung_up_by_operator;
}

bool ZimPhone::referred(const LinphoneCall* call) const
{
    const CallRecord* record = calls.find(call);
    return record && record->origin == CallOrigin::Referred;
}

bool ZimPhone::transferred(const LinphoneCall* call) const
{
    const CallRecord* record = calls.find(call);
    return record && record->transferred;
}

// Called as the library releases a call (and for calls ended at once): its report is kept for the
// end that is reported next.
void ZimPhone::note_call_end(LinphoneCall* call)
{
    end_report = CallReport();
    if (!call)
        return;
    end_report.outcome = outcome_of(call, end_report.sip_code);
    if (CallRecord* record = calls.find(call); record && was_answered(call))
        record->quality.fill(end_report);
    end_report.recording = recording_of(call);
    if (current_call.is(call) || second_call.is(call))
        line_poor = false;
}

QString ZimPhone::outcome_of(LinphoneCall* call, int& sip_code) const
{
    sip_code = 0;
    if (was_answered(call))
        return transferred(call) ? outcome::TRANSFERRED : outcome::ANSWERED;
    const bool incoming = linphone_call_get_dir(call) == LinphoneCallIncoming;
    // The operator's own hang-up of a call that was not answered: refused, or given up on.
    if (hung_up_by_operator(call))
        return incoming ? outcome::REJECTED : outcome::CANCELLED;
    const LinphoneReason reason = linphone_call_get_reason(call);
    // An incoming call rang out when the library's ring time-out refused it (with 486, so the
    // caller hears busy); a call the caller cancelled, or that was taken elsewhere, was missed.
    if (incoming)
        return reason == LinphoneReasonBusy ? outcome::NO_ANSWER : outcome::MISSED;
    const LinphoneErrorInfo* error = linphone_call_get_error_info(call);
    sip_code = error ? linphone_error_info_get_protocol_code(error) : 0;
    if (sip_code == 486 || sip_code == 600 || (sip_code == 0 && reason == LinphoneReasonBusy))
        return outcome::BUSY;
    if (sip_code == 408 || sip_code == 480 || (sip_code == 0 && reason == LinphoneReasonNotAnswered))
        return outcome::NO_ANSWER;
    return outcome::FAILED;
}
