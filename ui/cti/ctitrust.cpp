#include "ui/cti/ctitrust.h"

#include "data/zimconstants.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSslCertificate>
#include <QStringList>

#include <mutex>

CtiTrust CtiTrust::from_settings(const QMap<QString, QString>& outlink)
{
    CtiTrust trust;
    trust.verify = outlink.value(zim::KEY_CTI_VERIFY_CERTIFICATE).trimmed() != QStringLiteral("0");
    trust.ca_file = outlink.value(zim::KEY_CTI_CA_FILE).trimmed();
    return trust;
}

namespace {
// The system's CA store is thousands of certificates to parse: read once per process. The CA file
// is read again only when the setting names another file or the file itself changes.
struct Authorities
{
    QString ca_file;
    QDateTime modified;
    qint64 size = -1;
    QSslConfiguration configuration;
    bool readable = true;
};
} // namespace

QSslConfiguration CtiTrust::configuration(QString* problem) const
{
    static std::mutex mutex;
    static const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
    static Authorities cached;
    const QFileInfo file(ca_file);
    std::lock_guard lock(mutex);
    if (cached.configuration.isNull() || cached.ca_file != ca_file ||
        (!ca_file.isEmpty() && (cached.modified != file.lastModified() || cached.size != file.size()))) {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        // Named in full: setting any CA list switches off Qt's on-demand loading of the system's.
        QList<QSslCertificate> authorities = system;
        const QList<QSslCertificate> own =
            ca_file.isEmpty() ? QList<QSslCertificate>() : QSslCertificate::fromPath(ca_file, QSsl::Pem);
        authorities += own;
        configuration.setCaCertificates(authorities);
        configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
        cached = {ca_file, file.lastModified(), ca_file.isEmpty() ? -1 : file.size(), configuration,
                  ca_file.isEmpty() || !own.isEmpty()};
    }
    if (!cached.readable && problem)
        *problem = zim::MSG_CA_FILE_UNREADABLE.arg(ca_file);
    return cached.configuration;
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
