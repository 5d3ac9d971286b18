#include "ui/cti/operatorlogin.h"

#include "data/zimconstants.h"
#include "ui/cti/operatorloginform.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

OperatorLogin::OperatorLogin(QWidget* parent) : QWidget(parent), form(new OperatorLoginForm)
{
    form->setup(this);
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(zim::TITLE_OPERATOR_LOGIN);
    connect(form->pushButton, &QPushButton::clicked, this, &OperatorLogin::slot_login_button_clicked);
    connect(form->pushButton_2, &QPushButton::clicked, this, &OperatorLogin::slot_after_button_clicked);
    // Return goes on from the ID to the password, and from the password logs in.
    connect(form->username, &QLineEdit::returnPressed, form->password,
            [this] { form->password->setFocus(); });
    connect(form->password, &QLineEdit::returnPressed, this, &OperatorLogin::slot_login_button_clicked);
}

OperatorLogin::~OperatorLogin()
{
    delete form;
}

void OperatorLogin::offer_username(const QString& username)
{
    if (form->username->text().isEmpty())
        form->username->setText(username);
    // With the ID known the operator has only the password to type.
    (form->username->text().isEmpty() ? form->username : form->password)->setFocus();
}

void OperatorLogin::slot_login_button_clicked()
{
    const QString username = form->username->text();
    const QString password = form->password->text();
    if (username.isEmpty() || password.isEmpty()) {
        QMessageBox::warning(nullptr, zim::TITLE_OPERATOR_LOGIN,
                             QStringLiteral("オペレータユーザ名とオペレータパスワードを入力してください"),
                             QMessageBox::Yes, QMessageBox::Yes);
        return;
    }
    emit signal_set_op_status(username, password);
}

void OperatorLogin::slot_after_button_clicked()
{
    hide();
    emit signal_reset_user_status_combox();
}

void OperatorLogin::slot_hide_window()
{
    hide();
}

void OperatorLogin::closeEvent(QCloseEvent* event)
{
    hide();
    emit signal_reset_user_status_combox();
    event->ignore();
}
