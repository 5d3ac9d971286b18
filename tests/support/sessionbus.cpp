#include "sessionbus.h"

SessionBus::SessionBus(Use use)
{
    // Services the bus starts (GNOME Keyring's unlock prompt) find no display: a prompt nobody
    // answers would hold the test until the keyring's time-out.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    daemon.setProcessEnvironment(environment);
    daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                 QStringLiteral("--print-address=1")});
    if (daemon.waitForStarted(5000) && daemon.waitForReadyRead(5000))
        bus_address = QString::fromUtf8(daemon.readLine()).trimmed();
    if (use == Use::Here)
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus_address.toUtf8());
}

SessionBus::~SessionBus()
{
    daemon.terminate();
    if (!daemon.waitForFinished(5000)) {
        daemon.kill();
        daemon.waitForFinished(5000);
    }
}
