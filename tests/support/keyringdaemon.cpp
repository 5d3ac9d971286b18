#include "keyringdaemon.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QDir>
#include <QThread>

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
