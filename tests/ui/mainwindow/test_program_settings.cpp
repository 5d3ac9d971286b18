// The whole program around its settings: a real main window with its real engine, started on an
// empty data directory, given an account through the settings window it opens by itself,
// registering at Kamailio on 127.0.0.1, re-registering under a changed account, and ending with
// "はい" while a call to a sipp callee is running.
#include "data/zimconstants.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "data/zimpaths.h"
#include "phone/zimphone.h"
#include "support/kamailiorunner.h"
#include "support/modalanswer.h"
#include "support/processprobe.h"
#include "support/programrunner.h"
#include "support/sipprunner.h"
#include "support/testdir.h"
#include "support/windowmanagerclose.h"
#include "support/xdotool.h"
#include "ui/main/mainwindow.h"
#include "ui/settings/settingwindow.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

static void init_images()
{
    Q_INIT_RESOURCE(images);
}

namespace {

// A first start of the program: nothing stored, HOME private, so the SIP library's own files
// land in the test's directory too.
class FreshProgram
{
public:
    FreshProgram()
    {
        old_home = qgetenv("HOME");
        qputenv("HOME", home.path().toUtf8());
        dir.make_log_dir();
        window = new MainWindow;
        window->show();
    }
    ~FreshProgram()
    {
        delete window;
        qputenv("HOME", old_home);
    }

    TestAppDir dir;
    QTemporaryDir home;
    QByteArray old_home;
    MainWindow* window = nullptr;
};

void type_into(QWidget* window, const char* name, const QString& text)
{
    auto* field = window->findChild<QLineEdit*>(QString::fromLatin1(name));
    QVERIFY2(field, name);
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
    QCOMPARE(field->text(), text);
}

QString text_of(QWidget* window, const char* name)
{
    auto* field = window->findChild<QLineEdit*>(QString::fromLatin1(name));
    return field ? field->text() : QStringLiteral("<no %1>").arg(QString::fromLatin1(name));
}

// The index of the first accepted REGISTER of the user with the given kind, -1 when none.
int first_registration(const QList<KamailioRunner::Registration>& list, const QString& user, bool removal,
                       int from = 0)
{
    for (int i = from; i < list.size(); ++i) {
        if (list[i].user == user && list[i].removal == removal)
            return i;
    }
    return -1;
}

} // namespace

class TestProgramSettings : public QObject
{
    Q_OBJECT

    KamailioRunner* registrar = nullptr;
    FreshProgram* program = nullptr; // shared by the account cases, which follow one another

    SettingWindow* settings() const { return program->window->setting_window(); }

    void enter_account_and_save(const QString& user, bool by_return = false)
    {
        SettingWindow* window = settings();
        QVERIFY(window && window->isVisible());
        type_into(window, "address", QStringLiteral("127.0.0.1"));
        type_into(window, "port", QString::number(registrar->port()));
        type_into(window, "userid", user);
        type_into(window, "password", QStringLiteral("secret"));
        auto* save = window->findChild<QPushButton*>(QStringLiteral("saveButton"));
        QVERIFY(save);
        if (by_return)
            QTest::keyClick(window->findChild<QLineEdit*>(QStringLiteral("password")), Qt::Key_Return);
        else
            QTest::mouseClick(save, Qt::LeftButton);
        QVERIFY(!window->isVisible());
    }

