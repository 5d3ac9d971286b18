#include "phone/failuretext.h"

#include "data/zimconstants.h"

namespace {

enum class RegistrationFailure { Credentials, Timeout, Refused };

RegistrationFailure classify(LinphoneReason reason, bool timed_out)
{
    if (reason == LinphoneReasonUnauthorized || reason == LinphoneReasonForbidden)
        return RegistrationFailure::Credentials;
    if (timed_out || reason == LinphoneReasonNoResponse || reason == LinphoneReasonServerTimeout)
        return RegistrationFailure::Timeout;
    return RegistrationFailure::Refused;
}

} // namespace

namespace zim {

QString call_failure_text(LinphoneReason reason)
{
    switch (reason) {
    case LinphoneReasonNone:
    case LinphoneReasonTransferred:
        return QString();
    case LinphoneReasonBusy:
        return FAIL_BUSY;
    case LinphoneReasonNotAnswered:
    case LinphoneReasonTemporarilyUnavailable:
        return FAIL_NO_ANSWER;
    case LinphoneReasonDeclined:
    case LinphoneReasonForbidden:
    case LinphoneReasonDoNotDisturb:
        return FAIL_REJECTED;
    default:
        return FAIL_UNREACHABLE;
    }
}

QString registration_failure_text(LinphoneReason reason, bool timed_out)
{
    switch (classify(reason, timed_out)) {
    case RegistrationFailure::Credentials:
        return FAIL_REG_CREDENTIALS;
    case RegistrationFailure::Timeout:
        return FAIL_REG_TIMEOUT;
    default:
        return FAIL_REG_REFUSED;
    }
}

QString registration_failure_tip(LinphoneReason reason, bool timed_out)
{
    switch (classify(reason, timed_out)) {
    case RegistrationFailure::Credentials:
        return TIP_REG_CREDENTIALS;
    case RegistrationFailure::Timeout:
        return TIP_REG_TIMEOUT;
    default:
        return TIP_REG_REFUSED;
    }
}

} // namespace zim
