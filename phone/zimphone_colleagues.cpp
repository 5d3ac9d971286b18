// Picking up a colleague's ringing call: an INVITE to the caller that replaces the call ringing at
// the colleague's, with the identifiers their lamp's last NOTIFY gave.
#include "phone/colleaguewatch.h"
#include "phone/zimphone.h"

#include "data/zimlogger.h"

namespace {
const QString PICKUP_FAILED = QStringLiteral("代理応答できません");
}

void ZimPhone::request_pickup(const QString& extension)
{
    std::lock_guard lock(request_lock);
    pickup_extension = extension;
    pickup_request = true;
    wake_locked();
}

void ZimPhone::perform_pickup()
{
    QString extension;
    {
        std::lock_guard lock(request_lock);
        extension = pickup_extension;
    }
    if (phase_value != CallPhase::Idle || !engine_idle() || !account)
        return;
    QString target;
    if (!colleagues->pickup_of(extension, &target, &pickup_replaces)) {
        logger->log(QStringLiteral("no ringing call to pick up at %1").arg(extension), 1);
        emit signal_call_failed(PICKUP_FAILED);
        return;
    }
    logger->log(QStringLiteral("picking up the call ringing at %1: %2").arg(extension, target), 1);
    {
        std::lock_guard lock(request_lock);
        pending_dial_number = target;
    }
    perform_dial();
    pickup_replaces.clear();
}

// The caller is reached through the account's server, as every call is: the call's requests then
// come back from the server, the only source the phone takes them from.
void ZimPhone::add_pickup_headers(LinphoneCallParams* params)
{
    if (pickup_replaces.isEmpty() || !account)
        return;
    linphone_call_params_add_custom_header(params, "Replaces", pickup_replaces.toUtf8().constData());
    if (const char* server = linphone_proxy_config_get_server_addr(account)) {
        QByteArray uri(server);
        if (!uri.startsWith("sip:") && !uri.startsWith("sips:"))
            uri.prepend("sip:");
        const QByteArray route = "<" + uri + ";lr>";
        linphone_call_params_add_custom_header(params, "Route", route.constData());
    }
}
