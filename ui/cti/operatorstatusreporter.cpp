#include "ui/cti/operatorstatusreporter.h"

#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "ui/cti/ctitrust.h"
#include "ui/cti/operatorlogin.h"
#include "ui/cti/operatorreply.h"
#include "ui/cti/operatorstatuscombobox.h"
#include "ui/main/windowplacement.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QStringList>
#include <QTimer>
#include <QUrl>

namespace {
// A server that accepts and never answers must not leave the operator waiting for ever.
const int REPLY_TIMEOUT_MS = 10000;
// Set on a reply: whether its certificate is checked, and why the check failed.
const char* const VERIFY_PROPERTY = "velora_verify_certificate";
const char* const FAILURE_PROPERTY = "velora_certificate_failure";
const char* const PROBLEM_PROPERTY = "velora_ca_file_problem";
} // namespace

OperatorStatusReporter::OperatorStatusReporter(QWidget* main_window, ZimData* data, ZimLogger* logger)
    : QObject(main_window), data(data), logger(logger), login(new OperatorLogin(main_window)),
      main_window(main_window)
{
    login->hide();
    connect(login, &OperatorLogin::signal_set_op_status, this, &OperatorStatusReporter::slot_set_op_status);
    connect(login, &OperatorLogin::signal_reset_user_status_combox, this,
            &OperatorStatusReporter::slot_reset_user_status_combox);
}

// Made with the first report: the manager starts Qt's network-configuration watch (plug-ins and a
// thread), which a day without an operator server does not need.
QNetworkAccessManager* OperatorStatusReporter::network()
{
    if (!manager) {
        manager = new QNetworkAccessManager(this);
        connect(manager, &QNetworkAccessManager::finished, this,
                &OperatorStatusReporter::slot_set_op_status_finished);
        connect(manager, &QNetworkAccessManager::sslErrors, this,
                &OperatorStatusReporter::slot_ssl_error_handler);
    }
    return manager;
}

QString OperatorStatusReporter::server_url(const QString& address)
{
    return zim::OPERATOR_SCHEME + address + zim::OPERATOR_PATH;
}

void OperatorStatusReporter::warn(const QString& title, const QString& text)
{
    // Over the window the operator acted in (the login, when open): a box of no window's may open
    // behind it, unseen. The text may carry the server's own words: shown as they are, never as
    // markup or links.
    QWidget* over = login && login->isVisible() ? static_cast<QWidget*>(login) : main_window.data();
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Yes, over);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.exec();
}

void OperatorStatusReporter::slot_operator_status_change(int index)
{
    selector_index = index;
    if (ignore_next_change) {
        ignore_next_change = false;
        return;
    }
    requested = zim::operator_status_code(index);
    const SettingsMap account = data->account_settings();
    if ((account.value(QStringLiteral("operatorId")).isEmpty() ||
         account.value(QStringLiteral("operatorPW")).isEmpty()) &&
        confirmed == 0)
        login_pending = true;
    if (login_pending && login) {
        login->offer_username(account.value(QStringLiteral("operatorId")));
        // Beside the phone, where the operator just chose the status, not in the screen's corner.
        zim::bring_up(login, main_window);
        return; // the login sends the requested status
    }
    report(server_url(account.value(QStringLiteral("operatorAddress"))), requested);
}

void OperatorStatusReporter::slot_set_op_status(QString username, QString password)
{
    const QString address = data->account_settings().value(QStringLiteral("operatorAddress"));
    if (address.isEmpty()) {
        move_selector(zim::operator_status_index(confirmed));
        warn(QStringLiteral("エラー"), QStringLiteral("設定画面でオペレータサーバを設定してください"));
        return;
    }
    this->username = username;
    this->password = password;
    if (ignore_next_change)
        requested = 1;
    report(server_url(address), requested);
}

bool OperatorStatusReporter::start_exit_logout()
{
    if (confirmed == 0 || username.isEmpty() || password.isEmpty())
        return false;
    // The answer is awaited here, not shown: no box at exit.
    disconnect(network(), &QNetworkAccessManager::finished, this,
               &OperatorStatusReporter::slot_set_op_status_finished);
    requested = 0;
    report(server_url(data->account_settings().value(QStringLiteral("operatorAddress"))), 0);
    exit_logout = last_posted;
    if (logger)
        logger->log(QStringLiteral("operator logout reported at exit: ") + username, 1);
    return true;
}

