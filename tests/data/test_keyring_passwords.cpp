// Each password kept where it can be read back, with GNOME Keyring's daemon on a private session
// bus: one daemon for the whole process, as the keyring's client keeps its session with it.
#include "data/provisioning.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "support/keyringdaemon.h"
#include "support/sessionbus.h"
#include "support/testdir.h"

#include <QTemporaryDir>
#include <QtTest>

class TestKeyringPasswords : public QObject
{
    Q_OBJECT

    SessionBus* bus = nullptr; // before anything in this process touches the session bus
    KeyringDaemon* keyring = nullptr;
    QTemporaryDir home;
    QByteArray old_home;

    // The passwords a start of the phone reads.
    static QStringList passwords(ZimLogger* logger)
    {
        ZimData data(nullptr, logger);
        const SettingsMap account = data.account_settings();
        return QStringList{account.value("password"), account.value("operatorPW")};
    }

private slots:
    void initTestCase()
    {
        bus = new SessionBus;
        QVERIFY(!bus->address().isEmpty());
        old_home = qgetenv("HOME");
        qputenv("HOME", home.path().toUtf8());
        keyring = new KeyringDaemon;
        QVERIFY(keyring->start());
    }
    void cleanupTestCase()
    {
        delete keyring;
        qputenv("HOME", old_home);
        delete bus;
    }

    // A keyring that refuses one password (its collection locked) and one silent at the start (the
    // daemon stopped): the password saved goes to the table, the other stays readable in the
    // keyring, and an empty field for a password never read is not saved over it.
    void each_password_stays_readable_where_it_lives()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        {
            ZimData data(nullptr, &logger);
            QVERIFY(data.save_account_settings({{"password", "secret"}, {"operatorPW", "op-secret"}}));
            QCOMPARE(stored_account_value("passwordStore"), QStringLiteral("keyring"));
            QVERIFY(keyring->lock());
            QVERIFY(data.save_account_settings({{"password", "refused"}}));
        }
        QCOMPARE(stored_account_value("password"), QStringLiteral("refused"));
        QVERIFY(keyring->unlock());
        QCOMPARE(passwords(&logger), QStringList({"refused", "op-secret"}));
        QCOMPARE(stored_account_value("password"), QString()); // moved into the keyring at that start
        QCOMPARE(stored_account_value("passwordStore"), QStringLiteral("keyring"));

        keyring->pause(true);
        {
            ZimData data(nullptr, &logger);
            QVERIFY(data.sip_password_missing());
            QCOMPARE(data.account_settings().value("operatorPW"), QString());
            // The account page saves both fields: the typed SIP password and the empty one.
            QVERIFY(data.save_account_settings({{"password", "typed"}, {"operatorPW", ""}}));
            QVERIFY(!data.sip_password_missing());
        }
        keyring->pause(false);
        QCOMPARE(passwords(&logger), QStringList({"typed", "op-secret"}));
    }

    // A provisioned password only fills a desk that has none: when the keyring is silent at a start
    // the user's is not taken for empty, and the next start reads theirs.
    void provisioning_leaves_the_password_the_keyring_did_not_give()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        {
            ZimData data(nullptr, &logger);
            QVERIFY(data.save_account_settings({{"password", "users-own"}}));
        }
        Provisioning file;
        QString error;
        QVERIFY2(Provisioning::parse("[account]\npassword = provisioned\n", "p.ini", &file, &error),
                 qPrintable(error));
        keyring->pause(true);
        {
            ZimData data(nullptr, &logger);
            QCOMPARE(Provisioning::apply(&data, {file}), QSet<QString>());
            QVERIFY(data.sip_password_missing());
        }
        keyring->pause(false);
        QCOMPARE(stored_account_value("password"), QString());
        QCOMPARE(passwords(&logger).first(), QStringLiteral("users-own"));
    }
};

QTEST_GUILESS_MAIN(TestKeyringPasswords)
#include "test_keyring_passwords.moc"
