#include "ui/main/incomingcallnotifier.h"

#include "data/zimconstants.h"
#include "phone/callphase.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QSystemTrayIcon>
#include <QWidget>

namespace {
const QString SERVICE = QStringLiteral("org.freedesktop.Notifications");
const QString PATH = QStringLiteral("/org/freedesktop/Notifications");
const QString ANSWER_KEY = QStringLiteral("answer");

QDBusMessage call(const QString& method)
{
    return QDBusMessage::createMethodCall(SERVICE, PATH, SERVICE, method);
}
} // namespace

IncomingCallNotifier::IncomingCallNotifier(QWidget* window, QSystemTrayIcon* tray)
    : QObject(window), window(window), tray(tray)
{
    // Asked without waiting: the window thread never blocks on the bus.
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call("GetCapabilities")), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* reply) {
        const QDBusPendingReply<QStringList> capabilities = *reply;
        body_markup = capabilities.isValid() && capabilities.value().contains(QStringLiteral("body-markup"));
        actions = capabilities.isValid() && capabilities.value().contains(QStringLiteral("actions"));
        reply->deleteLater();
    });
    QDBusConnection::sessionBus().connect(SERVICE, PATH, SERVICE, QStringLiteral("ActionInvoked"), this,
                                          SLOT(on_action_invoked(uint, QString)));
}

void IncomingCallNotifier::slot_received_dialog(QMap<QString, QString> params)
{
    if (window->isVisible() && !window->isMinimized())
        return;
    const QString name = params.value(QStringLiteral("callerName"));
    const QString number = params.value(QStringLiteral("callerId"));
    caller_text = name.isEmpty() ? number : name + QLatin1Char('\n') + number;
    ringing = true;
    end_status = -1;
    incoming_id = 0;
    notify(zim::STATUS_INCOMING, caller_text, 0, true);
}

void IncomingCallNotifier::slot_call_answered()
{
    if (!ringing)
        return;
    ringing = false;
    end_status = RECORD_INCOMING_ANSWERED;
    close(incoming_id);
    incoming_id = 0;
}

void IncomingCallNotifier::slot_dialog_end(QString, int record_status)
{
    if (!ringing)
        return;
    ringing = false;
    end_status = record_status;
    if (incoming_id)
        follow_end(incoming_id, record_status);
    incoming_id = 0;
}

// The ringing notification closes, or becomes the one missed-call notification on screen.
void IncomingCallNotifier::follow_end(uint shown, int record_status)
{
    if (record_status != RECORD_INCOMING_MISSED) {
        close(shown);
        return;
    }
    // The ringing notification becomes the missed one; an older missed one goes.
    if (missed_id && missed_id != shown)
        close(missed_id);
    missed_id = 0;
    notify(zim::NOTICE_MISSED_CALL, caller_text, shown, false);
}

void IncomingCallNotifier::on_action_invoked(uint id, const QString& key)
{
    if (id == incoming_id && key == ANSWER_KEY)
        emit signal_answer_requested();
}

void IncomingCallNotifier::notify(const QString& summary, const QString& body, uint replaces, bool incoming)
{
    QDBusMessage message = call(QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("velora-softphone")},
                            {QStringLiteral("urgency"), QVariant::fromValue(uchar(incoming ? 2 : 1))}};
    const QStringList buttons =
        incoming && actions ? QStringList{ANSWER_KEY, QStringLiteral("応答")} : QStringList();
    message << zim::PRODUCT_TITLE << replaces << QStringLiteral("velora-softphone") << summary
            << (body_markup ? body.toHtmlEscaped() : body) << buttons << hints << -1;
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, summary, body, incoming](QDBusPendingCallWatcher* reply) {
                const QDBusPendingReply<uint> id = *reply;
                if (reply->isError())
                    tray->showMessage(summary, body, QSystemTrayIcon::Information);
                else if (!incoming)
                    missed_id = id.value();
                else if (ringing)
                    incoming_id = id.value();
                else // answered or ended before the service gave the id
                    follow_end(id.value(), end_status);
                reply->deleteLater();
            });
}

void IncomingCallNotifier::close(uint id)
{
    if (id)
        QDBusConnection::sessionBus().asyncCall(call(QStringLiteral("CloseNotification")) << id);
}
