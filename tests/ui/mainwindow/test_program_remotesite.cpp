// The remote-site window as an operator meets it on a real incoming call: the main window with
// its real engine, called by a sipp peer on 127.0.0.1, the page served by a local web server.
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "phone/zimphone.h"
#include "support/httpserver.h"
#include "support/sipprunner.h"
#include "support/testca.h"
#include "support/testdir.h"
#include "ui/cti/operatorlogin.h"
#include "ui/cti/operatorstatusreporter.h"
#include "ui/cti/remotesite.h"
#include "ui/cti/remotesitepresenter.h"
#include "ui/cti/webenginesetup.h"
#include "ui/cti/webmodule.h"
#include "ui/main/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QLineEdit>
#include <QMenu>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScreen>
#include <QUrlQuery>
#include <QtTest>

#include <atomic>

static void init_images()
{
    Q_INIT_RESOURCE(images);
}

namespace {

const int CALL_TIMEOUT_MS = 30000;
const int DELAY_S = 2; // "dalayHiddenRemoteWindow"
const int SLIDE_MS = 1000;

// What the window looked like when the engine reported the end of the call.
struct AtCallEnd
{
    bool seen = false;
    bool visible = false;
    bool delay_pending = false;
    QAbstractAnimation::State slide = QAbstractAnimation::Stopped;
};

// When the engine reported the end, before any window handled it: the delay starts later than this.
std::atomic<qint64> end_reported_ms{0};

} // namespace

class TestProgramRemoteSite : public QObject
{
    Q_OBJECT

    TestAppDir* dir = nullptr;
    QByteArray old_home;
    HttpServer server;
    HttpServer operator_server; // HTTPS, its certificate signed by a CA made for the test
    QTemporaryDir certificate_dir;
    MainWindow* window = nullptr;
    AtCallEnd at_end;

    RemoteSitePresenter* presenter() const { return window->remote_site_presenter(); }
    RemoteSite* site() const { return presenter()->remote_site(); }
    QPushButton* site_button(const char* name) const
    {
        return site()->findChild<QPushButton*>(QLatin1String(name));
    }
    QString engine_address() const
    {
        return QStringLiteral("127.0.0.1:%1").arg(window->phone()->local_sip_port());
    }
    static QString sent_invite_call_id(const SippRunner& caller)
    {
        for (const SippRunner::Message& message : caller.messages()) {
            if (!message.received && message.first_line().startsWith(QStringLiteral("INVITE ")))
                return message.header(QStringLiteral("Call-ID"));
        }
        return QString();
    }
    static bool answered(const SippRunner& caller)
    {
        for (const SippRunner::Message& message : caller.messages()) {
            if (message.received && message.first_line().startsWith(QStringLiteral("SIP/2.0 200")) &&
                message.header(QStringLiteral("CSeq")).endsWith(QStringLiteral("INVITE")))
                return true;
        }
        return false;
    }
    // Waits until the window is up for the caller, at the bottom right of the screen.
    void wait_window_up()
    {
        QTRY_VERIFY_WITH_TIMEOUT(site() && site()->isVisible(), CALL_TIMEOUT_MS);
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(site()->pos() + QPoint(site()->width(), site()->height()),
                 QPoint(area.width(), area.height()));
    }
    void wait_call_end() { QTRY_VERIFY_WITH_TIMEOUT(at_end.seen, CALL_TIMEOUT_MS); }
    // Whether the web engine library is mapped into this process.
    static bool web_engine_loaded()
    {
        QFile maps(QStringLiteral("/proc/self/maps"));
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt5WebEngineCore");
    }

private slots:
    void initTestCase()
    {
        init_images();
        dir = new TestAppDir;
        old_home = qgetenv("HOME");
        qputenv("HOME", dir->path().toUtf8());
        dir->make_log_dir();
        QVERIFY(server.start());
        server.set_response("<html><body><h1>顧客情報</h1></body></html>");
        TestCa ca;
        QVERIFY2(ca.make(certificate_dir.path(), QStringLiteral("operator")), qPrintable(ca.error));
        QVERIFY(operator_server.start_tls(ca.certificate_file, ca.key_file));
        operator_server.set_response("{\"result\":0,\"message\":\"\"}", "application/json");
        {
            ZimLogger logger;
            ZimData data(nullptr, &logger);
            QVERIFY(data.save_account_settings(
                {{"userId", "100"},
                 {"operatorAddress", QStringLiteral("127.0.0.1:%1").arg(operator_server.serverPort())}}));
            QVERIFY(data.save_outlink_settings(
                {{"simpleUrl", server.base_url() + "/crm"},
                 {"simpleMethod", "get"},
                 {"simpleParams", "name=%CallerName%\ntel=%CallerID%\ncall=%CallId%\nop=%OpeId%"},
                 {"simpleCallerName", "1"},
                 {"simpleCallerId", "1"},
                 {"simpleCallId", "1"},
                 {"simpleOperatorId", "1"},
                 {"ctiCaFile", ca.ca_file}}));
            QVERIFY(data.save_other_settings({{"dalayHiddenRemoteWindow", QString::number(DELAY_S)}}));
        }
        window = new MainWindow;
        window->show();
        QTRY_VERIFY_WITH_TIMEOUT(window->phone()->local_sip_port() > 0, CALL_TIMEOUT_MS);
        QVERIFY(presenter()->remote_site() == nullptr); // no web engine before the first call
        QVERIFY(!web_engine_loaded());

        connect(
            window->phone(), &ZimPhone::signal_dialog_end, this,
            [] { end_reported_ms.store(QDateTime::currentMSecsSinceEpoch()); }, Qt::DirectConnection);
        // Queued after the main window's own handler, so this sees what the call's end left.
        connect(window->phone(), &ZimPhone::signal_dialog_end, this, [this] {
            at_end.seen = true;
            at_end.visible = site() && site()->isVisible();
            at_end.delay_pending = presenter()->is_delay_pending();
            at_end.slide = presenter()->slide_animation() ? presenter()->slide_animation()->state()
                                                          : QAbstractAnimation::Stopped;
        });
    }

