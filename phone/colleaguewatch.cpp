#include "phone/colleaguewatch.h"

#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "phone/librarycallback.h"

namespace {

const char* const EVENT_NAME = "dialog";
const char* const BODY_TYPE = "application/dialog-info+xml";

ColleagueWatch* watch_of(LinphoneCore* core)
{
    LinphoneCoreCbs* current = linphone_core_get_current_callbacks(core);
    return current ? static_cast<ColleagueWatch*>(linphone_core_cbs_get_user_data(current)) : nullptr;
}

LIBRARY_CALLBACK void forward_notify(LinphoneCore* core, LinphoneEvent* event, const char* name,
                                     const LinphoneContent* body)
{
    if (ColleagueWatch* watch = watch_of(core))
        watch->on_notify(event, name, body);
}

LIBRARY_CALLBACK void forward_subscription_state(LinphoneCore* core, LinphoneEvent* event,
                                                 LinphoneSubscriptionState state)
{
    if (ColleagueWatch* watch = watch_of(core))
        watch->on_subscription_state(event, state);
}

LIBRARY_CALLBACK void forward_registration(LinphoneCore* core, LinphoneProxyConfig* config,
                                           LinphoneRegistrationState state, const char*)
{
    if (ColleagueWatch* watch = watch_of(core))
        watch->on_registration(config, state);
}

bool over(LinphoneSubscriptionState state)
{
    return state == LinphoneSubscriptionTerminated || state == LinphoneSubscriptionError ||
           state == LinphoneSubscriptionNone;
}

QString refusal_of(LinphoneEvent* event)
{
    const LinphoneErrorInfo* error = linphone_event_get_error_info(event);
    const int code = error ? linphone_error_info_get_protocol_code(error) : 0;
    const char* phrase = error ? linphone_error_info_get_phrase(error) : nullptr;
    if (code <= 0)
        return QStringLiteral("サーバーが応答しません");
    return QStringLiteral("サーバーが拒否しました (%1 %2)")
        .arg(code)
        .arg(QString::fromUtf8(phrase ? phrase : ""));
}

} // namespace

ColleagueWatch::ColleagueWatch(ZimData* data, ZimLogger* logger, std::function<void()> wake)
    : data(data), logger(logger), wake(std::move(wake))
{
}

ColleagueWatch::~ColleagueWatch()
{
    detach();
}

void ColleagueWatch::request_reload()
{
    reload_request.store(true);
    if (wake)
        wake();
}

void ColleagueWatch::attach(LinphoneCore* library_core)
{
    core = library_core;
    callbacks = linphone_factory_create_core_cbs(linphone_factory_get());
    linphone_core_cbs_set_user_data(callbacks, this);
    linphone_core_cbs_set_notify_received(callbacks, forward_notify);
    linphone_core_cbs_set_subscription_state_changed(callbacks, forward_subscription_state);
    linphone_core_cbs_set_registration_state_changed(callbacks, forward_registration);
    linphone_core_add_callbacks(core, callbacks);
}

void ColleagueWatch::detach()
{
    if (!core)
        return;
    for (auto& entry : watched)
        release(*entry, false);
    watched.clear();
    for (LinphoneEvent* event : closing)
        linphone_event_unref(event);
    closing.clear();
    linphone_core_remove_callbacks(core, callbacks);
    linphone_core_cbs_unref(callbacks);
    callbacks = nullptr;
    core = nullptr;
    subscribed_account = nullptr;
}

void ColleagueWatch::on_registration(LinphoneProxyConfig* config, LinphoneRegistrationState state)
{
    if (state != LinphoneRegistrationOk)
        return;
    // A refresh of the same registration keeps the subscriptions; a new one (after a loss, a
    // changed account, a restarted server) makes them again.
    const bool refresh =
        config == subscribed_account && std::all_of(watched.begin(), watched.end(), [](auto& w) {
            return w->event && !over(linphone_event_get_subscription_state(w->event));
        });
    if (!refresh)
        registration_new = true;
}

void ColleagueWatch::serve(LinphoneProxyConfig* account)
{
    if (!core)
        return;
    const bool reload = reload_request.exchange(false);
    const bool registered = account && linphone_proxy_config_get_state(account) == LinphoneRegistrationOk;
    if (reload || (registration_new && registered)) {
        registration_new = false;
        subscribe_all(registered ? account : nullptr);
    }
    for (auto it = closing.begin(); it != closing.end();) {
        if (over(linphone_event_get_subscription_state(*it))) {
            linphone_event_unref(*it);
            it = closing.erase(it);
        } else {
            ++it;
        }
    }
}

void ColleagueWatch::subscribe_all(LinphoneProxyConfig* account)
{
    for (auto& entry : watched)
        release(*entry, true);
    watched.clear();
    subscribed_account = account;
    for (const Colleague& colleague : colleagues::from_text(data->other_settings().value(colleagues::KEY))) {
        watched.push_back(std::make_unique<Watched>());
        watched.back()->colleague = colleague;
        emit signal_colleague_lamp(colleague.extension, int(Lamp::Unknown), QString(), false);
        if (account)
            subscribe(*watched.back(), account);
    }
}

