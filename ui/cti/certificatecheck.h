#pragma once

#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>
#include <QUrl>

#include <functional>

// Decides a certificate the web engine doubts: a TLS connection of our own to the same host and port,
// checked against the system's CAs, the CTI CA file and the host name. The engine's certificate is
// accepted only when it is the very one that passed; someone in between cannot show that
// certificate without its key. Deletes itself once done has been called.
class CertificateCheck : public QObject
{
    Q_OBJECT
public:
    // done gets an empty text when the certificate is trusted, else the reason in the operator's words.
    using Done = std::function<void(const QString& reason)>;
    static void start(const QUrl& url, const QSslCertificate& presented, const QSslConfiguration& trust,
                      Done done);

private:
    CertificateCheck(const QSslCertificate& presented, Done done);
    void finish(const QString& reason);

    QSslSocket socket;
    QTimer timer;
    QSslCertificate presented;
    QString failure; // from the verification, before the socket gives up
    Done done;
};
