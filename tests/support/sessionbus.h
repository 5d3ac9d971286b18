#pragma once

#include <QProcess>
#include <QString>

// A private D-Bus session bus (dbus-daemon --session) that this process uses from then on: its
// address goes into DBUS_SESSION_BUS_ADDRESS, so create it before anything touches the bus.
// Ended by its PID when the object goes away. A bus only for programs this process starts
// (`Use::Started`) leaves this process's own variable as it was.
class SessionBus
{
public:
    enum class Use { Here, Started };
    explicit SessionBus(Use use = Use::Here);
    ~SessionBus();
    QString address() const { return bus_address; }

private:
    QProcess daemon;
    QString bus_address;
};