void ColleagueWatch::subscribe(Watched& entry, LinphoneProxyConfig* account)
{
    const LinphoneAddress* identity = linphone_proxy_config_get_identity_address(account);
    if (!identity)
        return;
    LinphoneAddress* resource = linphone_address_clone(identity);
    linphone_address_set_display_name(resource, nullptr);
    linphone_address_set_username(resource, entry.colleague.extension.toUtf8().constData());
    entry.event = linphone_core_create_subscribe_2(core, resource, account, EVENT_NAME, EXPIRES_S);
    linphone_address_unref(resource);
    if (!entry.event)
        return;
    linphone_event_set_user_data(entry.event, &entry);
    linphone_event_add_custom_header(entry.event, "Accept", BODY_TYPE);
    if (linphone_event_send_subscribe(entry.event, nullptr) != 0)
        show(entry, Lamp::Unknown, QStringLiteral("購読を送れません"));
}

void ColleagueWatch::release(Watched& entry, bool unsubscribe)
{
    LinphoneEvent* event = entry.event;
    entry.event = nullptr;
    if (!event)
        return;
    linphone_event_set_user_data(event, nullptr);
    if (unsubscribe && !over(linphone_event_get_subscription_state(event))) {
        linphone_event_terminate(event);
        closing.push_back(event);
        return;
    }
    linphone_event_unref(event);
}

void ColleagueWatch::end_all()
{
    for (auto& entry : watched)
        release(*entry, true);
    subscribed_account = nullptr;
}

bool ColleagueWatch::ending() const
{
    return std::any_of(closing.begin(), closing.end(), [](LinphoneEvent* event) {
        return !over(linphone_event_get_subscription_state(event));
    });
}

ColleagueWatch::Watched* ColleagueWatch::find(LinphoneEvent* event) const
{
    return event ? static_cast<Watched*>(linphone_event_get_user_data(event)) : nullptr;
}

void ColleagueWatch::on_subscription_state(LinphoneEvent* event, LinphoneSubscriptionState state)
{
    Watched* entry = find(event);
    if (!entry)
        return;
    if (state == LinphoneSubscriptionError) {
        const QString reason = refusal_of(event);
        logger->log(
            QStringLiteral("dialog subscription to %1 refused: %2").arg(entry->colleague.extension, reason),
            2);
        show(*entry, Lamp::Unknown, reason);
    } else if (state == LinphoneSubscriptionTerminated) {
        logger->log(
            QStringLiteral("dialog subscription to %1 ended by the server").arg(entry->colleague.extension),
            1);
        show(*entry, Lamp::Unknown, QStringLiteral("サーバーが購読を終了しました"));
    }
}

// A NOTIFY that does not parse, is too big or describes another line changes nothing.
void ColleagueWatch::on_notify(LinphoneEvent* event, const char* name, const LinphoneContent* body)
{
    Watched* entry = find(event);
    if (!entry) {
        logger->log(QStringLiteral("NOTIFY for no subscription of ours ignored (%1)")
                        .arg(QString::fromUtf8(name ? name : "")),
                    1);
        return;
    }
    const QString extension = entry->colleague.extension;
    const size_t size = body ? linphone_content_get_size(body) : 0;
    if (size == 0) // the server knows nothing yet
        return;
    const QString subtype = QString::fromUtf8(linphone_content_get_subtype(body));
    if (subtype != QLatin1String("dialog-info+xml")) {
        logger->log(QStringLiteral("NOTIFY for %1 with a body of type %2 ignored").arg(extension, subtype),
                    2);
        return;
    }
    const char* bytes = reinterpret_cast<const char*>(linphone_content_get_buffer(body));
    DialogInfo info;
    QString error;
    if (!bytes || !DialogInfo::parse(QByteArray(bytes, int(qMin<size_t>(size, DialogInfo::MAX_BODY + 1))),
                                     &info, &error)) {
        logger->log(QStringLiteral("NOTIFY for %1 ignored: %2").arg(extension, error), 2);
        return;
    }
    if (!info.names(extension)) {
        logger->log(
            QStringLiteral("NOTIFY for %1 names another line (%2): ignored").arg(extension, info.entity), 2);
        return;
    }
    // A document older than the one shown arrived late.
    if (info.version >= 0 && entry->info.version >= 0 && info.version < entry->info.version)
        return;
    entry->info.take(info);
    show(*entry, entry->info.lamp(), QString());
}

void ColleagueWatch::show(Watched& entry, Lamp lamp, const QString& reason)
{
    const bool can_pick_up = lamp == Lamp::Ringing && entry.info.ringing_dialog();
    if (lamp == entry.lamp && reason == entry.reason && can_pick_up == entry.can_pick_up)
        return;
    if (lamp == Lamp::Unknown)
        entry.info = DialogInfo();
    entry.lamp = lamp;
    entry.reason = reason;
    entry.can_pick_up = can_pick_up;
    emit signal_colleague_lamp(entry.colleague.extension, int(lamp), reason, can_pick_up);
}

bool ColleagueWatch::pickup_of(const QString& extension, QString* target, QString* replaces) const
{
    for (const auto& entry : watched) {
        if (entry->colleague.extension != extension)
            continue;
        const DialogInfo::Dialog* dialog = entry->info.ringing_dialog();
        if (!dialog)
            return false;
        // RFC 3891 from the caller's side, who gets the INVITE: its tag is the colleague's remote one.
        *target = dialog->remote_target.isEmpty() ? dialog->remote_identity : dialog->remote_target;
        *replaces = QStringLiteral("%1;to-tag=%2;from-tag=%3;early-only")
                        .arg(dialog->call_id, dialog->remote_tag, dialog->local_tag);
        return true;
    }
    return false;
}
