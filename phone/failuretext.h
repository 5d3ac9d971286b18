#pragma once

#include <QString>

#include <linphone/core.h>

// What the operator is told when an outgoing call or the registration fails, from the library's
// reason.
namespace zim {
// Empty when the call ended normally.
QString call_failure_text(LinphoneReason reason);
// The status-line text and the lamp's tooltip: wrong credentials, no answer, or refused.
QString registration_failure_text(LinphoneReason reason, bool timed_out);
QString registration_failure_tip(LinphoneReason reason, bool timed_out);
} // namespace zim
