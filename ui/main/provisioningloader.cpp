#include "ui/main/provisioningloader.h"

#include "data/zimconstants.h"
#include "data/zimlogger.h"
#include "data/zimpaths.h"
#include "ui/cti/ctitrust.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QTimer>

namespace {
const int FETCH_TIMEOUT_MS = 10000;
// A provisioning file is a few hundred bytes; anything near this is not one.
const qint64 MAX_FILE_BYTES = 1024 * 1024;
const int FILE_SETTLE_MS = 500;
} // namespace

ProvisioningLoader::ProvisioningLoader(QObject* parent, ZimData* data, ZimLogger* logger)
    : QObject(parent), data(data), logger(logger)
{
}

// The desk's file as it last read well, kept as the fetched one is: a file that no longer parses
// leaves the provisioning it gave in force, values and locks.
QString ProvisioningLoader::desk_copy_path()
{
    return zim::data_path(zim::DATA_DIR + QStringLiteral("/provisioning-desk.ini"));
}

// Reads and parses the desk's file; a good one is kept as the last good copy.
bool ProvisioningLoader::read_desk_file(const QString& path, Provisioning* result, QString* error)
{
    QFile file(path);
    const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("%1 line 0: %2").arg(path, file.errorString());
        return false;
    }
    if (!Provisioning::parse(text, path, result, error))
        return false;
    keep_copy(desk_copy_path(), text);
    logger->log(QStringLiteral("provisioning applied from ") + path, 1);
    return true;
}

bool ProvisioningLoader::start()
{
    const QString path = Provisioning::find_file();
    if (path.isEmpty())
        return false;
    QString error;
    if (!read_desk_file(path, &desk_file, &error)) {
        QString ignored;
        const bool kept = Provisioning::read_file(desk_copy_path(), &desk_file, &ignored);
        report(error +
               (kept ? QStringLiteral("; the last good copy serves") : QStringLiteral("; no earlier copy")));
        // The administrator's fix is taken as soon as it is saved, not at the next start; read once
        // the writes have settled, so a file caught half-written (empty) is never taken for it.
        watcher = new QFileSystemWatcher({path, QFileInfo(path).absolutePath()}, this);
        auto* settled = new QTimer(watcher);
        settled->setSingleShot(true);
        settled->setInterval(FILE_SETTLE_MS);
        connect(watcher, &QFileSystemWatcher::fileChanged, settled, qOverload<>(&QTimer::start));
        connect(watcher, &QFileSystemWatcher::directoryChanged, settled, qOverload<>(&QTimer::start));
        connect(settled, &QTimer::timeout, this, [this, path] { reread_desk_file(path); });
        if (!kept)
            return false;
    }
    Provisioning::apply(data, {desk_file});
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
        keep_copy(Provisioning::saved_copy_path(), body);
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

// The desk's file changed while a broken one was in force: once it parses, it applies as at a start
// (its url is fetched at the next start) and the notice goes.
void ProvisioningLoader::reread_desk_file(const QString& path)
{
    Provisioning fixed;
    QString error;
    if (!watcher)
        return;
    if (!read_desk_file(path, &fixed, &error)) {
        // An editor that saves by renaming leaves the watch on the old file.
        if (QFile::exists(path) && !watcher->files().contains(path))
            watcher->addPath(path);
        return;
    }
    watcher->deleteLater();
    watcher = nullptr;
    desk_file = fixed;
    if (!Provisioning::apply(data, {desk_file, remote_file}).isEmpty())
        emit signal_account_provisioned();
    emit signal_provisioning_fixed();
}

// The last good copy of a provisioning file, private from its creation: it may hold passwords.
void ProvisioningLoader::keep_copy(const QString& path, const QByteArray& text)
{
    QSaveFile copy(path); // takes the permissions of the private file it replaces
    if (!zim::prepare_private_file(path) || !copy.open(QIODevice::WriteOnly) ||
        copy.write(text) != text.size() || !copy.commit())
        logger->log(QStringLiteral("provisioning: no copy kept in ") + path, 2);
}

void ProvisioningLoader::apply_remote(const Provisioning& remote)
{
    remote_file = remote;
    if (!Provisioning::apply(data, {desk_file, remote}).isEmpty())
        emit signal_account_provisioned();
}

void ProvisioningLoader::report(const QString& where)
{
    logger->log(QStringLiteral("provisioning file not used, nothing changed: ") + where, 2);
    emit signal_provisioning_error(where);
}
