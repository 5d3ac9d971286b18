#pragma once

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Kamailio on a free UDP port of 127.0.0.1 as registrar (password "secret") and forwarding
// proxy, from tests/sip/kamailio.cfg; with a server certificate it also takes SIP over TLS and
// over TCP, each on a port of its own. Ended by its PID when the runner goes away.
class KamailioRunner
{
public:
    KamailioRunner();
    ~KamailioRunner();

    bool start(int timeout_ms = 10000);
    // Also listens for TLS with this certificate and key (PEM files), and for TCP.
    bool start_tls(const QString& certificate_file, const QString& key_file, int timeout_ms = 10000);
    // Defines a name for the configuration's #!ifdef blocks, before start(); WITH_PRESENCE makes
    // it a dialog-state server too (SUBSCRIBE and NOTIFY for the "dialog" event).
    void define(const QString& name) { defines.append(name); }
    int port() const { return sip_port; }
    int tls_port() const { return tls_sip_port; }
    int tcp_port() const { return tcp_sip_port; }
    QString log();
    // The port of the contact the user registered last (0 while not registered).
    int registered_port(const QString& user);

    // Every REGISTER the registrar accepted, in order. A removal is one with expiry 0 (the
    // Expires header or the contact's expires parameter), as a phone sends when it unregisters.
    struct Registration
    {
        QString user; // the user part of From
        int port;     // the contact's port (0 for "*")
        bool removal;
    };
    QList<Registration> registrations();
    // How many of them registered the user (removals aside).
    int registration_count(const QString& user);

    // The contacts the location table holds for the user now (empty when none).
    QStringList contacts(const QString& user);

private:
    QString control_socket() const;
    bool make_presence_database();
    bool write_config(const QString& name, QByteArray text);

    QTemporaryDir work;
    QProcess process;
    QString output;
    int sip_port = 0;
    int tls_sip_port = 0;
    int tcp_sip_port = 0;
    QStringList defines; // -A names for the configuration's #!ifdef blocks
};
