// The program installed into a temporary prefix, as a package puts it: it keeps its data in the
// XDG data directory, and a link it is started with dials once the account has registered.
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "data/zimpaths.h"
#include "support/kamailiorunner.h"
#include "support/programrunner.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

class TestProgramInstall : public QObject
{
    Q_OBJECT

    // Writes an account into the runner's data directory before the program first starts.
    static void seed_account(const ProgramRunner& runner, int registrar_port)
    {
        zim::set_app_dir_for_tests(runner.dir() + QStringLiteral("/seed"));
        zim::make_private_log_dir();
        {
            ZimLogger logger;
            ZimData data(nullptr, &logger);
            data.save_account_settings({{"address", "127.0.0.1"},
                                        {"port", QString::number(registrar_port)},
                                        {"userId", "100"},
                                        {"password", "secret"}});
        }
        zim::set_app_dir_for_tests(QString());
        QDir().mkpath(QFileInfo(runner.data_dir()).path());
        QDir().rename(runner.dir() + QStringLiteral("/seed/data"), runner.data_dir());
        QFile::setPermissions(runner.data_dir(), QFile::permissions(runner.dir())); // group/other open
    }
    static QString last_dialled(const QString& database)
    {
        QString number;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("h"));
            db.setDatabaseName(database);
            QSqlQuery query(db);
            if (db.open() && query.exec(QStringLiteral("SELECT PhoneNumber FROM history ORDER BY Id")) &&
                query.last())
                number = query.value(0).toString();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("h"));
        return number;
    }

private slots:
    void installed_program_dials_the_sip_link_it_was_started_with()
    {
        KamailioRunner registrar;
        QVERIFY(registrar.start());
        ProgramRunner runner(ProgramRunner::Layout::Installed);
        seed_account(runner, registrar.port());
        QVERIFY(runner.start_first({QStringLiteral("sip:201@pbx.example.com")}));
        // Nobody is registered as 201: the registrar refuses the call and it lands as dialled.
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && !last_dialled(runner.data_dir() + "/zimpdata").contains("201"))
            QTest::qWait(200);
        QVERIFY2(last_dialled(runner.data_dir() + "/zimpdata").contains("201"),
                 qPrintable(runner.log_text()));
        QVERIFY(registrar.registered_port(QStringLiteral("100")) > 0);
        QVERIFY2(!runner.log_text().contains(QStringLiteral("dialling anyway")),
                 qPrintable(runner.log_text()));
        // The refused call's cue comes from share/velora-softphone/sounds.
        QTest::qWait(1000);
        QVERIFY2(!runner.log_text().contains(QStringLiteral("Sound file")), qPrintable(runner.log_text()));
        const auto others =
            QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
        QCOMPARE(QFileInfo(runner.data_dir()).permissions() & others, QFileDevice::Permissions());
        QVERIFY(!QFileInfo::exists(runner.dir() + QStringLiteral("/prefix/bin/data")));
    }

    void a_dial_at_first_start_without_registration_goes_out_after_10_s()
    {
        ProgramRunner runner;
        QVERIFY(runner.start_first({QStringLiteral("callto:201")}));
        QVERIFY(!runner.log_text().contains(QStringLiteral("] callto:201\n")));
        QVERIFY(runner.wait_for_log(
            QStringLiteral("not registered after 10 s, dialling anyway: callto:201\n"), 15000));
        QVERIFY(runner.wait_for_log(QStringLiteral("] callto:201\n")));
    }
};

QTEST_GUILESS_MAIN(TestProgramInstall)
#include "test_program_install.moc"
