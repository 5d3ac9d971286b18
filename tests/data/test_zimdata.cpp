#include "data/accountsecurity.h"
#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "data/zimpaths.h"
#include "phone/coresecurity.h"
#include "support/testdir.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>

#include <unistd.h>

// The settings and history store on real SQLite files.
class TestZimData : public QObject
{
    Q_OBJECT

private:
    // Reads the settings table through a connection of its own, as another tool would.
    static QList<QStringList> rows(const QString& where = QString())
    {
        QList<QStringList> result;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("inspect"));
            db.setDatabaseName(ZimData::database_path());
            if (db.open()) {
                QSqlQuery query(db);
                query.exec(QStringLiteral("SELECT Category, Key, Value FROM settings ") + where +
                           QStringLiteral(" ORDER BY rowid"));
                while (query.next())
                    result << QStringList{query.value(0).toString(), query.value(1).toString(),
                                          query.value(2).toString()};
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("inspect"));
        return result;
    }
    static bool execute_outside(const QStringList& statements)
    {
        bool ok = true;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("outside"));
            db.setDatabaseName(ZimData::database_path());
            ok = db.open();
            QSqlQuery query(db);
            for (const QString& statement : statements)
                ok = query.exec(statement) && ok;
        }
        QSqlDatabase::removeDatabase(QStringLiteral("outside"));
        return ok;
    }
    static SettingsMap map(std::initializer_list<std::pair<QString, QString>> pairs)
    {
        SettingsMap result;
        for (const auto& pair : pairs)
            result.insert(pair.first, pair.second);
        return result;
    }

