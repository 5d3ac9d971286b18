#include "ui/cti/certificatecheck.h"

#include "data/zimconstants.h"
#include "ui/cti/ctitrust.h"

namespace {
// A server that takes the connection but never finishes the handshake must not hold the page for ever.
const int CHECK_TIMEOUT_MS = 10000;
} // namespace

CertificateCheck::CertificateCheck(const QSslCertificate& presented, Done done)
    : presented(presented), done(std::move(done))
{
    connect(&socket, &QSslSocket::encrypted, this, [this] {
        finish(socket.peerCertificate() == this->presented ? QString() : zim::MSG_CERT_CHANGED);
    });
    connect(&socket, QOverload<const QList<QSslError>&>::of(&QSslSocket::sslErrors), this,
            [this](const QList<QSslError>& errors) { failure = CtiTrust::reason(errors); });
    connect(&socket, &QAbstractSocket::errorOccurred, this,
            [this] { finish(failure.isEmpty() ? zim::MSG_CERT_NO_ANSWER : failure); });
    connect(&timer, &QTimer::timeout, this, [this] { finish(zim::MSG_CERT_NO_ANSWER); });
    timer.setSingleShot(true);
}

void CertificateCheck::start(const QUrl& url, const QSslCertificate& presented,
                             const QSslConfiguration& trust, Done done)
{
    auto* check = new CertificateCheck(presented, std::move(done));
    check->socket.setSslConfiguration(trust);
    check->timer.start(CHECK_TIMEOUT_MS);
    check->socket.connectToHostEncrypted(url.host(), static_cast<quint16>(url.port(443)));
}

void CertificateCheck::finish(const QString& reason)
{
    if (!done)
        return;
    timer.stop();
    const Done call = std::move(done);
    done = nullptr;
    socket.abort();
    deleteLater();
    call(reason);
}
