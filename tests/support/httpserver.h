#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

// One request as the server received it.
struct RecordedRequest
{
    QByteArray method;
    QByteArray path;
    QByteArray query; // after "?", still encoded; empty when there was none
    bool has_query = false;
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

// A small HTTP/1.1 server on 127.0.0.1 (plain or TLS) that records every request and answers each
// with the same configurable body, closing the connection after the answer.
class HttpServer : public QTcpServer
{
    Q_OBJECT
public:
    explicit HttpServer(QObject* parent = nullptr);

    bool start();
    // TLS with the given PEM certificate and key, RSA or EC (see make_certificate and TestCa).
    bool start_tls(const QString& certificate_file, const QString& key_file);
    QString base_url() const;

    void set_response(const QByteArray& body, const QByteArray& content_type = "text/html; charset=utf-8");
    // Answers with exactly these bytes (status line and headers included) while not empty.
    void set_raw_response(const QByteArray& bytes) { raw_response = bytes; }
    // Records requests but never answers them, keeping the connection open.
    void set_silent(bool silent) { this->silent = silent; }
    QList<RecordedRequest> requests() const { return recorded; }
    // Requests for one path, ignoring the engine's own ones such as /favicon.ico.
    QList<RecordedRequest> requests_for(const QByteArray& path) const;
    void clear() { recorded.clear(); }

    // Makes a self-signed certificate for 127.0.0.1 in dir with openssl; false (and a reason in
    // error) when openssl is missing, fails or does not finish within its time.
    static bool make_certificate(const QString& dir, QString* certificate_file, QString* key_file,
                                 QString* error = nullptr);

signals:
    void signal_request_received();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void read_from(QTcpSocket* socket);

    bool tls = false;
    QSslCertificate certificate;
    QSslKey key;
    QByteArray response_body = "<html><body>ok</body></html>";
    QByteArray response_type = "text/html; charset=utf-8";
    QByteArray raw_response;
    bool silent = false;
    QList<RecordedRequest> recorded;
};
