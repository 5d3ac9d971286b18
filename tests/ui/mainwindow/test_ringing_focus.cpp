// A ringing call leaves the keyboard where the operator types: the phone on the test's X display
// under a window manager (openbox), another program holding the focus, a caller from sipp and the
// caller's CRM page from a local server.
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "phone/zimphone.h"
#include "support/httpserver.h"
#include "support/kamailiorunner.h"
#include "support/sipprunner.h"
#include "support/testdir.h"
#include "support/windowmanager.h"
#include "support/xdotool.h"
#include "ui/cti/remotesite.h"
#include "ui/cti/remotesitepresenter.h"
#include "ui/main/mainwindow.h"

#include <QApplication>
#include <QProcess>
#include <QtTest>

static void init_images()
{
    Q_INIT_RESOURCE(images);
}

// The operator's desktop: a window manager, another program holding the keys, and the phone's
// own data folder.
struct Desk
{
    WindowManager manager;
    TypingWindow typing;
    TestAppDir dir;

    bool start()
    {
        qputenv("HOME", dir.path().toUtf8());
        dir.make_log_dir();
        return manager.start() && typing.start();
    }
};

class TestRingingFocus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { init_images(); }

    void the_crm_window_leaves_the_keyboard_alone_until_clicked()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X display (the test script runs the tests under Xvfb)");
        Desk desk;
        QVERIFY(desk.start());
        TypingWindow& typing = desk.typing;
        HttpServer server;
        QVERIFY(server.start());
        server.set_response("<html><body><h1>顧客情報</h1></body></html>");
        {
            ZimLogger logger;
            ZimData data(nullptr, &logger);
            QVERIFY(data.save_account_settings({{"userId", "100"}}));
            QVERIFY(data.save_outlink_settings(
                {{"simpleUrl", server.base_url() + "/crm"}, {"simpleMethod", "get"}}));
        }
        MainWindow window;
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(window.phone()->local_sip_port() > 0, 20000);

        QVERIFY(typing.activate()); // the phone's window took it as it opened
        SippRunner caller(QStringLiteral("uac_call_answered.xml"),
                          QStringLiteral("127.0.0.1:%1").arg(window.phone()->local_sip_port()));
        caller.add_arguments({"-s", "100"});
        QVERIFY(caller.start());
        QTRY_VERIFY_WITH_TIMEOUT(window.remote_site_presenter()->remote_site() &&
                                     window.remote_site_presenter()->remote_site()->isVisible(),
                                 20000);
        RemoteSite* site = window.remote_site_presenter()->remote_site();
        QVERIFY(QTest::qWaitForWindowExposed(site));
        QTest::qWait(500); // a window manager that gives the focus gives it as the window maps
        QCOMPARE(active_window(), typing.window());
        QVERIFY(!site->isActiveWindow());

        // A click on the window (on its logo, which does nothing) gives it the keys.
        const QPoint logo = site->mapToGlobal(QPoint(60, 40));
        QVERIFY(xdotool({QStringLiteral("mousemove"), QString::number(logo.x()), QString::number(logo.y()),
                         QStringLiteral("click"), QStringLiteral("1")}));
        QTRY_VERIFY_WITH_TIMEOUT(site->isActiveWindow(), 5000);

        window.phone()->request_hangup();
        QVERIFY(caller.wait_finished(30000));
    }

    // With the phone put away in the tray, a call the desk answers by itself brings the phone up,
    // showing the caller, and still leaves the keys where the operator types.
    void a_call_answered_by_itself_shows_the_phone_without_the_keys()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X display (the test script runs the tests under Xvfb)");
        Desk desk;
        QVERIFY(desk.start());
        TypingWindow& typing = desk.typing;
        KamailioRunner server;
        QVERIFY(server.start());
        {
            ZimLogger logger;
            ZimData data(nullptr, &logger);
            QVERIFY(data.save_account_settings({{"userId", "1001"},
                                                {"password", "secret"},
                                                {"address", "127.0.0.1"},
                                                {"port", QString::number(server.port())}}));
            QVERIFY(data.save_other_settings({{"autoAnswer", "1"}, {"autoAnswerDelay", "0"}}));
        }
        MainWindow window;
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(window.phone()->is_registered(), 20000);
        window.hide(); // in the tray
        QVERIFY(typing.activate());

        SippRunner caller(QStringLiteral("uac_call_answered.xml"),
                          QStringLiteral("127.0.0.1:%1").arg(server.port()));
        caller.add_arguments({"-s", "1001", "-d", "4000"});
        QVERIFY(caller.start());
        QTRY_VERIFY_WITH_TIMEOUT(window.phone()->phase() == CallPhase::Talking, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(window.isVisible() && !window.isMinimized(), 5000);
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(500);
        QCOMPARE(active_window(), typing.window());
        QVERIFY(caller.wait_finished(30000));
    }
};

int main(int argc, char* argv[])
{
    // Focus is a matter of the X display and its window manager: on the test's display.
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    TestRingingFocus test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_ringing_focus.moc"
