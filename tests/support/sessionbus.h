#pragma once

#include <QProcess>
#include <QString>

// A private D-Bus session bus (dbus-daemon --session) that this process uses from then on: its
// address goes into DBUS_SESSION_BUS_ADDRESS, so create it before anything touches the bus.
// Ended by its PID when the object goes away.
class SessionBus
{
public:
    SessionBus();
    ~SessionBus();
    QString address() const { return bus_address; }

private:
    QProcess daemon;
    QString bus_address;
};
