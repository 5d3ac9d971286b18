#include "data/provisioning.h"
#include "data/zimlogger.h"
#include "support/testdir.h"

#include <QtTest>

#include <pwd.h>
#include <unistd.h>

// The administrator's provisioning file read and applied to a real store.
class TestProvisioning : public QObject
{
    Q_OBJECT

private slots:
    void values_take_the_desks_user_and_line_breaks()
    {
        Provisioning file;
        QString error;
        QVERIFY2(Provisioning::parse("\xef\xbb\xbf# the desks of floor 3\r\n"
                                     "url = https://prov.example.com/${USER}.ini\n"
                                     "[account]\nuserId = ${USER}\nstunServer = stun-${UID}\n"
                                     "[link]\nsimpleParams = id=%CallerID%\\nop=%OpeId%\\\\n\n",
                                     QStringLiteral("f.ini"), &file, &error),
                 qPrintable(error));
        const QString user = QString::fromLocal8Bit(getpwuid(getuid())->pw_name);
        QCOMPARE(file.url, QStringLiteral("https://prov.example.com/%1.ini").arg(user));
        QCOMPARE(file.values[ZimData::Account][QStringLiteral("userId")], user);
        QCOMPARE(file.values[ZimData::Account][QStringLiteral("stunServer")],
                 QStringLiteral("stun-%1").arg(getuid()));
        QCOMPARE(file.values[ZimData::Outlink][QStringLiteral("simpleParams")],
                 QStringLiteral("id=%CallerID%\nop=%OpeId%\\n"));
    }

    // A Windows domain's login through winbind carries a backslash: it stays as the user is named.
    void a_substituted_login_is_taken_literally()
    {
        QString value;
        QVERIFY(Provisioning::expand(QStringLiteral("${USER}@pbx\\n${UID}\\\\"),
                                     QStringLiteral("CORP\\nakamura"), 1000, &value));
        QCOMPARE(value, QStringLiteral("CORP\\nakamura@pbx\n1000\\"));
    }

    // The example the package installs for administrators is a file the program takes.
    void the_installed_example_is_read()
    {
        Provisioning file;
        QString error;
        QVERIFY2(Provisioning::read_file(qEnvironmentVariable("VELORA_SOURCE_DIR") +
                                             QStringLiteral("/share/doc/examples/provisioning.ini"),
                                         &file, &error),
                 qPrintable(error));
        QVERIFY(file.locked.value(ZimData::Account).contains(QStringLiteral("address")));
    }

    void a_malformed_line_is_named_and_gives_nothing_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("where");
        QTest::newRow("no pair") << QByteArray("[account]\naddress = a\nthis is no setting\n")
                                 << "f.ini line 3: ";
        QTest::newRow("section") << QByteArray("[acount]\naddress = a\n") << "f.ini line 1: ";
        QTest::newRow("variable") << QByteArray("[account]\nuserId = ${LOGNAME}\n") << "f.ini line 2: ";
        QTest::newRow("outside") << QByteArray("address = a\n[account]\n") << "f.ini line 1: ";
        QTest::newRow("plain url") << QByteArray("url = http://prov/desk.ini\n") << "f.ini line 1: ";
        QTest::newRow("lock of nothing")
            << QByteArray("[media]\nlocked = capture\nplayback = x\n") << "f.ini line 2: ";
    }
    void a_malformed_line_is_named_and_gives_nothing()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, where);
        Provisioning file;
        file.url = QStringLiteral("https://kept/");
        QString error;
        QVERIFY(!Provisioning::parse(text, QStringLiteral("f.ini"), &file, &error));
        QVERIFY2(error.startsWith(where), qPrintable(error));
        QCOMPARE(file.url, QStringLiteral("https://kept/"));
        QVERIFY(file.values.isEmpty());
    }

    // An unlocked value fills only what the user left empty; a locked one wins, and no save may
    // change it afterwards. The later file of two is applied on top of the earlier.
    void locked_values_win_and_stay_unlocked_ones_only_fill()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        QVERIFY(data.save_account_settings({{"address", "pbx.old"}, {"port", "5070"}}));
        Provisioning desk, central;
        QString error;
        QVERIFY(
            Provisioning::parse("[account]\naddress = pbx.new\nport = 5060\nuserId = 201\nlocked = address\n",
                                QStringLiteral("desk"), &desk, &error));
        QVERIFY(
            Provisioning::parse("[account]\nuserId = 999\n[media]\ncaptureGain = 7\nlocked = captureGain\n",
                                QStringLiteral("central"), &central, &error));
        QCOMPARE(Provisioning::apply(&data, {desk, central}), (QSet<QString>{"address", "userId"}));
        const SettingsMap account = data.account_settings();
        QCOMPARE(account.value("address"), QStringLiteral("pbx.new"));
        QCOMPARE(account.value("port"), QStringLiteral("5070"));
        QCOMPARE(account.value("userId"), QStringLiteral("201"));
        QCOMPARE(data.media_settings().value("captureGain"), QStringLiteral("7"));

        QVERIFY(data.save_settings({{ZimData::Account, {{"address", "evil"}, {"port", "5080"}}},
                                    {ZimData::Media, {{"captureGain", "1"}}}}));
        QCOMPARE(data.account_settings().value("address"), QStringLiteral("pbx.new"));
        QCOMPARE(data.account_settings().value("port"), QStringLiteral("5080"));
        QCOMPARE(data.media_settings().value("captureGain"), QStringLiteral("7"));
        // Applying again changes nothing, and a file without locks frees the keys.
        QVERIFY(Provisioning::apply(&data, {desk, central}).isEmpty());
        Provisioning::apply(&data, {});
        QVERIFY(!data.is_locked(ZimData::Account, "address"));
    }
};

QTEST_GUILESS_MAIN(TestProvisioning)
#include "test_provisioning.moc"
