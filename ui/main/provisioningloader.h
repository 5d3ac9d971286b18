#pragma once

#include "data/provisioning.h"

#include <QObject>
#include <QString>

class QFileSystemWatcher;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class ZimData;
class ZimLogger;

// Brings the administrator's provisioning into the store at start: the desk's own file at once,
// then the file its url names, fetched over HTTPS and checked like the CTI servers. The last good
// fetched copy is kept in the data folder and serves while the server cannot be reached; so does
// the last good copy of the desk's file while that file does not parse.
class ProvisioningLoader : public QObject
{
    Q_OBJECT
public:
    ProvisioningLoader(QObject* parent, ZimData* data, ZimLogger* logger);

    // Applies the desk's file; returns true while its url is being fetched (signal_fetch_done follows).
    bool start();
    static QString desk_copy_path();

signals:
    // A provisioning file that cannot be used, where and why: "<path> line <n>: <reason>".
    void signal_provisioning_error(QString where);
    // The fetched (or kept) file changed the SIP account after the engine had started.
    void signal_account_provisioned();
    void signal_fetch_done();
    // The broken desk's file was put right while the program ran, and applied.
    void signal_provisioning_fixed();

private:
    void finish_fetch(QNetworkReply* reply);
    bool read_desk_file(const QString& path, Provisioning* result, QString* error);
    void reread_desk_file(const QString& path);
    void keep_copy(const QString& path, const QByteArray& text);
    void apply_remote(const Provisioning& remote);
    void report(const QString& where);

    ZimData* data;
    ZimLogger* logger;
    Provisioning desk_file;
    Provisioning remote_file;              // as last applied
    QFileSystemWatcher* watcher = nullptr; // while the desk's file does not parse
    QNetworkAccessManager* network = nullptr;
    QTimer* timeout = nullptr;
    QString tls_failure;
};