    void verify_shown_as_registered(const QString& user)
    {
        const MainWindowForm& ui = program->window->form();
        QTRY_COMPARE_WITH_TIMEOUT(ui.onlineStatus->styleSheet(), zim::STYLE_ONLINE_STATUS, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(ui.userId->text(), user, 5000);
    }

private slots:
    void initTestCase()
    {
        init_images();
        registrar = new KamailioRunner;
        QVERIFY(registrar->start());
    }

    void cleanupTestCase()
    {
        delete program;
        delete registrar;
    }

    void first_start_with_an_empty_store_opens_the_settings_window()
    {
        program = new FreshProgram;
        QTRY_VERIFY_WITH_TIMEOUT(settings() && settings()->isVisible(), 5000);
        QCOMPARE(settings()->windowTitle(), QStringLiteral("設定"));
        QCOMPARE(text_of(settings(), "address"), QString());
        QCOMPARE(text_of(settings(), "userid"), QString());
        QCOMPARE(program->window->form().onlineStatus->styleSheet(), zim::STYLE_OFFLINE_STATUS);
        // Typing can start at once, in the first field.
        QCOMPARE(settings()->focusWidget(), settings()->findChild<QWidget*>(QStringLiteral("address")));
        // One click on the tray icon brings back a hidden phone.
        program->window->hide();
        emit program->window->tray_icon()->activated(QSystemTrayIcon::Trigger);
        QVERIFY(program->window->isVisible());
    }

    void saving_an_account_registers_it()
    {
        QVERIFY(program);
        enter_account_and_save(QStringLiteral("300"), true); // Return saves
        QTRY_VERIFY2_WITH_TIMEOUT(registrar->registered_port(QStringLiteral("300")) > 0,
                                  qPrintable(registrar->log()), 20000);
        verify_shown_as_registered(QStringLiteral("300"));
        const QMap<QString, QString> stored = program->window->data()->account_settings();
        QCOMPARE(stored.value(QStringLiteral("userId")), QStringLiteral("300"));
        QCOMPARE(stored.value(QStringLiteral("port")), QString::number(registrar->port()));
    }

    void changing_the_account_unregisters_then_registers_the_new_one()
    {
        QVERIFY(program);
        const int before = registrar->registrations().size();
        program->window->slot_setting_button_clicked();
        // Every opening shows what is stored.
        QCOMPARE(text_of(settings(), "userid"), QStringLiteral("300"));
        QCOMPARE(text_of(settings(), "password"), QStringLiteral("secret"));
        enter_account_and_save(QStringLiteral("301"));

        QTRY_VERIFY2_WITH_TIMEOUT(
            first_registration(registrar->registrations(), QStringLiteral("301"), false, before) >= 0,
            qPrintable(registrar->log()), 20000);
        const QList<KamailioRunner::Registration> list = registrar->registrations();
        const int removal = first_registration(list, QStringLiteral("300"), true, before);
        const int added = first_registration(list, QStringLiteral("301"), false, before);
        QVERIFY2(removal >= 0, qPrintable(registrar->log()));
        QVERIFY2(removal < added, qPrintable(registrar->log()));
        // The old identity does not come back.
        QCOMPARE(first_registration(list, QStringLiteral("300"), false, removal), -1);
        verify_shown_as_registered(QStringLiteral("301"));

        delete program;
        program = nullptr;
    }

    // Without an account the phone dials the callee directly, so every request of the dialog
    // reaches sipp itself.
    void yes_on_the_exit_box_hangs_up_the_running_call_and_ends()
    {
        SippRunner callee(QStringLiteral("callee.xml"));
        QVERIFY(callee.start());
        FreshProgram fresh;
        MainWindow* window = fresh.window;
        QTRY_VERIFY_WITH_TIMEOUT(window->setting_window() && window->setting_window()->isVisible(), 5000);
        window->setting_window()->close();

        // Dialled by the engine: neither a command nor the keys may name a host.
        window->phone()->request_dial(callee.uri(QStringLiteral("201")));
        QTRY_VERIFY2_WITH_TIMEOUT(window->phone()->is_current_streaming(), qPrintable(callee.output()),
                                  20000);
        QCOMPARE(callee.received_requests(QStringLiteral("BYE")).size(), 0);

        answer_next_box(QStringLiteral("はい"));
        window->slot_right_menu_exit_clicked();
        QVERIFY(!window->phone()->isRunning());
        QVERIFY(!window->isVisible());
        QVERIFY2(callee.wait_finished(10000), qPrintable(callee.output()));
        QCOMPARE(callee.exit_code(), 0);
        QCOMPARE(callee.received_requests(QStringLiteral("BYE")).size(), 1);
    }

    // The log's lines stay in the log file; the terminal gets them only in debug mode.
    void log_lines_reach_the_terminal_only_in_debug_mode()
    {
        ProgramRunner runner;
        runner.keep_output_in_file();
        for (const bool debug : {false, true}) {
            zim::set_app_dir_for_tests(runner.dir());
            zim::make_private_log_dir();
            {
                ZimLogger logger;
                ZimData data(nullptr, &logger);
                QVERIFY(data.save_other_settings({{"debugModel", debug ? "1" : "0"}}));
            }
            zim::set_app_dir_for_tests(QString());
            QVERIFY(runner.start_first());
            QVERIFY(runner.wait_for_log(QStringLiteral("\n")));
            QTest::qWait(500);
            runner.stop_first();
            const QString last_line = runner.log_text().trimmed().section(QLatin1Char('\n'), -1);
            QFile output(runner.dir() + QStringLiteral("/output.log"));
            QVERIFY(output.open(QIODevice::ReadOnly));
            QCOMPARE(QString::fromUtf8(output.readAll()).contains(last_line), debug);
            QFile::remove(runner.log_path());
            output.remove();
        }
    }

    // The real program, put away with a call up: closing its windows and boxes through
    // the window system never ends it; only the confirmed exit does.
    void hidden_program_outlives_closed_windows_and_boxes()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs an X display (the test script runs the tests under Xvfb)");
        ProgramRunner runner; // nothing stored: the settings window opens by itself
        QVERIFY(runner.start_first());
        const QList<unsigned long> settings = visible_windows(QStringLiteral("^設定$"));
        QCOMPARE(settings.size(), 1);
        // Without an account nothing can be dialled by number: a caller rings the phone directly.
        int port = 0;
        QTRY_VERIFY_WITH_TIMEOUT((port = udp_port_of(runner.first()->processId())) > 0, 10000);
        SippRunner callee(QStringLiteral("uac_call_waits_for_bye.xml"),
                          QStringLiteral("127.0.0.1:%1").arg(port));
        callee.add_arguments({"-s", "100"});
        QVERIFY(callee.start());
        const auto got = [&](const QString& status) {
            for (const auto& message : callee.messages()) {
                if (message.received && message.first_line().startsWith(status))
                    return true;
            }
            return false;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(got(QStringLiteral("SIP/2.0 180")), qPrintable(callee.output()), 10000);
        QCOMPARE(runner.run_messenger({QStringLiteral("answer")}), 0);
        QTRY_VERIFY2_WITH_TIMEOUT(got(QStringLiteral("SIP/2.0 200")), qPrintable(callee.output()), 20000);

        const QList<unsigned long> main = visible_windows(QStringLiteral("^VeloraSimple$"));
        QCOMPARE(main.size(), 1);
        QVERIFY(close_as_window_manager(main.first()));
        // No tray on the test display: the phone asks to be iconified instead of vanishing (with
        // no window manager to do it, it stays mapped).
        const auto iconic = [&main] {
            QProcess xprop;
            xprop.start(QStringLiteral("xprop"), {"-id", QString::number(main.first()), "WM_HINTS"});
            return xprop.waitForFinished(5000) && xprop.readAll().contains("Iconic State");
        };
        QTRY_VERIFY_WITH_TIMEOUT(iconic(), 5000);

        // A server typed and saved during the call: a box without parent names what waits for the
        // call's end, and the settings window goes.
        QVERIFY(
            xdotool({"mousemove", "--window", QString::number(settings.first()), "250", "78", "click", "1"}));
        QVERIFY(xdotool({"type", "pbx.example"}));
        QVERIFY(xdotool(
            {"mousemove", "--window", QString::number(settings.first()), "264", "389", "click", "1"}));
        const QList<unsigned long> box = visible_windows(QStringLiteral("^設定の反映$"));
        QCOMPARE(box.size(), 1);
        QVERIFY(close_as_window_manager(box.first()));
        QTRY_VERIFY_WITH_TIMEOUT(visible_windows(QStringLiteral("^設定"), 0).isEmpty(), 5000);

        QTest::qWait(1000);
        QCOMPARE(runner.first()->state(), QProcess::Running);
        QCOMPARE(callee.received_requests(QStringLiteral("BYE")).size(), 0);
        QCOMPARE(runner.run_messenger({QStringLiteral("hangup")}), 0);
        QVERIFY2(callee.wait_finished(10000), qPrintable(callee.output()));
        QCOMPARE(callee.exit_code(), 0);
    }
};

QTEST_MAIN(TestProgramSettings)
#include "test_program_settings.moc"