private slots:
    void fresh_start_creates_private_file_and_both_tables()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        QCOMPARE(ZimData::database_path(), dir.path() + QStringLiteral("/data/zimpdata"));
        QVERIFY(QFileInfo::exists(ZimData::database_path()));
        QCOMPARE(QFileInfo(ZimData::database_path()).permissions() & 0x0077, QFileDevice::Permissions());
        QCOMPARE(QFileInfo(dir.path() + zim::DATA_DIR).permissions() & 0x0077, QFileDevice::Permissions());
        QVERIFY(data.account_settings().isEmpty());
        QVERIFY(data.media_settings().isEmpty());
        QVERIFY(data.other_settings().isEmpty());
        QCOMPARE(data.outlink_settings().value(QStringLiteral("simpleParams")), QString());
        QCOMPARE(data.delay_hidden_remote_window(), 5);
        QSqlQuery query(data.database_handle());
        QVERIFY(query.exec(QStringLiteral("SELECT count(*) FROM history")));
        QVERIFY(read_text_file(ZimLogger::log_path()).contains(QStringLiteral("] simpleParams: \n")));
    }

    void saves_upsert_one_row_per_category_and_key()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        {
            ZimData data(nullptr, &logger);
            QVERIFY(data.save_account_settings(map({{"userId", "201"}, {"address", "127.0.0.1"}})));
            QVERIFY(data.save_account_settings(map({{"userId", "202"}})));
            QVERIFY(data.save_media_settings(map({{"userId", "media-copy"}, {"captureGain", ""}})));
            QCOMPARE(data.account_settings().value(QStringLiteral("userId")), QStringLiteral("202"));
            QCOMPARE(data.account_settings().value(QStringLiteral("address")), QStringLiteral("127.0.0.1"));
            QVERIFY(data.media_settings().contains(QStringLiteral("captureGain")));
        }
        QCOMPARE(rows(QStringLiteral("WHERE Key='userId'")),
                 (QList<QStringList>{{"1", "userId", "202"}, {"3", "userId", "media-copy"}}));
        QCOMPARE(rows(QStringLiteral("WHERE Key='captureGain'")),
                 (QList<QStringList>{{"3", "captureGain", ""}}));

        // The next start reads what was saved; the schema statements fail quietly on existing tables.
        ZimData again(nullptr, &logger);
        QCOMPARE(again.account_settings(), map({{"userId", "202"}, {"address", "127.0.0.1"}}));
        QCOMPARE(again.media_settings().value(QStringLiteral("userId")), QStringLiteral("media-copy"));
    }

    // A store written before the account security keys existed (or holding a value this version
    // does not know) keeps the plain account: UDP to host:port, no encryption, no STUN, no CA file.
    void old_account_without_security_keys_stays_plain()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        delete new ZimData(nullptr, &logger); // creates the tables
        QVERIFY(execute_outside({"INSERT INTO settings VALUES('1','address','pbx.example.com')",
                                 "INSERT INTO settings VALUES('1','port','5060')",
                                 "INSERT INTO settings VALUES('1','mediaEncryption','zrtp')"}));
        ZimData old(nullptr, &logger);
        const AccountSecurity security = AccountSecurity::from_settings(old.account_settings());
        QCOMPARE(int(security.transport), int(AccountSecurity::TransportUdp));
        QCOMPARE(int(security.encryption), int(AccountSecurity::EncryptionNone));
        QVERIFY(security.stun_server.isEmpty() && security.ca_file.isEmpty());
        QCOMPARE(CoreSecurity::server_address("pbx.example.com", "5060", security),
                 QStringLiteral("pbx.example.com:5060"));
    }

    void duplicate_rows_from_outside_load_the_last_and_save_updates_both()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        {
            ZimData create(nullptr, &logger);
        }
        QVERIFY(execute_outside({QStringLiteral("INSERT INTO settings VALUES(4,'debugModel','0')"),
                                 QStringLiteral("INSERT INTO settings VALUES(4,'debugModel','1')")}));
        ZimData data(nullptr, &logger);
        QCOMPARE(data.other_settings().value(QStringLiteral("debugModel")), QStringLiteral("1"));
        QVERIFY(data.save_other_settings(map({{"debugModel", "0"}})));
        QCOMPARE(rows(), (QList<QStringList>{{"4", "debugModel", "0"}, {"4", "debugModel", "0"}}));
    }

    void failed_writes_report_false_and_keep_the_cache()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        {
            ZimData create(nullptr, &logger);
        }
        QVERIFY(execute_outside({QStringLiteral("INSERT INTO settings VALUES(1,'password','old')")}));
        if (geteuid() == 0) {
            // Root ignores file modes, so the file refuses writes the way a locked-down copy would.
            QVERIFY(execute_outside(
                {QStringLiteral("CREATE TRIGGER no_insert BEFORE INSERT ON settings BEGIN SELECT "
                                "RAISE(ABORT, 'attempt to write a readonly database'); END"),
                 QStringLiteral("CREATE TRIGGER no_update BEFORE UPDATE ON settings BEGIN SELECT "
                                "RAISE(ABORT, 'attempt to write a readonly database'); END")}));
        } else {
            QVERIFY(QFile::setPermissions(ZimData::database_path(), QFileDevice::ReadOwner));
        }
        ZimData data(nullptr, &logger);
        QCOMPARE(data.account_settings().value(QStringLiteral("password")), QStringLiteral("old"));
        QVERIFY(!data.save_account_settings(map({{"password", "new"}, {"userId", "201"}})));
        QCOMPARE(data.account_settings().value(QStringLiteral("password")), QStringLiteral("old"));
        QVERIFY(!data.account_settings().contains(QStringLiteral("userId")));
        QVERIFY(read_text_file(ZimLogger::log_path()).contains(QStringLiteral("readonly database")));
    }

    // A window's save that fails halfway (a full disk, a busy database) stores none of its keys:
    // never a new server with the old transport at the next start.
    void a_save_failing_halfway_keeps_every_key()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        QVERIFY(data.save_account_settings(map({{"address", "old.example"}, {"transport", "UDP"}})));
        QVERIFY(
            execute_outside({QStringLiteral("CREATE TRIGGER full_disk BEFORE INSERT ON settings WHEN "
                                            "NEW.Key='caFile' BEGIN SELECT RAISE(ABORT, 'database or disk "
                                            "is full'); END")}));
        QVERIFY(!data.save_settings(
            {{ZimData::Account,
              map({{"address", "new.example"}, {"transport", "TLS"}, {"caFile", "/etc/ca.pem"}})},
             {ZimData::Media, map({{"captureGain", "7"}})}}));
        QCOMPARE(data.account_settings().value(QStringLiteral("address")), QStringLiteral("old.example"));
        QCOMPARE(data.account_settings().value(QStringLiteral("transport")), QStringLiteral("UDP"));
        QVERIFY(!data.media_settings().contains(QStringLiteral("captureGain")));
        QCOMPARE(rows(QStringLiteral("WHERE Key IN ('address','transport','captureGain')")),
                 QList<QStringList>({{"1", "address", "old.example"}, {"1", "transport", "UDP"}}));
    }

    void unopenable_database_leaves_defaults_and_fails_saves()
    {
        TestAppDir dir; // no data directory: the file cannot be created
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        QVERIFY(data.account_settings().isEmpty());
        QCOMPARE(data.delay_hidden_remote_window(), 5);
        QVERIFY(!data.save_account_settings(map({{"userId", "201"}})));
        QVERIFY(data.account_settings().isEmpty());
        data.delete_all_history(); // nothing to delete, nothing crashes
    }

    void delay_of_the_remote_window_reads_seconds()
    {
        QFETCH(QString, stored);
        QFETCH(int, seconds);
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        QVERIFY(data.save_other_settings(map({{"dalayHiddenRemoteWindow", stored}})));
        QCOMPARE(data.delay_hidden_remote_window(), seconds);
    }
    void delay_of_the_remote_window_reads_seconds_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("seconds");
        QTest::newRow("empty") << QString() << 5;
        QTest::newRow("twelve") << QStringLiteral("12") << 12;
        QTest::newRow("not a number") << QStringLiteral("abc") << 0;
    }

    void delete_all_history_keeps_ids_growing()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        QSqlQuery query(data.database_handle());
        const QString insert =
            QStringLiteral("INSERT INTO history(Status, PhoneNumber, DialogTime, DialogDate, DeleteFlg) "
                           "VALUES('2','201','00:00:05','2026-12-07 10:00:00','0')");
        QVERIFY(query.exec(insert));
        QVERIFY(query.exec(insert));
        data.delete_all_history();
        QVERIFY(query.exec(QStringLiteral("SELECT count(*) FROM history")) && query.next());
        QCOMPARE(query.value(0).toInt(), 0);
        QVERIFY(query.exec(insert));
        QVERIFY(query.exec(QStringLiteral("SELECT max(Id) FROM history")) && query.next());
        QCOMPARE(query.value(0).toInt(), 3);
    }

    void engine_thread_reads_while_the_window_saves()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        QAtomicInt stop(0);
        int torn = 0;
        QScopedPointer<QThread> reader(QThread::create([&] {
            while (!stop.loadAcquire()) {
                const SettingsMap account = data.account_settings();
                // Both keys are always saved together with the same number.
                if (account.value(QStringLiteral("userId")) != account.value(QStringLiteral("address")))
                    ++torn;
            }
        }));
        reader->start();
        for (int i = 0; i < 200; ++i) {
            const QString value = QString::number(i);
            QVERIFY(data.save_account_settings(map({{"address", value}, {"userId", value}})));
        }
        stop.storeRelease(1);
        QVERIFY(reader->wait(10000));
        QCOMPARE(torn, 0);
    }
};

QTEST_GUILESS_MAIN(TestZimData)
#include "test_zimdata.moc"
