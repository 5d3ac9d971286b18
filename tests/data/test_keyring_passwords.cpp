// Each password kept where it can be read back, with GNOME Keyring's daemon on a private session
// bus: one daemon for the whole process, as the keyring's client keeps its session with it.
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "support/keyringdaemon.h"
#include "support/sessionbus.h"
#include "support/testdir.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

class TestKeyringPasswords : public QObject
{
    Q_OBJECT

    SessionBus* bus = nullptr; // before anything in this process touches the session bus

    // What the settings table itself holds, read through a connection of the test's own.
    static QString stored(const QString& key)
    {
        QString value;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("inspect"));
            db.setDatabaseName(ZimData::database_path());
            QSqlQuery query(db);
            if (db.open() &&
                query.exec(
                    QStringLiteral("SELECT Value FROM settings WHERE Category=1 AND Key='%1'").arg(key)) &&
                query.next())
                value = query.value(0).toString();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("inspect"));
        return value;
    }

private slots:
    void initTestCase()
    {
        bus = new SessionBus;
        QVERIFY(!bus->address().isEmpty());
    }
    void cleanupTestCase() { delete bus; }

    // A keyring that refuses one password (its collection locked) and one silent at the start (the
    // daemon stopped): the password saved goes to the table, the other stays readable in the
    // keyring, and an empty field for a password never read is not saved over it.
    void each_password_stays_readable_where_it_lives()
    {
        TestAppDir dir;
        dir.make_log_dir();
        QTemporaryDir home;
        const QByteArray old_home = qgetenv("HOME");
        qputenv("HOME", home.path().toUtf8());
        KeyringDaemon keyring;
        QVERIFY(keyring.start());
        ZimLogger logger;
        const auto passwords = [&logger] {
            ZimData data(nullptr, &logger);
            const SettingsMap account = data.account_settings();
            return QStringList{account.value("password"), account.value("operatorPW")};
        };
        {
            ZimData data(nullptr, &logger);
            QVERIFY(data.save_account_settings({{"password", "secret"}, {"operatorPW", "op-secret"}}));
            QCOMPARE(stored("passwordStore"), QStringLiteral("keyring"));
            QVERIFY(keyring.lock());
            QVERIFY(data.save_account_settings({{"password", "refused"}}));
        }
        QCOMPARE(stored("password"), QStringLiteral("refused"));
        QVERIFY(keyring.unlock());
        QCOMPARE(passwords(), QStringList({"refused", "op-secret"}));
        QCOMPARE(stored("password"), QString()); // moved into the keyring at that start
        QCOMPARE(stored("passwordStore"), QStringLiteral("keyring"));

        keyring.pause(true);
        {
            ZimData data(nullptr, &logger);
            QVERIFY(data.sip_password_missing());
            QCOMPARE(data.account_settings().value("operatorPW"), QString());
            // The account page saves both fields: the typed SIP password and the empty one.
            QVERIFY(data.save_account_settings({{"password", "typed"}, {"operatorPW", ""}}));
            QVERIFY(!data.sip_password_missing());
        }
        keyring.pause(false);
        QCOMPARE(passwords(), QStringList({"typed", "op-secret"}));
        qputenv("HOME", old_home);
    }
};

QTEST_GUILESS_MAIN(TestKeyringPasswords)
#include "test_keyring_passwords.moc"
