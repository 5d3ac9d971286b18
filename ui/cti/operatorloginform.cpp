#include "ui/cti/operatorloginform.h"

#include <QFont>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

void OperatorLoginForm::setup(QWidget* window)
{
    window->setObjectName(QStringLiteral("OperatorLogin"));
    window->resize(339, 128);
    // Small type, so the Japanese labels fit their places.
    QFont small = window->font();
    small.setPointSize(9);
    window->setFont(small);

    label = new QLabel(QStringLiteral("ログインID"), window);
    label->setObjectName(QStringLiteral("label"));
    label->setGeometry(12, 20, 122, 21);
    label_2 = new QLabel(QStringLiteral("ログインパスワード"), window);
    label_2->setObjectName(QStringLiteral("label_2"));
    label_2->setGeometry(12, 50, 122, 21);

    username = new QLineEdit(window);
    username->setObjectName(QStringLiteral("username"));
    username->setGeometry(136, 20, 190, 22);
    password = new QLineEdit(window);
    password->setObjectName(QStringLiteral("password"));
    password->setGeometry(136, 50, 190, 22);
    password->setEchoMode(QLineEdit::Password);

    pushButton = new QPushButton(QStringLiteral("ログイン"), window);
    pushButton->setObjectName(QStringLiteral("pushButton"));
    pushButton->setGeometry(150, 90, 80, 25);
    pushButton_2 = new QPushButton(QStringLiteral("後で行う"), window);
    pushButton_2->setObjectName(QStringLiteral("pushButton_2"));
    pushButton_2->setGeometry(246, 90, 80, 25);
}
