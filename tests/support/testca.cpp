#include "testca.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

const int OPENSSL_TIMEOUT_MS = 20000;

bool run_openssl(const QStringList& arguments, QString* error)
{
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"), arguments);
    if (!openssl.waitForFinished(OPENSSL_TIMEOUT_MS)) {
        openssl.kill();
        openssl.waitForFinished(5000);
        *error = QStringLiteral("openssl did not finish: ") + arguments.join(QLatin1Char(' '));
        return false;
    }
    if (openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0)
        return true;
    *error = QString::fromLocal8Bit(openssl.readAll());
    return false;
}

} // namespace

bool TestCa::make(const QString& dir, const QString& name, const QString& alt_names)
{
    const QDir base(dir);
    ca_file = base.filePath(name + QStringLiteral("-ca.crt"));
    certificate_file = base.filePath(name + QStringLiteral("-server.crt"));
    key_file = base.filePath(name + QStringLiteral("-server.key"));
    const QString ca_key = base.filePath(name + QStringLiteral("-ca.key"));
    const QString request = base.filePath(name + QStringLiteral("-server.csr"));
    const QString extensions = base.filePath(name + QStringLiteral("-server.ext"));
    QFile ext(extensions);
    if (!ext.open(QIODevice::WriteOnly) ||
        ext.write("subjectAltName=" + alt_names.toLatin1() +
                  "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n") < 0)
        return false;
    ext.close();
    const QStringList ec_key = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                                QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    return run_openssl(QStringList{"req", "-x509"} + ec_key +
                           QStringList{"-subj", "/CN=Velora test CA " + name, "-days", "2", "-keyout", ca_key,
                                       "-out", ca_file},
                       &error) &&
           run_openssl(QStringList{"req"} + ec_key +
                           QStringList{"-subj", "/CN=127.0.0.1", "-keyout", key_file, "-out", request},
                       &error) &&
           run_openssl({"x509", "-req", "-in", request, "-CA", ca_file, "-CAkey", ca_key, "-CAcreateserial",
                        "-days", "2", "-extfile", extensions, "-out", certificate_file},
                       &error);
}
