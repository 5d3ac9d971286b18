#include "boxanswerer.h"
#include "ui/cti/operatorlogin.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

// The operator login dialog on its own.
class TestOperatorLogin : public QObject
{
    Q_OBJECT

private:
    template <typename T> static T* child(QWidget* window, const char* name)
    {
        return window->findChild<T*>(QLatin1String(name));
    }

private slots:
    void dialog_looks_as_expected()
    {
        OperatorLogin login(nullptr);
        QCOMPARE(login.windowTitle(), QStringLiteral("オペレータログイン"));
        QCOMPARE(login.size(), QSize(339, 128));
        QCOMPARE(child<QLineEdit>(&login, "password")->echoMode(), QLineEdit::Password);
        QCOMPARE(child<QPushButton>(&login, "pushButton")->text(), QStringLiteral("ログイン"));
        QCOMPARE(child<QPushButton>(&login, "pushButton_2")->text(), QStringLiteral("後で行う"));
    }

    void empty_fields_are_refused_with_a_warning()
    {
        QFETCH(QString, username);
        QFETCH(QString, password);
        OperatorLogin login(nullptr);
        login.show();
        QSignalSpy sent(&login, &OperatorLogin::signal_set_op_status);
        child<QLineEdit>(&login, "username")->setText(username);
        child<QLineEdit>(&login, "password")->setText(password);
        BoxAnswerer answerer;
        child<QPushButton>(&login, "pushButton")->click();
        QCOMPARE(answerer.titles, QStringList{QStringLiteral("オペレータログイン")});
        QCOMPARE(answerer.texts,
                 QStringList{QStringLiteral("オペレータユーザ名とオペレータパスワードを入力してください")});
        QVERIFY(sent.isEmpty());
        QVERIFY(login.isVisible());
    }
    void empty_fields_are_refused_with_a_warning_data()
    {
        QTest::addColumn<QString>("username");
        QTest::addColumn<QString>("password");
        QTest::newRow("both empty") << QString() << QString();
        QTest::newRow("no password") << QStringLiteral("op1") << QString();
        QTest::newRow("no user name") << QString() << QStringLiteral("secret");
    }

    void login_hands_over_the_credentials_and_stays_open()
    {
        OperatorLogin login(nullptr);
        login.show();
        QSignalSpy sent(&login, &OperatorLogin::signal_set_op_status);
        child<QLineEdit>(&login, "username")->setText(QStringLiteral("op 1"));
        child<QLineEdit>(&login, "password")->setText(QStringLiteral("p&w"));
        child<QPushButton>(&login, "pushButton")->click();
        QCOMPARE(sent.size(), 1);
        QCOMPARE(sent.first(), (QVariantList{QStringLiteral("op 1"), QStringLiteral("p&w")}));
        QVERIFY(login.isVisible()); // until the server accepts
        login.slot_hide_window();
        QVERIFY(!login.isVisible());

        // Return in the password field logs in, as the button does.
        QTest::keyClick(child<QLineEdit>(&login, "password"), Qt::Key_Return);
        QCOMPARE(sent.size(), 2);
    }

    void later_and_close_postpone_the_login()
    {
        OperatorLogin login(nullptr);
        QSignalSpy reset(&login, &OperatorLogin::signal_reset_user_status_combox);
        login.show();
        child<QPushButton>(&login, "pushButton_2")->click();
        QVERIFY(!login.isVisible());
        QCOMPARE(reset.size(), 1);
        login.show();
        QVERIFY(!login.close());
        QVERIFY(!login.isVisible());
        QCOMPARE(reset.size(), 2);
    }
};

QTEST_MAIN(TestOperatorLogin)
#include "test_operatorlogin.moc"