    void cleanupTestCase()
    {
        delete window;
        qputenv("HOME", old_home);
        delete dir;
    }

    // A case that failed half-way leaves no call and no window behind for the next one.
    void cleanup()
    {
        if (!window->phone()->is_idle()) {
            window->phone()->request_hangup();
            QTRY_VERIFY_WITH_TIMEOUT(window->phone()->is_idle(), CALL_TIMEOUT_MS);
        }
        if (site())
            QTRY_VERIFY_WITH_TIMEOUT(!site()->isVisible(), CALL_TIMEOUT_MS);
    }

    void page_for_the_caller_answer_button_and_our_hang_up_slides_at_once()
    {
        SippRunner caller(QStringLiteral("uac_named_caller_waits_for_bye.xml"), engine_address());
        caller.add_arguments(
            {"-s", "100", "-key", "from_name", "山田 & Co", "-key", "from_user", "+81312345678"});
        at_end = AtCallEnd();
        QVERIFY(caller.start());
        wait_window_up();
        QVERIFY(web_engine_loaded()); // loaded for the first page

        // The page asked for carries the caller exactly as the INVITE named them.
        QTRY_VERIFY_WITH_TIMEOUT(!server.requests_for("/crm").isEmpty(), CALL_TIMEOUT_MS);
        const RecordedRequest request = server.requests_for("/crm").last();
        QCOMPARE(request.method, QByteArray("GET"));
        const QUrlQuery query(QString::fromLatin1(request.query));
        QCOMPARE(query.queryItemValue("name", QUrl::FullyDecoded), QStringLiteral("山田 & Co"));
        QCOMPARE(query.queryItemValue("tel", QUrl::FullyDecoded), QStringLiteral("+81312345678"));
        const QString call_id = sent_invite_call_id(caller);
        QVERIFY(!call_id.isEmpty());
        QCOMPARE(query.queryItemValue("call", QUrl::FullyDecoded), call_id);
        QCOMPARE(query.queryItemValue("op", QUrl::FullyDecoded), QString()); // no operator ID set yet
        QCOMPARE(query.queryItems().size(), 4);

        // The window's answer button answers the caller.
        QTest::mouseClick(site_button("siteDialogButton"), Qt::LeftButton);
        QTRY_VERIFY2_WITH_TIMEOUT(answered(caller), qPrintable(caller.output()), CALL_TIMEOUT_MS);
        QVERIFY(site()->isVisible());

        // Our hang-up on the main window ends the call and the window slides away without waiting.
        QTRY_VERIFY_WITH_TIMEOUT(window->form().terminateButton->isEnabled(), CALL_TIMEOUT_MS);
        QTest::mouseClick(window->form().terminateButton, Qt::LeftButton);
        QVERIFY2(caller.wait_finished(CALL_TIMEOUT_MS), qPrintable(caller.output()));
        QCOMPARE(caller.exit_code(), 0);
        wait_call_end();
        QVERIFY(!at_end.delay_pending);
        QCOMPARE(at_end.slide, QAbstractAnimation::Running);
        QTRY_VERIFY_WITH_TIMEOUT(!site()->isVisible(), CALL_TIMEOUT_MS);
    }

