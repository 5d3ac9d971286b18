#include "ui/main/incomingcallnotifier.h"

#include "data/zimconstants.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QSystemTrayIcon>
#include <QWidget>

namespace {
const QString SERVICE = QStringLiteral("org.freedesktop.Notifications");
const QString PATH = QStringLiteral("/org/freedesktop/Notifications");

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
        reply->deleteLater();
    });
}

void IncomingCallNotifier::slot_received_dialog(QMap<QString, QString> params)
{
    if (window->isVisible() && !window->isMinimized())
        return;
    const QString name = params.value(QStringLiteral("callerName"));
    const QString number = params.value(QStringLiteral("callerId"));
    notify(zim::STATUS_INCOMING, name.isEmpty() ? number : name + QLatin1Char('\n') + number);
}

void IncomingCallNotifier::notify(const QString& summary, const QString& body)
{
    QDBusMessage message = call(QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("velora-softphone")},
                            {QStringLiteral("urgency"), QVariant::fromValue(uchar(2))}};
    message << zim::PRODUCT_TITLE << 0u << QStringLiteral("velora-softphone") << summary
            << (body_markup ? body.toHtmlEscaped() : body) << QStringList() << hints << -1;
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, summary, body](QDBusPendingCallWatcher* reply) {
                if (reply->isError())
                    tray->showMessage(summary, body, QSystemTrayIcon::Information);
                reply->deleteLater();
            });
}
