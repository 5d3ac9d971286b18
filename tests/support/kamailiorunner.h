#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Kamailio on a free UDP port of 127.0.0.1 as registrar (password "secret") and forwarding
// proxy, from tests/sip/kamailio.cfg. Ended by its PID when the runner goes away.
class KamailioRunner
{
public:
    KamailioRunner();
    ~KamailioRunner();

    bool start(int timeout_ms = 10000);
    int port() const { return sip_port; }
    QString log();
    // The port of the contact the user registered last (0 while not registered).
    int registered_port(const QString& user);

private:
    QTemporaryDir work;
    QProcess process;
    QString output;
    int sip_port = 0;
};
