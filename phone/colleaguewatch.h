#pragma once

#include "data/colleagues.h"
#include "phone/dialoginfo.h"

#include <QObject>
#include <QString>

#include <linphone/core.h>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class ZimData;
class ZimLogger;

// The colleagues' lines: one subscription to the "dialog" event for each colleague through the
// account, made once the account is registered (again after every new registration, and when the
// list is saved), refreshed by the library before it expires and ended (Expires 0) at stop. Each
// NOTIFY turns a lamp; a refused subscription leaves it unknown with the server's reason.
// Created in the window thread; everything else runs in the engine thread, which owns the core.
class ColleagueWatch : public QObject
{
    Q_OBJECT
public:
    // How long a subscription is asked for; the library renews it before it runs out.
    static const int EXPIRES_S = 600;

    ColleagueWatch(ZimData* data, ZimLogger* logger, std::function<void()> wake);
    ~ColleagueWatch() override;

    // Window thread: the list was saved; the engine subscribes anew at its next pass.
    void request_reload();

    // Engine thread.
    void attach(LinphoneCore* core);
    void detach(); // before the core goes
    // Each pass: a saved list, or a registration that is new, subscribes again.
    void serve(LinphoneProxyConfig* account);
    // Ends every subscription (SUBSCRIBE with Expires 0); ending() holds until the server answered.
    void end_all();
    bool ending() const;
    // The Replaces header value and the address to call that take over the colleague's ringing
    // call; false while it rings with nothing a pickup can name.
    bool pickup_of(const QString& extension, QString* target, QString* replaces) const;

    // Library callbacks.
    void on_notify(LinphoneEvent* event, const char* name, const LinphoneContent* body);
    void on_subscription_state(LinphoneEvent* event, LinphoneSubscriptionState state);
    void on_registration(LinphoneProxyConfig* config, LinphoneRegistrationState state);

signals:
    // A lamp changed: `lamp` is a Lamp; `reason` says why it is unknown (empty otherwise);
    // `can_pick_up` while it rings with a call a pickup can name.
    void signal_colleague_lamp(QString extension, int lamp, QString reason, bool can_pick_up);

private:
    struct Watched
    {
        Colleague colleague;
        LinphoneEvent* event = nullptr;
        DialogInfo info;
        Lamp lamp = Lamp::Unknown;
        QString reason;
        bool can_pick_up = false;
    };
    void subscribe_all(LinphoneProxyConfig* account);
    void subscribe(Watched& watched, LinphoneProxyConfig* account);
    void release(Watched& watched, bool unsubscribe);
    void show(Watched& watched, Lamp lamp, const QString& reason);
    Watched* find(LinphoneEvent* event) const;

    ZimData* data;
    ZimLogger* logger;
    std::function<void()> wake;
    std::atomic<bool> reload_request{true};
    LinphoneCore* core = nullptr;
    LinphoneCoreCbs* callbacks = nullptr;
    LinphoneProxyConfig* subscribed_account = nullptr;
    bool registration_new = false; // registered since the last subscriptions were made
    std::vector<std::unique_ptr<Watched>> watched;
    std::vector<LinphoneEvent*> closing; // unsubscriptions the server has not answered yet
};
