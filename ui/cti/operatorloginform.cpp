#include "ui/cti/operatorloginform.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

void OperatorLoginForm::setup(QWidget* window)
{
    window->setObjectName(QStringLiteral("OperatorLogin"));
    window->resize(339, 128);

    label = new QLabel(QStringLiteral("ログインID"), window);
    label->setObjectName(QStringLiteral("label"));
    label->setGeometry(20, 20, 91, 21);
    label_2 = new QLabel(QStringLiteral("ログインパスワード"), window);
    label_2->setObjectName(QStringLiteral("label_2"));
    label_2->setGeometry(20, 50, 91, 21);

    username = new QLineEdit(window);
    username->setObjectName(QStringLiteral("username"));
    username->setGeometry(120, 20, 201, 20);
    password = new QLineEdit(window);
    password->setObjectName(QStringLiteral("password"));
    password->setGeometry(120, 50, 201, 20);
    password->setEchoMode(QLineEdit::Password);

    pushButton = new QPushButton(QStringLiteral("ログイン"), window);
    pushButton->setObjectName(QStringLiteral("pushButton"));
    pushButton->setGeometry(140, 90, 75, 23);
    pushButton_2 = new QPushButton(QStringLiteral("後で行う"), window);
    pushButton_2->setObjectName(QStringLiteral("pushButton_2"));
    pushButton_2->setGeometry(250, 90, 75, 23);
}
