#pragma once

#include <QString>
#include <QWidget>

class OperatorLoginForm;

// Asks the operator for the user name and password of the operator server. The dialog stays open
// after a login until the server has accepted it; "後で行う" or closing it postpones the login.
class OperatorLogin : public QWidget
{
    Q_OBJECT
public:
    explicit OperatorLogin(QWidget* parent);
    ~OperatorLogin() override;
    // Fills the ID field with the ID that logged in last, unless something is typed there.
    void offer_username(const QString& username);

signals:
    void signal_set_op_status(QString username, QString password);
    void signal_reset_user_status_combox();

public slots:
    void slot_login_button_clicked();
    void slot_after_button_clicked();
    void slot_hide_window();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    OperatorLoginForm* form;
};
