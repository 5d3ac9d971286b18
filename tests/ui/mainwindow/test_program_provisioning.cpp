// Desks set up by their administrator: the program started on a provisioning file of the desk
// (found through $XDG_CONFIG_DIRS) and on the file its url names, served over HTTPS on 127.0.0.1.
#include "data/provisioning.h"
#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "support/httpserver.h"
#include "support/kamailiorunner.h"
#include "support/testca.h"
#include "support/testdir.h"
#include "ui/main/mainwindow.h"
#include "ui/settings/settingwindow.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <pwd.h>
#include <unistd.h>

static void init_images()
{
    Q_INIT_RESOURCE(images);
}

namespace {

// One desk: its own store, HOME and configuration folder; the window is made by start().
class Desk
{
public:
    Desk()
    {
        old_home = qgetenv("HOME");
        qputenv("HOME", home.path().toUtf8());
        qputenv("XDG_CONFIG_DIRS", (config.path() + QStringLiteral(":/etc/xdg")).toUtf8());
        QDir(config.path()).mkpath(QStringLiteral("velora-softphone"));
        dir.make_log_dir();
    }
    ~Desk()
    {
        delete window;
        qunsetenv("XDG_CONFIG_DIRS");
        qputenv("HOME", old_home);
    }
    void write_file(const QByteArray& text)
    {
        QFile file(config.path() + QStringLiteral("/velora-softphone/provisioning.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    }
    void store_account(const SettingsMap& account)
    {
        ZimLogger logger;
        ZimData data(nullptr, &logger);
        QVERIFY(data.save_account_settings(account));
    }
    void start()
    {
        window = new MainWindow;
        window->show();
    }
    void stop()
    {
        delete window;
        window = nullptr;
    }
    QString log() const { return read_text_file(ZimLogger::log_path()); }
    SettingsMap account() const { return window->data()->account_settings(); }

    TestAppDir dir;
    QTemporaryDir home;
    QTemporaryDir config;
    QByteArray old_home;
    MainWindow* window = nullptr;
};

QString login_name()
{
    return QString::fromLocal8Bit(getpwuid(getuid())->pw_name);
}

} // namespace

class TestProgramProvisioning : public QObject
{
    Q_OBJECT

    KamailioRunner registrar;
    QTemporaryDir certificates;

private slots:
    void initTestCase()
    {
        init_images();
        QVERIFY(registrar.start());
    }

    void a_first_start_with_a_provisioning_file_registers_with_no_window()
    {
        Desk desk;
        desk.write_file(QStringLiteral("[account]\naddress = 127.0.0.1\nport = %1\nuserId = ${USER}\n"
                                       "password = secret\nlocked = address, port\n")
                            .arg(registrar.port())
                            .toUtf8());
        desk.start();
        QTRY_VERIFY2_WITH_TIMEOUT(registrar.registered_port(login_name()) > 0, qPrintable(registrar.log()),
                                  20000);
        QVERIFY(!desk.window->setting_window());
        QVERIFY(desk.log().contains(QStringLiteral("provisioning applied from ") + desk.config.path()));
    }

    void a_locked_server_cannot_be_changed_through_the_settings_window()
    {
        Desk desk;
        desk.store_account(
            {{"address", "pbx.own"}, {"port", "5070"}, {"userId", "300"}, {"password", "own"}});
        desk.write_file(
            "[account]\naddress = 127.0.0.9\nport = 5999\nlocked = address\n"
            "[link]\nsimpleUrl = https://crm.example/\nsimpleParams = a=1\nlocked = simpleParams\n");
        desk.start();
        QCOMPARE(desk.account().value("address"), QStringLiteral("127.0.0.9"));
        QCOMPARE(desk.account().value("port"), QStringLiteral("5070")); // the user's own, not locked

        desk.window->slot_setting_button_clicked();
        SettingWindow* settings = desk.window->setting_window();
        auto* address = settings->findChild<QLineEdit*>(QStringLiteral("address"));
        auto* port = settings->findChild<QLineEdit*>(QStringLiteral("port"));
        QVERIFY(!address->isEnabled());
        QCOMPARE(address->toolTip(), QStringLiteral("管理者が設定しています"));
        QVERIFY(port->isEnabled());
        QTest::keyClicks(address, QStringLiteral("x"));
        address->setText(QStringLiteral("pbx.evil")); // what no user can type still does not get in
        port->setText(QStringLiteral("5080"));
        QTest::mouseClick(settings->findChild<QPushButton*>(QStringLiteral("saveButton")), Qt::LeftButton);
        QCOMPARE(desk.account().value("address"), QStringLiteral("127.0.0.9"));
        QCOMPARE(desk.account().value("port"), QStringLiteral("5080"));
        // Locked on the other pages too: the template, and the boxes that would edit it.
        desk.window->slot_account_menu_clicked();
        QVERIFY(!desk.window->findChild<QWidget*>(QStringLiteral("AccountSetting"))
                     ->findChild<QLineEdit*>(QStringLiteral("address"))
                     ->isEnabled());
        desk.window->slot_outlink_menu_clicked();
        auto* outlink = desk.window->findChild<QWidget*>(QStringLiteral("OutlinkSetting"));
        QVERIFY(outlink->findChild<QWidget*>(QStringLiteral("simpleUrl"))->isEnabled());
        QVERIFY(!outlink->findChild<QWidget*>(QStringLiteral("simpleParams"))->isEnabled());
        QVERIFY(!outlink->findChild<QWidget*>(QStringLiteral("simpleCallerId"))->isEnabled());
        desk.stop();
        // The user's own port stays over restarts; the locked server is put back at every start.
        desk.store_account({{"address", "pbx.own"}});
        desk.start();
        QCOMPARE(desk.account().value("address"), QStringLiteral("127.0.0.9"));
        QCOMPARE(desk.account().value("port"), QStringLiteral("5080"));
    }

    // The file the url names: refused from a server the CA does not vouch for, then applied and
    // kept; the kept copy serves while the server is down or sends something that is no such file.
    void a_url_provisioning_over_https_is_applied_and_kept()
    {
        TestCa ours, foreign;
        QVERIFY2(ours.make(certificates.path(), QStringLiteral("ours")), qPrintable(ours.error));
        QVERIFY2(foreign.make(certificates.path(), QStringLiteral("foreign")), qPrintable(foreign.error));
        HttpServer server;
        QVERIFY(server.start_tls(foreign.certificate_file, foreign.key_file));
        const QByteArray central = QStringLiteral("[account]\naddress = 127.0.0.1\nport = %1\nuserId = 401\n"
                                                  "password = secret\nlocked = userId\n")
                                       .arg(registrar.port())
                                       .toUtf8();
        server.set_response(central, "text/plain");
        Desk desk;
        desk.write_file(
            QStringLiteral("url = %1/desk.ini\ncaFile = %2\n").arg(server.base_url(), ours.ca_file).toUtf8());
        desk.start();
        // No account came, so the settings window opens once the fetch has failed.
        QTRY_VERIFY_WITH_TIMEOUT(desk.window->setting_window() && desk.window->setting_window()->isVisible(),
                                 15000);
        QVERIFY(desk.log().contains(
            QStringLiteral("provisioning server %1/desk.ini not reached").arg(server.base_url())));
        QVERIFY(desk.account().value("userId").isEmpty());
        desk.stop();

        server.close();
        QVERIFY(server.start_tls(ours.certificate_file, ours.key_file));
        const QString url = server.base_url() + QStringLiteral("/desk.ini");
        desk.write_file(QStringLiteral("url = %1\ncaFile = %2\n").arg(url, ours.ca_file).toUtf8());
        desk.start();
        QTRY_VERIFY2_WITH_TIMEOUT(registrar.registered_port(QStringLiteral("401")) > 0,
                                  qPrintable(registrar.log()), 20000);
        QVERIFY(!desk.window->setting_window());
        QCOMPARE(read_text_file(Provisioning::saved_copy_path()).toUtf8(), central);
        // It may hold passwords: nobody but the user reads it.
        QCOMPARE(QFileInfo(Provisioning::saved_copy_path()).permissions() &
                     (QFileDevice::ReadGroup | QFileDevice::ReadOther),
                 QFileDevice::Permissions());
        QVERIFY(desk.window->data()->is_locked(ZimData::Account, "userId"));
        desk.stop();

        server.set_response("<html>captive portal</html>");
        desk.start();
        const QString where = url + QStringLiteral(" line 1");
        QTRY_VERIFY_WITH_TIMEOUT(desk.log().contains(where), 15000);
        QCOMPARE(desk.window->form().dialogStatus->text(), QStringLiteral("設定ファイルの誤り (1行目)"));
        QVERIFY2(desk.window->form().dialogStatus->toolTip().contains(where),
                 qPrintable(desk.window->form().dialogStatus->toolTip()));
        QCOMPARE(read_text_file(Provisioning::saved_copy_path()).toUtf8(), central);
        // It may hold passwords: nobody but the user reads it.
        QCOMPARE(QFileInfo(Provisioning::saved_copy_path()).permissions() &
                     (QFileDevice::ReadGroup | QFileDevice::ReadOther),
                 QFileDevice::Permissions());
        QVERIFY(desk.window->data()->is_locked(ZimData::Account, "userId"));
        desk.stop();

        server.close();
        desk.start();
        const QRegularExpression unreached(
            QStringLiteral("provisioning server %1 not reached \\(.*\\); the last good copy serves")
                .arg(QRegularExpression::escape(url)));
        QTRY_VERIFY_WITH_TIMEOUT(desk.log().contains(unreached), 15000);
        QVERIFY(desk.window->data()->is_locked(ZimData::Account, "userId"));
        QCOMPARE(desk.account().value("userId"), QStringLiteral("401"));
    }

    // A file that no longer parses leaves the last good provisioning in force, values and locks,
    // and the status line names it for as long as the phone runs, registered or not.
    void a_broken_file_changes_nothing_and_says_where()
    {
        Desk desk;
        const QByteArray good = QStringLiteral("[account]\naddress = 127.0.0.1\nport = %1\nuserId = 402\n"
                                               "password = secret\nlocked = address, port\n")
                                    .arg(registrar.port())
                                    .toUtf8();
        desk.write_file(good);
        desk.start();
        desk.stop();

        desk.store_account({{"address", "pbx.own"}, {"port", "5999"}});
        desk.write_file(good + "port: 5060\n");
        desk.start();
        const QString where =
            desk.config.path() + QStringLiteral("/velora-softphone/provisioning.ini line 7");
        QVERIFY(desk.log().contains(
            where + QStringLiteral(": not a \"key = value\" line; the last good copy serves")));
        QCOMPARE(desk.account().value("address"), QStringLiteral("127.0.0.1"));
        QVERIFY(desk.window->data()->is_locked(ZimData::Account, "address"));
        QVERIFY(desk.window->data()->is_locked(ZimData::Account, "port"));
        QTRY_COMPARE_WITH_TIMEOUT(desk.window->form().onlineStatus->styleSheet(), zim::STYLE_ONLINE_STATUS,
                                  20000);
        QTest::qWait(500); // what the registration says after it
        QCOMPARE(desk.window->form().dialogStatus->text(), QStringLiteral("設定ファイルの誤り (7行目)"));
        QVERIFY(desk.window->form().dialogStatus->toolTip().contains(where));

        // Put right while the phone runs: applied at once, and the notice goes.
        desk.write_file(
            QByteArray(good).replace("userId = 402", "userId = 403").replace("port\n", "port, userId\n"));
        QTRY_COMPARE_WITH_TIMEOUT(desk.account().value("userId"), QStringLiteral("403"), 10000);
        QVERIFY(desk.window->data()->is_locked(ZimData::Account, "userId"));
        QTRY_VERIFY_WITH_TIMEOUT(
            !desk.window->form().dialogStatus->text().startsWith(QStringLiteral("設定ファイルの誤り")), 5000);
    }
};

QTEST_MAIN(TestProgramProvisioning)
#include "test_program_provisioning.moc"
