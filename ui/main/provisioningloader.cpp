#include "ui/main/provisioningloader.h"

#include "data/zimlogger.h"
#include "data/zimpaths.h"
#include "ui/cti/ctitrust.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QTimer>

namespace {
const int FETCH_TIMEOUT_MS = 10000;
// A provisioning file is a few hundred bytes; anything near this is not one.
const qint64 MAX_FILE_BYTES = 1024 * 1024;
} // namespace

ProvisioningLoader::ProvisioningLoader(QObject* parent, ZimData* data, ZimLogger* logger)
    : QObject(parent), data(data), logger(logger)
{
}

bool ProvisioningLoader::start()
{
    const QString path = Provisioning::find_file();
    if (path.isEmpty())
        return false;
    QString error;
    if (!Provisioning::read_file(path, &desk_file, &error)) {
        report(error);
        return false;
    }
    Provisioning::apply(data, {desk_file});
    logger->log(QStringLiteral("provisioning applied from ") + path, 1);
    if (desk_file.url.isEmpty())
        return false;

    CtiTrust trust;
    trust.ca_file = desk_file.ca_file;
    QString problem;
    QNetworkRequest request{QUrl(desk_file.url)};
    request.setSslConfiguration(trust.configuration(&problem));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    network = new QNetworkAccessManager(this);
    QNetworkReply* reply = network->get(request);
    connect(reply, &QNetworkReply::sslErrors, this, [this, problem](const QList<QSslError>& errors) {
        tls_failure = CtiTrust::with_problem(CtiTrust::log_text(errors), problem);
    });
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > MAX_FILE_BYTES)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finish_fetch(reply); });
    // The whole fetch, however slowly the server trickles: the desk must not wait for ever.
    timeout = new QTimer(this);
    timeout->setSingleShot(true);
    connect(timeout, &QTimer::timeout, reply, &QNetworkReply::abort);
    timeout->start(FETCH_TIMEOUT_MS);
    return true;
}

void ProvisioningLoader::finish_fetch(QNetworkReply* reply)
{
    reply->deleteLater();
    const bool timed_out = !timeout->isActive();
    timeout->stop();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    QString failure;
    if (reply->error() != QNetworkReply::NoError)
        failure = timed_out ? QStringLiteral("no answer within 10 s")
                            : (tls_failure.isEmpty() ? reply->errorString() : tls_failure);
    else if (status != 200)
        failure = QStringLiteral("HTTP status %1").arg(status);
    const QByteArray body = failure.isEmpty() ? reply->readAll() : QByteArray();
    Provisioning remote;
    QString error;
    if (failure.isEmpty() && Provisioning::parse(body, desk_file.url, &remote, &error)) {
        QSaveFile copy(Provisioning::saved_copy_path()); // private from the start: it may hold passwords
        if (!zim::prepare_private_file(copy.fileName()) || !copy.open(QIODevice::WriteOnly) ||
            copy.write(body) != body.size() || !copy.commit())
            logger->log(QStringLiteral("provisioning: no copy kept in ") + Provisioning::saved_copy_path(),
                        2);
        logger->log(QStringLiteral("provisioning fetched from ") + desk_file.url, 1);
        apply_remote(remote);
        emit signal_fetch_done();
        return;
    }
    // The server could not be reached or sent no usable file: the last good copy stays in force.
    const bool kept = Provisioning::read_file(Provisioning::saved_copy_path(), &remote, &error);
    const QString outcome =
        kept ? QStringLiteral("; the last good copy serves") : QStringLiteral("; no earlier copy");
    if (failure.isEmpty())
        report(error + outcome);
    else
        logger->log(
            QStringLiteral("provisioning server %1 not reached (%2)%3").arg(desk_file.url, failure, outcome),
            2);
    apply_remote(kept ? remote : Provisioning());
    emit signal_fetch_done();
}

void ProvisioningLoader::apply_remote(const Provisioning& remote)
{
    if (!Provisioning::apply(data, {desk_file, remote}).isEmpty())
        emit signal_account_provisioned();
}

void ProvisioningLoader::report(const QString& where)
{
    logger->log(QStringLiteral("provisioning file not used, nothing changed: ") + where, 2);
    emit signal_provisioning_error(where);
}
