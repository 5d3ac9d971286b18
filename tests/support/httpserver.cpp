#include "httpserver.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QSslSocket>

namespace {
const int OPENSSL_TIMEOUT_MS = 30000;
const char* const BUFFER_PROPERTY = "velora_buffer";
} // namespace

HttpServer::HttpServer(QObject* parent) : QTcpServer(parent) {}

bool HttpServer::start()
{
    tls = false;
    return listen(QHostAddress::LocalHost, 0);
}

bool HttpServer::start_tls(const QString& certificate_file, const QString& key_file)
{
    QFile cert_in(certificate_file);
    QFile key_in(key_file);
    if (!cert_in.open(QIODevice::ReadOnly) || !key_in.open(QIODevice::ReadOnly))
        return false;
    certificate = QSslCertificate(&cert_in, QSsl::Pem);
    // RSA from make_certificate, elliptic curve from TestCa.
    const QByteArray key_pem = key_in.readAll();
    key = QSslKey(key_pem, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(key_pem, QSsl::Ec, QSsl::Pem);
    if (certificate.isNull() || key.isNull())
        return false;
    tls = true;
    return listen(QHostAddress::LocalHost, 0);
}

QString HttpServer::base_url() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(tls ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(serverPort());
}

void HttpServer::set_response(const QByteArray& body, const QByteArray& content_type)
{
    response_body = body;
    response_type = content_type;
}

QList<RecordedRequest> HttpServer::requests_for(const QByteArray& path) const
{
    QList<RecordedRequest> result;
    for (const RecordedRequest& request : recorded)
        if (request.path == path)
            result << request;
    return result;
}

void HttpServer::incomingConnection(qintptr descriptor)
{
    QTcpSocket* socket = tls ? new QSslSocket(this) : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read_from(socket); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    if (auto* secure = qobject_cast<QSslSocket*>(socket)) {
        secure->setLocalCertificate(certificate);
        secure->setPrivateKey(key);
        secure->setPeerVerifyMode(QSslSocket::VerifyNone);
        secure->startServerEncryption();
    }
}

void HttpServer::read_from(QTcpSocket* socket)
{
    QByteArray buffer = socket->property(BUFFER_PROPERTY).toByteArray() + socket->readAll();
    for (;;) {
        const int header_end = buffer.indexOf("\r\n\r\n");
        if (header_end < 0)
            break;
        const QList<QByteArray> lines = buffer.left(header_end).split('\n');
        RecordedRequest request;
        const QList<QByteArray> start = lines.value(0).trimmed().split(' ');
        request.method = start.value(0);
        const QByteArray target = start.value(1);
        const int question = target.indexOf('?');
        request.has_query = question >= 0;
        request.path = request.has_query ? target.left(question) : target;
        request.query = request.has_query ? target.mid(question + 1) : QByteArray();
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                       lines[i].mid(colon + 1).trimmed());
        }
        const int length = request.headers.value("content-length").toInt();
        if (buffer.size() < header_end + 4 + length)
            break;
        request.body = buffer.mid(header_end + 4, length);
        buffer.remove(0, header_end + 4 + length);
        recorded << request;

        if (silent) {
            emit signal_request_received();
            break;
        }
        if (!raw_response.isEmpty())
            socket->write(raw_response);
        else
            socket->write(
                "HTTP/1.1 200 OK\r\nContent-Type: " + response_type +
                "\r\nCache-Control: no-store\r\nContent-Length: " + QByteArray::number(response_body.size()) +
                "\r\nConnection: close\r\n\r\n" + response_body);
        socket->disconnectFromHost();
        emit signal_request_received();
        break;
    }
    socket->setProperty(BUFFER_PROPERTY, buffer);
}

bool HttpServer::make_certificate(const QString& dir, QString* certificate_file, QString* key_file,
                                  QString* error)
{
    *certificate_file = QDir(dir).filePath(QStringLiteral("server.crt"));
    *key_file = QDir(dir).filePath(QStringLiteral("server.key"));
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                   QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-days"),
                   QStringLiteral("1"), QStringLiteral("-keyout"), *key_file, QStringLiteral("-out"),
                   *certificate_file});
    if (!openssl.waitForStarted(OPENSSL_TIMEOUT_MS)) {
        if (error)
            *error = QStringLiteral("openssl did not start: ") + openssl.errorString();
        return false;
    }
    if (!openssl.waitForFinished(OPENSSL_TIMEOUT_MS)) {
        openssl.kill();
        openssl.waitForFinished(5000);
        if (error)
            *error = QStringLiteral("openssl did not finish in time");
        return false;
    }
    if (openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        if (error)
            *error = QString::fromLocal8Bit(openssl.readAll());
        return false;
    }
    return QFile::exists(*certificate_file) && QFile::exists(*key_file);
}
