// The passwords in the desktop's keyring: GNOME Keyring's daemon, unlocked, on a private session
// bus; the program registering at Kamailio on 127.0.0.1 with the password the keyring gave it.
#include "data/passwordkeyring.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "support/kamailiorunner.h"
#include "support/keyringdaemon.h"
#include "support/sessionbus.h"
#include "support/testdir.h"
#include "ui/main/mainwindow.h"
#include "ui/settings/settingwindow.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

static void init_images()
{
    Q_INIT_RESOURCE(images);
}

class TestProgramKeyring : public QObject
{
    Q_OBJECT

    SessionBus* bus = nullptr; // before anything in this process touches the session bus
    KamailioRunner registrar;

    int registrations_of(const QString& user)
    {
        int count = 0;
        for (const auto& registration : registrar.registrations())
            count += registration.user == user && !registration.removal;
        return count;
    }

private slots:
    void initTestCase()
    {
        init_images();
        bus = new SessionBus;
        QVERIFY(!bus->address().isEmpty());
        QVERIFY(registrar.start());
    }
    void cleanupTestCase() { delete bus; }

    // A store of an earlier version: its passwords move into the keyring at the first start with
    // one, and the phone registers with them. Without the keyring later, the phone asks for the
    // password in 設定 instead of registering without one, and keeps it in the table as before.
    void passwords_move_into_the_keyring_and_are_asked_for_without_it()
    {
        TestAppDir dir;
        dir.make_log_dir();
        QTemporaryDir home;
        const QByteArray old_home = qgetenv("HOME");
        qputenv("HOME", home.path().toUtf8());
        {
            ZimLogger logger;
            ZimData data(nullptr, &logger);
            QVERIFY(data.save_account_settings({{"address", "127.0.0.1"},
                                                {"port", QString::number(registrar.port())},
                                                {"userId", "501"},
                                                {"password", "secret"},
                                                {"operatorPW", "op-secret"}}));
        }
        QCOMPARE(stored_account_value("password"), QStringLiteral("secret")); // no keyring yet: as before
        KeyringDaemon keyring;
        QVERIFY(keyring.start());

        auto* window = new MainWindow;
        window->show();
        QTRY_VERIFY2_WITH_TIMEOUT(registrations_of("501") > 0, qPrintable(registrar.log()), 20000);
        QCOMPARE(stored_account_value("password"), QString());
        QCOMPARE(stored_account_value("operatorPW"), QString());
        QCOMPARE(stored_account_value("passwordStore"), QStringLiteral("keyring"));
        QString value, error;
        QCOMPARE(PasswordKeyring::read("operatorPW", &value, &error), PasswordKeyring::Found);
        QCOMPARE(value, QStringLiteral("op-secret"));
        QCOMPARE(window->data()->account_settings().value("password"), QStringLiteral("secret"));
        delete window;

        keyring.stop();
        const int before = registrations_of("501");
        window = new MainWindow;
        window->show();
        QTRY_VERIFY_WITH_TIMEOUT(window->setting_window() && window->setting_window()->isVisible(), 5000);
        auto* password = window->setting_window()->findChild<QLineEdit*>(QStringLiteral("password"));
        QCOMPARE(window->setting_window()->focusWidget(), password);
        QTest::qWait(1000);
        QCOMPARE(registrations_of("501"), before);
        QTest::keyClicks(password, QStringLiteral("secret"));
        QTest::mouseClick(window->setting_window()->findChild<QPushButton*>(QStringLiteral("saveButton")),
                          Qt::LeftButton);
        QTRY_VERIFY2_WITH_TIMEOUT(registrations_of("501") > before, qPrintable(registrar.log()), 20000);
        QCOMPARE(stored_account_value("password"), QStringLiteral("secret"));
        QCOMPARE(stored_account_value("passwordStore"), QStringLiteral("operatorPW")); // still where it was
        delete window;
        qputenv("HOME", old_home);
    }
};

QTEST_MAIN(TestProgramKeyring)
#include "test_program_keyring.moc"
