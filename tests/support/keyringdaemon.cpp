#include "keyringdaemon.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDeadlineTimer>
#include <QDir>
#include <QThread>

#include <signal.h>

namespace {
// The Secret Service's secret: (session, parameters, value, content type).
struct Secret
{
    QDBusObjectPath session;
    QByteArray parameters;
    QByteArray value;
    QString content_type;
};
QDBusArgument& operator<<(QDBusArgument& argument, const Secret& secret)
{
    argument.beginStructure();
    argument << secret.session << secret.parameters << secret.value << secret.content_type;
    argument.endStructure();
    return argument;
}
const QDBusArgument& operator>>(const QDBusArgument& argument, Secret& secret)
{
    argument.beginStructure();
    argument >> secret.session >> secret.parameters >> secret.value >> secret.content_type;
    argument.endStructure();
    return argument;
}
const QString SERVICE = QStringLiteral("org.freedesktop.secrets");
const QString ROOT = QStringLiteral("/org/freedesktop/secrets");
} // namespace
Q_DECLARE_METATYPE(Secret)

KeyringDaemon::~KeyringDaemon()
{
    stop();
}

bool KeyringDaemon::start(int timeout_ms)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    daemon.setProcessEnvironment(environment);
    daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // --unlock reads the login keyring's password from its input and makes the keyring with it.
    daemon.start(
        QStringLiteral("gnome-keyring-daemon"),
        {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    if (!daemon.waitForStarted(5000))
        return false;
    daemon.write("velora");
    daemon.waitForBytesWritten(5000); // no event loop runs below to send it
    daemon.closeWriteChannel();
    QDeadlineTimer deadline(timeout_ms);
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    while (!deadline.hasExpired()) {
        if (bus && bus->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")).value())
            return true;
        QThread::msleep(50);
    }
    return false;
}

void KeyringDaemon::stop()
{
    if (daemon.state() == QProcess::NotRunning)
        return;
    pause(false); // a stopped process would not see the signal to end
    daemon.terminate();
    if (!daemon.waitForFinished(5000)) {
        daemon.kill();
        daemon.waitForFinished(5000);
    }
    // Gone from the bus too before anyone asks for it again.
    QDeadlineTimer deadline(5000);
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    while (!deadline.hasExpired() && bus &&
           bus->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")).value())
        QThread::msleep(50);
}

bool KeyringDaemon::lock()
{
    QDBusInterface service(SERVICE, ROOT, QStringLiteral("org.freedesktop.Secret.Service"));
    const QList<QDBusObjectPath> collections = {
        QDBusObjectPath(QStringLiteral("/org/freedesktop/secrets/aliases/default"))};
    const QDBusMessage reply = service.call(QStringLiteral("Lock"), QVariant::fromValue(collections));
    return reply.type() == QDBusMessage::ReplyMessage;
}

void KeyringDaemon::pause(bool paused)
{
    if (daemon.state() != QProcess::NotRunning)
        ::kill(static_cast<pid_t>(daemon.processId()), paused ? SIGSTOP : SIGCONT);
}

// Through GNOME Keyring's own interface: the standard Unlock would show a prompt.
bool KeyringDaemon::unlock()
{
    qDBusRegisterMetaType<Secret>();
    QDBusInterface service(SERVICE, ROOT, QStringLiteral("org.freedesktop.Secret.Service"));
    const QDBusMessage session = service.call(QStringLiteral("OpenSession"), QStringLiteral("plain"),
                                              QVariant::fromValue(QDBusVariant(QString())));
    if (session.type() != QDBusMessage::ReplyMessage || session.arguments().size() < 2)
        return false;
    Secret master{
        session.arguments().at(1).value<QDBusObjectPath>(), {}, "velora", QStringLiteral("text/plain")};
    QDBusInterface keyring(SERVICE, ROOT,
                           QStringLiteral("org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface"));
    const QDBusMessage reply =
        keyring.call(QStringLiteral("UnlockWithMasterPassword"),
                     QVariant::fromValue(QDBusObjectPath(ROOT + QStringLiteral("/collection/login"))),
                     QVariant::fromValue(master));
    return reply.type() == QDBusMessage::ReplyMessage;
}
