#pragma once

#include <QDeadlineTimer>
#include <QList>
#include <QMap>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QSslError>
#include <QString>

class OperatorLogin;
class QNetworkReply;
class QWidget;
class ZimData;
class ZimLogger;

// Reports the operator's status to the operator server (an HTTPS form POST) and reads its JSON
// answer; owns the login dialog and the operator state. The main window shows the user name and
// moves its status selector when told, and passes re-registration on to the engine.
class OperatorStatusReporter : public QObject
{
    Q_OBJECT
public:
    OperatorStatusReporter(QWidget* main_window, ZimData* data, ZimLogger* logger);

    // Sends one report; params holds "url", "username", "password" and "status".
    void post_op_status(const QMap<QString, QString>& params);

    // The program is ending: a logged-in operator is reported logged out, so the server stops
    // routing calls to a closed phone. Starts the report (false when nobody is logged in); then
    // finish_exit_logout waits for the answer until the deadline, showing no box either way.
    bool start_exit_logout();
    void finish_exit_logout(const QDeadlineTimer& deadline);

    OperatorLogin* login_window() const { return login; }
    int requested_status() const { return requested; }
    int confirmed_status() const { return confirmed; }
    bool is_login_pending() const { return login_pending; }
    bool is_ignoring_next_change() const { return ignore_next_change; }

signals:
    // The text for the main window's userName label.
    void signal_show_user_name(QString name);
    // Puts the status selector on this index; the change it causes is not reported.
    void signal_select_status_index(int index);
    // The operator server changed: the engine re-applies the account on its own thread.
    void signal_request_reregistration();

public slots:
    void slot_operator_status_change(int index);
    void slot_set_op_status(QString username, QString password);
    void slot_reset_user_status_combox();
    void slot_reset_operator_status(QString operatorAddress);
    void slot_set_op_status_finished(QNetworkReply* reply);
    void slot_ssl_error_handler(QNetworkReply* reply, QList<QSslError> errlist);

private:
    // False when nobody is logged in: a report without an ID and password is never sent.
    bool report(const QString& url, int status);
    void move_selector(int index);
    static QString server_url(const QString& address);
    QNetworkAccessManager* network();
    void warn(const QString& title, const QString& text);
    void refused(const QString& reason);

    ZimData* data;
    ZimLogger* logger;
    OperatorLogin* login;
    QPointer<QWidget> main_window;
    QNetworkAccessManager* manager = nullptr;
    QString username;
    QString password;
    int requested = 0;
    int confirmed = 0;
    int selector_index = 0; // what the selector shows, as far as its changes told us
    bool login_pending = true;
    bool ignore_next_change = false;
    bool reapply_after_reply = false;
    QPointer<QNetworkReply> last_posted;
    QPointer<QNetworkReply> exit_logout;
};