    void caller_hangs_up_the_window_stays_for_the_delay_then_slides_away()
    {
        // The call before ended by our hang-up; this one waits for the delay again.
        SippRunner caller(QStringLiteral("uac_call_answered.xml"), engine_address());
        caller.add_arguments({"-s", "100"});
        at_end = AtCallEnd();
        server.clear();
        QVERIFY(caller.start());
        wait_window_up();
        QTRY_VERIFY_WITH_TIMEOUT(!server.requests_for("/crm").isEmpty(), CALL_TIMEOUT_MS);
        const QUrlQuery query(QString::fromLatin1(server.requests_for("/crm").last().query));
        QCOMPARE(query.queryItemValue("name", QUrl::FullyDecoded), QStringLiteral("Taro"));
        QCOMPARE(query.queryItemValue("tel", QUrl::FullyDecoded), QStringLiteral("201"));
        QCOMPARE(query.queryItemValue("call", QUrl::FullyDecoded), sent_invite_call_id(caller));

        QTest::mouseClick(site_button("siteDialogButton"), Qt::LeftButton);
        QVERIFY2(caller.wait_finished(CALL_TIMEOUT_MS), qPrintable(caller.output()));
        QCOMPARE(caller.exit_code(), 0); // answered, then the caller hung up
        wait_call_end();
        QVERIFY(at_end.visible);
        QVERIFY(at_end.delay_pending);
        QCOMPARE(at_end.slide, QAbstractAnimation::Stopped);

        // Still there, in place, part-way through the delay.
        const QPoint shown = site()->pos();
        QTest::qWait(DELAY_S * 1000 / 2);
        QVERIFY(site()->isVisible());
        QCOMPARE(site()->pos(), shown);

        // Then it slides down and is gone once the slide is over.
        QTRY_COMPARE_WITH_TIMEOUT(presenter()->slide_animation()->state(), QAbstractAnimation::Running,
                                  CALL_TIMEOUT_MS);
        const qint64 slide_started = QDateTime::currentMSecsSinceEpoch() - end_reported_ms.load();
        // Timers may fire a little early; the delay is still clearly waited for.
        QVERIFY2(slide_started >= DELAY_S * 1000 * 9 / 10, qPrintable(QString::number(slide_started)));
        QTRY_VERIFY_WITH_TIMEOUT(site()->y() > shown.y(), CALL_TIMEOUT_MS);
        QTRY_VERIFY_WITH_TIMEOUT(!site()->isVisible(), CALL_TIMEOUT_MS);
        QVERIFY(QDateTime::currentMSecsSinceEpoch() - end_reported_ms.load() - slide_started >=
                SLIDE_MS * 9 / 10);
    }

    // The operator's way: the ID typed on the account page the menu opens, a login through the
    // dialog, then a call whose CRM page is asked for with that ID.
    void operator_id_from_the_menu_reaches_the_crm_page()
    {
        QAction* item = nullptr;
        for (QAction* action : window->tray_context_menu()->actions()) {
            if (action->text() == QStringLiteral("アカウント設定"))
                item = action;
        }
        QVERIFY(item);
        item->trigger();
        QWidget* account = window->findChild<QWidget*>(QStringLiteral("AccountSetting"));
        QVERIFY(account && account->isVisible());
        QTest::keyClicks(account->findChild<QLineEdit*>(QStringLiteral("operatorId")),
                         QStringLiteral("op-42"));
        QTest::keyClicks(account->findChild<QLineEdit*>(QStringLiteral("operatorPW")), QStringLiteral("pw"));
        QTest::mouseClick(account->findChild<QPushButton*>(QStringLiteral("pushButton")), Qt::LeftButton);
        QVERIFY(!account->isVisible());

        window->operator_status_selector()->setCurrentIndex(1); // 受付可
        OperatorLogin* login = window->operator_reporter()->login_window();
        QVERIFY(login->isVisible());
        QCOMPARE(login->findChild<QLineEdit*>(QStringLiteral("username"))->text(), QStringLiteral("op-42"));
        login->findChild<QLineEdit*>(QStringLiteral("password"))->setText(QStringLiteral("pw"));
        QTest::mouseClick(login->findChild<QPushButton*>(QStringLiteral("pushButton")), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(window->operator_reporter()->confirmed_status(), 1, CALL_TIMEOUT_MS);
        QVERIFY(operator_server.requests().last().body.contains("op-42"));

        SippRunner caller(QStringLiteral("uac_call_answered.xml"), engine_address());
        caller.add_arguments({"-s", "100"});
        server.clear();
        QVERIFY(caller.start());
        wait_window_up();
        QTRY_VERIFY_WITH_TIMEOUT(!server.requests_for("/crm").isEmpty(), CALL_TIMEOUT_MS);
        const QUrlQuery query(QString::fromLatin1(server.requests_for("/crm").last().query));
        QCOMPARE(query.queryItemValue("op", QUrl::FullyDecoded), QStringLiteral("op-42"));
        QTest::mouseClick(site_button("siteDialogButton"), Qt::LeftButton);
        QVERIFY2(caller.wait_finished(CALL_TIMEOUT_MS), qPrintable(caller.output()));

        // The program ends: the operator server hears of the logout before it does, and no
        // longer routes calls to a closed phone.
        operator_server.clear();
        window->exit_program();
        const auto reports = operator_server.requests();
        QCOMPARE(reports.size(), 1);
        QVERIFY2(reports.first().body.contains("username=op-42") && reports.first().body.contains("status=0"),
                 reports.first().body.constData());
    }
};

int main(int argc, char** argv)
{
    zim::prepare_web_engine();
    WebModule::set_directory(QStringLiteral(VELORA_BIN_DIR)); // the web module of this build
    QApplication app(argc, argv);
    TestProgramRemoteSite test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_program_remotesite.moc"