void OperatorStatusReporter::finish_exit_logout(const QDeadlineTimer& deadline)
{
    if (!exit_logout || exit_logout->isFinished())
        return;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(exit_logout.data(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    timer.start(qMax<qint64>(0, deadline.remainingTime()));
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (exit_logout && !exit_logout->isFinished()) {
        if (logger)
            logger->log(QStringLiteral("operator server did not answer the logout before exit"), 2);
        exit_logout->abort();
    }
}

void OperatorStatusReporter::slot_reset_user_status_combox()
{
    move_selector(zim::operator_status_index(confirmed));
}

void OperatorStatusReporter::slot_reset_operator_status(QString operatorAddress)
{
    if (operatorAddress.isEmpty())
        return;
    login_pending = true;
    // The account is applied again once the old server heard of the logout; with nobody logged
    // in there is nothing to tell it, and the account is applied at once.
    if (report(server_url(operatorAddress), 0))
        reapply_after_reply = true;
    else
        emit signal_request_reregistration();
    // The operator is logged out of the old server; the selector says so.
    move_selector(0);
}

void OperatorStatusReporter::move_selector(int index)
{
    // Only a selector that really moves reports a change, and only that change is to be skipped.
    ignore_next_change = index != selector_index;
    emit signal_select_status_index(index);
}

bool OperatorStatusReporter::report(const QString& url, int status)
{
    if (username.isEmpty() || password.isEmpty()) {
        if (logger)
            logger->log(QStringLiteral("operator status not sent: no operator logged in"), 1);
        return false;
    }
    post_op_status({{QStringLiteral("url"), url},
                    {QStringLiteral("username"), username},
                    {QStringLiteral("password"), password},
                    {QStringLiteral("status"), QString::number(status)}});
    return true;
}

void OperatorStatusReporter::post_op_status(const QMap<QString, QString>& params)
{
    network()->clearAccessCache();
    QNetworkRequest request(QUrl(params.value(QStringLiteral("url")), QUrl::TolerantMode));
    const CtiTrust trust = CtiTrust::from_settings(data->outlink_settings());
    QString problem;
    request.setSslConfiguration(trust.configuration(&problem));
    if (!problem.isEmpty() && logger)
        logger->log(QStringLiteral("operator server: ") + problem, 2);
    request.setTransferTimeout(REPLY_TIMEOUT_MS);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    // Each value is form-encoded, so a password with "&", "=", "+" or "%" arrives as typed.
    const auto encoded = [&params](const char* key) {
        return QUrl::toPercentEncoding(params.value(QLatin1String(key)));
    };
    const QByteArray body = QByteArrayLiteral("action=") + zim::OPERATOR_ACTION.toUtf8() +
                            QByteArrayLiteral("&username=") + encoded("username") +
                            QByteArrayLiteral("&passwrod=") + encoded("password") +
                            QByteArrayLiteral("&status=") + encoded("status");
    QNetworkReply* reply = network()->post(request, body);
    last_posted = reply;
    reply->setProperty(VERIFY_PROPERTY, trust.verify);
    reply->setProperty(PROBLEM_PROPERTY, problem);
    emit signal_show_user_name(params.value(QStringLiteral("username")));
}

void OperatorStatusReporter::slot_set_op_status_finished(QNetworkReply* reply)
{
    if (reapply_after_reply) {
        // The engine re-applies the account on its own thread.
        emit signal_request_reregistration();
        reapply_after_reply = false;
    }
    const QNetworkReply::NetworkError error = reply->error();
    if (error == QNetworkReply::SslHandshakeFailedError) {
        // Nothing was sent: the request leaves only after a handshake that passed.
        QString reason = reply->property(FAILURE_PROPERTY).toString();
        if (reason.isEmpty())
            reason = reply->errorString();
        reason = CtiTrust::with_problem(reason, reply->property(PROBLEM_PROPERTY).toString());
        const QString host = reply->url().host();
        reply->deleteLater();
        refused(zim::MSG_OPERATOR_CERT_FAILED.arg(host, reason));
        return;
    }
    OperatorReply answer;
    if (error == QNetworkReply::OperationCanceledError) // only the timeout cancels
        answer.message =
            QStringLiteral("オペレータサーバが%1秒以内に応答しませんでした").arg(REPLY_TIMEOUT_MS / 1000);
    else
        answer = OperatorReply::parse(reply->readAll());
    // Only a whole, successful HTTP answer accepts; one cut short or with an error status refuses.
    if (error != QNetworkReply::NoError && answer.result == 0)
        answer.result = OperatorReply::SERVER_ERROR;
    reply->close();
    reply->deleteLater();
    if (answer.result != 0) {
        refused(answer.error_text());
        return;
    }
    confirmed = requested;
    move_selector(zim::operator_status_index(confirmed));
    // The ID that logged in is offered at the next login, after a restart too.
    if (confirmed != 0 && data->account_settings().value(QStringLiteral("operatorId")) != username)
        data->save_account_settings({{QStringLiteral("operatorId"), username}});
    if (login && login->isVisible())
        login->hide();
    login_pending = false;
    if (requested == 0)
        emit signal_show_user_name(QString());
}

// The server did not take the status: the selector shows again the last one it did, and the
// operator reads why, every time.
void OperatorStatusReporter::refused(const QString& reason)
{
    move_selector(zim::operator_status_index(confirmed));
    if (logger)
        logger->log(QStringLiteral("operator status %1 not accepted: %2")
                        .arg(requested)
                        .arg(QString(reason).replace(QLatin1Char('\n'), QLatin1Char(' '))),
                    2);
    // The box carries the title of the window it belongs to: the login's while it is open, else
    // the phone's (a status chosen in the selector, the login long closed).
    const bool from_login = login && login->isVisible();
    warn(from_login || !main_window ? zim::TITLE_OPERATOR_LOGIN : main_window->windowTitle(), reason);
}

void OperatorStatusReporter::slot_ssl_error_handler(QNetworkReply* reply, QList<QSslError> errlist)
{
    const QString host = reply->url().host();
    if (!reply->property(VERIFY_PROPERTY).toBool()) {
        // The site turned the check off on purpose; every acceptance stays on record.
        if (logger)
            logger->log(QStringLiteral("operator server: certificate errors accepted for host %1: %2")
                            .arg(host, CtiTrust::log_text(errlist)),
                        2);
        reply->ignoreSslErrors();
        return;
    }
    if (logger)
        logger->log(QStringLiteral("operator server: certificate check failed for host %1, nothing sent: %2")
                        .arg(host, CtiTrust::log_text(errlist)),
                    2);
    reply->setProperty(FAILURE_PROPERTY, CtiTrust::reason(errlist));
}
