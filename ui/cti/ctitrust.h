#pragma once

#include <QList>
#include <QMap>
#include <QSslConfiguration>
#include <QSslError>
#include <QString>

// Whom the CTI servers (operator server, CRM pages) are trusted by: the system's CAs plus the PEM
// file of the external-link setting "ctiCaFile". The operator's ID and password travel to these
// servers, so a server that fails the check gets nothing; "ctiVerifyCertificate" = "0" turns the
// check off for a site that knowingly runs without a valid certificate.
class CtiTrust
{
public:
    static CtiTrust from_settings(const QMap<QString, QString>& outlink);

    // The TLS settings to connect with; *problem tells, in the operator's words, when the CA file gave
    // no certificate (the check then goes on with the system's CAs alone).
    QSslConfiguration configuration(QString* problem = nullptr) const;
    // The reason of a failed check, with the CA file's problem when there was one.
    static QString with_problem(const QString& reason, const QString& problem);

    // The reason for the message box and the error page, in the operator's words.
    static QString reason(const QList<QSslError>& errors);
    // One line for the log: Qt's own texts of the errors.
    static QString log_text(const QList<QSslError>& errors);

    bool verify = true;
    QString ca_file;
};
