#include "ui/cti/ctitrust.h"

#include "data/zimconstants.h"

#include <QFile>
#include <QSslCertificate>
#include <QStringList>

CtiTrust CtiTrust::from_settings(const QMap<QString, QString>& outlink)
{
    CtiTrust trust;
    trust.verify = outlink.value(zim::KEY_CTI_VERIFY_CERTIFICATE).trimmed() != QStringLiteral("0");
    trust.ca_file = outlink.value(zim::KEY_CTI_CA_FILE).trimmed();
    return trust;
}

QSslConfiguration CtiTrust::configuration(QString* problem) const
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    // Named in full: setting any CA list switches off Qt's on-demand loading of the system's.
    QList<QSslCertificate> authorities = QSslConfiguration::systemCaCertificates();
    if (!ca_file.isEmpty()) {
        const QList<QSslCertificate> own = QSslCertificate::fromPath(ca_file, QSsl::Pem);
        if (own.isEmpty() && problem)
            *problem = zim::MSG_CA_FILE_UNREADABLE.arg(ca_file);
        authorities += own;
    }
    configuration.setCaCertificates(authorities);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    return configuration;
}

QString CtiTrust::with_problem(const QString& reason, const QString& problem)
{
    return problem.isEmpty() ? reason : reason + QStringLiteral("（") + problem + QStringLiteral("）");
}

QString CtiTrust::reason(const QList<QSslError>& errors)
{
    QStringList texts;
    for (const QSslError& error : errors) {
        QString text;
        switch (error.error()) {
        case QSslError::SelfSignedCertificate:
        case QSslError::SelfSignedCertificateInChain:
        case QSslError::UnableToGetLocalIssuerCertificate:
        case QSslError::UnableToGetIssuerCertificate:
        case QSslError::UnableToVerifyFirstCertificate:
        case QSslError::CertificateUntrusted:
        case QSslError::InvalidCaCertificate:
            text = zim::MSG_CERT_UNTRUSTED;
            break;
        case QSslError::CertificateExpired:
            text = zim::MSG_CERT_EXPIRED;
            break;
        case QSslError::CertificateNotYetValid:
            text = zim::MSG_CERT_NOT_YET_VALID;
            break;
        case QSslError::HostNameMismatch:
            text = zim::MSG_CERT_HOST_MISMATCH;
            break;
        case QSslError::CertificateRevoked:
            text = zim::MSG_CERT_REVOKED;
            break;
        default:
            text = error.errorString();
        }
        if (!texts.contains(text))
            texts << text;
    }
    return texts.join(QStringLiteral("、"));
}

QString CtiTrust::log_text(const QList<QSslError>& errors)
{
    QStringList texts;
    for (const QSslError& error : errors)
        texts << error.errorString();
    return texts.join(QStringLiteral("; "));
}
