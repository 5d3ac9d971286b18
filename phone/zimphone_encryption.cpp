// Media encryption as the user sees it: the lock beside the call status, and a clear word when
// a call could not be made because the peer offers no encryption.

#include "phone/zimphone.h"

#include "data/zimconstants.h"
#include "data/zimlogger.h"

#include <QTimer>

namespace {
const int REFUSAL_SHOWN_MS = 3000;
}

// The call the status line talks about: the consultation call while one is in play.
void ZimPhone::report_media_encryption()
{
    const CallHandle& shown = (consulting(phase_value) && second_call.is_set()) ? second_call : current_call;
    bool encrypted = false;
    if (shown.is_set() && shown.state() != LinphoneCallStateEnd &&
        shown.state() != LinphoneCallStateReleased) {
        const LinphoneCallParams* params = linphone_call_get_current_params(shown.get());
        encrypted =
            params && linphone_call_params_get_media_encryption(params) == LinphoneMediaEncryptionSRTP;
    }
    if (encrypted == media_encrypted)
        return;
    media_encrypted = encrypted;
    emit signal_media_encryption(encrypted);
}

// With encryption required the library never talks in the clear. The status line says why such a
// call ended, for a moment.
void ZimPhone::report_encryption_refusal(LinphoneCall* call)
{
    if (!linphone_core_is_media_encryption_mandatory(core) ||
        linphone_call_get_dir(call) != LinphoneCallOutgoing)
        return;
    // A peer that refuses the encrypted offer answers "not acceptable"; one that answers in the
    // clear is hung up by the library at once.
    const LinphoneCallParams* remote = linphone_call_get_remote_params(call);
    const bool refused =
        linphone_call_get_reason(call) == LinphoneReasonNotAcceptable ||
        (remote && linphone_call_params_get_media_encryption(remote) == LinphoneMediaEncryptionNone);
    if (!refused)
        return;
    logger->log(QStringLiteral("call refused: the peer offers no media encryption"), 1);
    emit signal_update_dialog_status(zim::STATUS_ENCRYPTION_REFUSED);
    // The library ended the call itself, which reads like a hang-up; it is a failed call.
    emit signal_play_terminated_audio(zim::SOUND_FAILED);
    // The timer runs in the window's thread; it puts the idle status back unless a call started.
    QTimer::singleShot(REFUSAL_SHOWN_MS, this, [this] {
        if (phase() == CallPhase::Idle)
            emit signal_update_dialog_status(idle_status());
    });
}
