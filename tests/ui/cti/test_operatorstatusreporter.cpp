#include "boxanswerer.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "support/httpserver.h"
#include "support/testca.h"
#include "support/testdir.h"
#include "ui/cti/operatorlogin.h"
#include "ui/cti/operatorstatuscombobox.h"
#include "ui/cti/operatorstatusreporter.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {
const int TIMEOUT_MS = 20000;
const QByteArray PATH = "/quick/actions/cti.php";
const QByteArray ACCEPTED = "{\"result\":0,\"message\":\"\"}";
} // namespace

// What the main window holds around the reporter: its status selector and its userName label.
struct OperatorFixture
{
    explicit OperatorFixture(ZimData* data, ZimLogger* logger)
    {
        combo = zim::make_operator_status_combo_box(&main_window);
        user_name = new QLabel(&main_window);
        reporter = new OperatorStatusReporter(&main_window, data, logger);
        QObject::connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), reporter,
                         &OperatorStatusReporter::slot_operator_status_change);
        QObject::connect(reporter, &OperatorStatusReporter::signal_select_status_index, combo,
                         &QComboBox::setCurrentIndex);
        QObject::connect(reporter, &OperatorStatusReporter::signal_show_user_name, user_name,
                         &QLabel::setText);
    }
    OperatorLogin* login() const { return reporter->login_window(); }
    void type_login(const QString& username, const QString& password) const
    {
        login()->findChild<QLineEdit*>(QStringLiteral("username"))->setText(username);
        login()->findChild<QLineEdit*>(QStringLiteral("password"))->setText(password);
        login()->findChild<QPushButton*>(QStringLiteral("pushButton"))->click();
    }

    QWidget main_window;
    QComboBox* combo = nullptr;
    QLabel* user_name = nullptr;
    OperatorStatusReporter* reporter = nullptr;
};

// Operator status reports to a real HTTPS server whose certificate a CA made for the test signed.
class TestOperatorStatusReporter : public QObject
{
    Q_OBJECT

private:
    TestAppDir* dir = nullptr;
    ZimLogger* logger = nullptr;
    ZimData* data = nullptr;
    QTemporaryDir certificate_dir;
    HttpServer server;
    QString address;
    QString ca_file;

    static QByteArray status_of(const RecordedRequest& request)
    {
        return request.body.mid(request.body.lastIndexOf("&status=") + 8);
    }
    // Logs in through the dialog with the selector's "受付可" and waits until the server accepted.
    void log_in(OperatorFixture& fixture)
    {
        server.set_response(ACCEPTED, "application/json");
        fixture.combo->setCurrentIndex(1);
        QVERIFY(fixture.login()->isVisible());
        fixture.type_login(QStringLiteral("op1"), QStringLiteral("pw1"));
        QTRY_COMPARE_WITH_TIMEOUT(fixture.reporter->confirmed_status(), 1, TIMEOUT_MS);
        QVERIFY(!fixture.login()->isVisible());
        QVERIFY(!fixture.reporter->is_login_pending());
        server.clear();
    }
    void wait_for_requests(int count)
    {
        QTRY_COMPARE_WITH_TIMEOUT(server.requests_for(PATH).size(), count, TIMEOUT_MS);
    }

private slots:
    void initTestCase()
    {
        dir = new TestAppDir;
        dir->make_log_dir();
        logger = new ZimLogger;
        data = new ZimData(nullptr, logger);
        TestCa trusted;
        QVERIFY2(trusted.make(certificate_dir.path(), QStringLiteral("trusted")), qPrintable(trusted.error));
        QVERIFY(server.start_tls(trusted.certificate_file, trusted.key_file));
        address = QStringLiteral("127.0.0.1:%1").arg(server.serverPort());
        ca_file = trusted.ca_file;
        QVERIFY(data->save_outlink_settings({{"ctiCaFile", ca_file}}));
    }
    void init()
    {
        server.clear();
        server.set_response(ACCEPTED, "application/json");
        QVERIFY(data->save_account_settings(
            {{"operatorAddress", address}, {"operatorId", ""}, {"operatorPW", ""}}));
    }
    void cleanupTestCase()
    {
        delete data;
        delete logger;
        delete dir;
    }

    void login_sends_the_form_encoded_report()
    {
        OperatorFixture fixture(data, logger);
        QVERIFY(!fixture.login()->isVisible());
        fixture.combo->setCurrentIndex(1);
        QVERIFY(fixture.login()->isVisible()); // a login first; nothing is sent yet
        QTest::qWait(200);
        QVERIFY(server.requests().isEmpty());

        fixture.type_login(QStringLiteral("op 1&x"), QStringLiteral("p&w=+%"));
        wait_for_requests(1);
        const RecordedRequest request = server.requests_for(PATH).first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.body,
                 QByteArray("action=set_op_status&username=op%201%26x&passwrod=p%26w%3D%2B%25&status=1"));
        QCOMPARE(request.headers.value("content-type"), QByteArray("application/x-www-form-urlencoded"));
        QCOMPARE(fixture.user_name->text(), QStringLiteral("op 1&x"));
        QTRY_COMPARE_WITH_TIMEOUT(fixture.reporter->confirmed_status(), 1, TIMEOUT_MS);
        QVERIFY(!fixture.login()->isVisible());
        // Trusted through the CA file: no error to accept.
        const QString log = read_text_file(ZimLogger::log_path());
        QVERIFY2(!log.contains(QStringLiteral("certificate errors accepted")), qPrintable(log));
    }

    void untrusted_server_gets_nothing_unless_the_site_turns_the_check_off()
    {
        TestCa foreign;
        QVERIFY2(foreign.make(certificate_dir.path(), QStringLiteral("foreign")), qPrintable(foreign.error));
        HttpServer rogue;
        QVERIFY(rogue.start_tls(foreign.certificate_file, foreign.key_file));
        QVERIFY(data->save_account_settings(
            {{"operatorAddress", QStringLiteral("127.0.0.1:%1").arg(rogue.serverPort())}}));
        rogue.set_response(ACCEPTED, "application/json");
        OperatorFixture fixture(data, logger);
        BoxAnswerer answerer;
        fixture.combo->setCurrentIndex(1);
        fixture.type_login(QStringLiteral("op1"), QStringLiteral("pw1"));
        QTRY_COMPARE_WITH_TIMEOUT(answerer.texts.size(), 1, TIMEOUT_MS);
        QCOMPARE(answerer.texts.first(),
                 QStringLiteral("オペレータサーバ 127.0.0.1 の証明書を確認できません。\n"
                                "理由：信頼できる発行元の証明書ではありません\n"
                                "状態は送信していません。"));
        QCOMPARE(answerer.formats.first(), Qt::PlainText);
        QVERIFY(rogue.requests().isEmpty()); // neither the ID nor the password left
        QCOMPARE(fixture.reporter->confirmed_status(), 0);
        QVERIFY(fixture.login()->isVisible());

        // The site's explicit way out: accepted, and on record with the host.
        QVERIFY(data->save_outlink_settings({{"ctiVerifyCertificate", "0"}}));
        fixture.type_login(QStringLiteral("op1"), QStringLiteral("pw1"));
        QTRY_COMPARE_WITH_TIMEOUT(fixture.reporter->confirmed_status(), 1, TIMEOUT_MS);
        QCOMPARE(rogue.requests_for(PATH).size(), 1);
        QCOMPARE(answerer.texts.size(), 1);
        const QString log = read_text_file(ZimLogger::log_path());
        QVERIFY2(log.contains(QStringLiteral("certificate errors accepted for host 127.0.0.1")),
                 qPrintable(log));
        QVERIFY(data->save_outlink_settings({{"ctiVerifyCertificate", "1"}}));
    }

    void unreadable_ca_file_is_named_and_nothing_is_sent()
    {
        QVERIFY(data->save_outlink_settings({{"ctiCaFile", "/nonexistent/cti-ca.pem"}}));
        OperatorFixture fixture(data, logger);
        BoxAnswerer answerer;
        fixture.combo->setCurrentIndex(1);
        fixture.type_login(QStringLiteral("op1"), QStringLiteral("pw1"));
        QTRY_COMPARE_WITH_TIMEOUT(answerer.texts.size(), 1, TIMEOUT_MS);
        QVERIFY(data->save_outlink_settings({{"ctiCaFile", ca_file}}));
        QVERIFY2(answerer.texts.first().contains(
                     QStringLiteral("（CA証明書ファイル /nonexistent/cti-ca.pem を読み込めません）")),
                 qPrintable(answerer.texts.first()));
        QVERIFY(server.requests().isEmpty());
    }

    void selector_indices_map_to_status_codes()
    {
        // With stored operator credentials a logout needs no new login before the next change.
        QVERIFY(data->save_account_settings({{"operatorId", "op1"}, {"operatorPW", "pw1"}}));
        OperatorFixture fixture(data, logger);
        log_in(fixture);
        fixture.combo->setCurrentIndex(2);
        wait_for_requests(1);
        QCOMPARE(status_of(server.requests_for(PATH).last()), QByteArray("11"));
        QCOMPARE(server.requests_for(PATH).last().body,
                 QByteArray("action=set_op_status&username=op1&passwrod=pw1&status=11"));
        fixture.reporter->slot_operator_status_change(7);
        wait_for_requests(2);
        QCOMPARE(status_of(server.requests_for(PATH).last()), QByteArray("0"));
        fixture.reporter->slot_operator_status_change(-1);
        wait_for_requests(3);
        QCOMPARE(status_of(server.requests_for(PATH).last()), QByteArray("0"));
        // An accepted logout clears the operator's name.
        QTRY_VERIFY_WITH_TIMEOUT(fixture.user_name->text().isEmpty(), TIMEOUT_MS);
        QCOMPARE(fixture.reporter->confirmed_status(), 0);
    }

    void replies_are_parsed_never_evaluated()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, box);
        OperatorFixture fixture(data, logger);
        server.set_response(reply, "application/json");
        BoxAnswerer answerer;
        fixture.combo->setCurrentIndex(1);
        fixture.type_login(QStringLiteral("op1"), QStringLiteral("pw1"));
        if (box.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(fixture.reporter->confirmed_status(), 1, TIMEOUT_MS);
            QVERIFY(!fixture.reporter->is_login_pending());
            QVERIFY(answerer.texts.isEmpty());
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(answerer.texts.size(), 1, TIMEOUT_MS);
            QCOMPARE(answerer.titles.first(), QStringLiteral("オペレータログイン"));
            QCOMPARE(answerer.texts.first(), box);
            QCOMPARE(answerer.formats.first(), Qt::PlainText); // the server's words, never its markup
            // A refusal changes nothing: still logged out, the login still waiting.
            QCOMPARE(fixture.reporter->confirmed_status(), 0);
            QVERIFY(fixture.reporter->is_login_pending());
            QVERIFY(fixture.login()->isVisible());
        }
    }
    void replies_are_parsed_never_evaluated_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("box");
        QTest::newRow("0 accepted") << QByteArray("{\"result\":0}") << QString();
        QTest::newRow("0.5 truncates to accepted")
            << QByteArray("{\"result\":0.5,\"message\":\"x\"}") << QString();
        QTest::newRow("1 authentication") << QByteArray("{\"result\":1,\"message\":\"ID不一致\"}")
                                          << QStringLiteral("認証エラー\nID不一致");
        QTest::newRow("1.9 truncates to 1")
            << QByteArray("{\"result\":1.9,\"message\":\"m\"}") << QStringLiteral("認証エラー\nm");
        QTest::newRow("markup stays text")
            << QByteArray("{\"result\":1,\"message\":\"<a href='http://evil.example/'>再ログイン</a>\"}")
            << QStringLiteral("認証エラー\n<a href='http://evil.example/'>再ログイン</a>");
        QTest::newRow("99 system") << QByteArray("{\"result\":99,\"message\":\"DB down\"}")
                                   << QStringLiteral("システムエラー\nDB down");
        QTest::newRow("7 server") << QByteArray("{\"result\":7,\"message\":\"?\"}")
                                  << QStringLiteral("サーバエラー\n?");
        QTest::newRow("missing result")
            << QByteArray("{\"message\":\"no result\"}") << QStringLiteral("サーバエラー\nno result");
        QTest::newRow("result as text")
            << QByteArray("{\"result\":\"0\"}") << QStringLiteral("サーバエラー\n");
        QTest::newRow("not JSON") << QByteArray("<html>502 Bad Gateway</html>")
                                  << QStringLiteral("サーバエラー\n");
        QTest::newRow("array") << QByteArray("[0]") << QStringLiteral("サーバエラー\n");
        QTest::newRow("script") << QByteArray("(function(){return {result:0};})()")
                                << QStringLiteral("サーバエラー\n");
        QTest::newRow("empty") << QByteArray() << QStringLiteral("サーバエラー\n");
    }

    void missing_server_address_is_asked_for()
    {
        QVERIFY(data->save_account_settings({{"operatorAddress", ""}}));
        OperatorFixture fixture(data, logger);
        BoxAnswerer answerer;
        fixture.combo->setCurrentIndex(1);
        fixture.type_login(QStringLiteral("op1"), QStringLiteral("pw1"));
        QCOMPARE(answerer.titles, QStringList{QStringLiteral("エラー")});
        QCOMPARE(answerer.texts, QStringList{QStringLiteral("設定画面でオペレータサーバを設定してください")});
        QTest::qWait(200);
        QVERIFY(server.requests().isEmpty());
    }

    void unreachable_server_ends_in_the_server_error_box()
    {
        OperatorFixture fixture(data, logger);
        log_in(fixture);
        QVERIFY(data->save_account_settings({{"operatorAddress", ""}}));
        BoxAnswerer answerer;
        fixture.combo->setCurrentIndex(3); // goes to "https://" + path, which fails
        QTRY_COMPARE_WITH_TIMEOUT(answerer.texts.size(), 1, TIMEOUT_MS);
        QCOMPARE(answerer.texts.first(), QStringLiteral("サーバエラー\n"));
        QCOMPARE(fixture.reporter->confirmed_status(), 1);
    }

    void reset_without_address_sends_nothing()
    {
        OperatorFixture fixture(data, logger);
        log_in(fixture);
        QSignalSpy reregister(fixture.reporter, &OperatorStatusReporter::signal_request_reregistration);
        fixture.reporter->slot_reset_operator_status(QString());
        QVERIFY(!fixture.reporter->is_login_pending());
        QCOMPARE(fixture.combo->currentIndex(), 1);
        fixture.combo->setCurrentIndex(4);
        wait_for_requests(1); // the first request is the change that followed
        QCOMPARE(status_of(server.requests_for(PATH).first()), QByteArray("13"));
        QTRY_COMPARE_WITH_TIMEOUT(fixture.reporter->confirmed_status(), 13, TIMEOUT_MS);
        QVERIFY(reregister.isEmpty());
    }

    // Nobody logged in: the logout of a changed server sends no report with empty credentials
    // (the server answered it with a false "認証エラー" box), and the account still applies.
    void reset_with_nobody_logged_in_sends_nothing()
    {
        OperatorFixture fixture(data, logger);
        QSignalSpy reregister(fixture.reporter, &OperatorStatusReporter::signal_request_reregistration);
        fixture.reporter->slot_reset_operator_status(address);
        QCOMPARE(reregister.size(), 1);
        QTest::qWait(300);
        QVERIFY(server.requests_for(PATH).isEmpty());
    }

    void reset_with_address_logs_out_and_reregisters()
    {
        OperatorFixture fixture(data, logger);
        log_in(fixture);
        QSignalSpy reregister(fixture.reporter, &OperatorStatusReporter::signal_request_reregistration);
        fixture.reporter->slot_reset_operator_status(address);
        QVERIFY(fixture.reporter->is_login_pending());
        // The selector shows the logout; that move itself is not reported.
        QCOMPARE(fixture.combo->currentIndex(), 0);
        QCOMPARE(fixture.reporter->requested_status(), 1);
        wait_for_requests(1);
        QCOMPARE(server.requests_for(PATH).first().body,
                 QByteArray("action=set_op_status&username=op1&passwrod=pw1&status=0"));
        QTRY_COMPARE_WITH_TIMEOUT(reregister.size(), 1, TIMEOUT_MS);
        QTest::qWait(200);
        QCOMPARE(server.requests_for(PATH).size(), 1);

        // The operator's next choice is reported, not swallowed.
        fixture.combo->setCurrentIndex(2);
        wait_for_requests(2);
        QCOMPARE(status_of(server.requests_for(PATH).last()), QByteArray("11"));
        QTRY_COMPARE_WITH_TIMEOUT(fixture.reporter->confirmed_status(), 11, TIMEOUT_MS);
        QCOMPARE(reregister.size(), 1);
    }

    void later_puts_the_selector_back()
    {
        OperatorFixture fixture(data, logger);
        fixture.combo->setCurrentIndex(2);
        QVERIFY(fixture.login()->isVisible());
        fixture.login()->findChild<QPushButton*>(QStringLiteral("pushButton_2"))->click();
        QVERIFY(!fixture.login()->isVisible());
        QCOMPARE(fixture.combo->currentIndex(), 0);
        QVERIFY(!fixture.reporter->is_ignoring_next_change());
        // The next choice asks for the login again.
        fixture.combo->setCurrentIndex(1);
        QVERIFY(fixture.login()->isVisible());
        // Closing the dialog postpones the same way.
        QVERIFY(!fixture.login()->close());
        QCOMPARE(fixture.combo->currentIndex(), 0);
        QTest::qWait(200);
        QVERIFY(server.requests().isEmpty());
    }

    // A status the server did not take never stays on the selector, and each refusal says why:
    // from the selector, and from the login dialog with Return, every time.
    void refused_report_puts_the_selector_back_and_says_why()
    {
        OperatorFixture fixture(data, logger);
        fixture.main_window.setWindowTitle(QStringLiteral("VeloraSimple"));
        log_in(fixture);
        server.set_response("{\"result\":99,\"message\":\"down\"}", "application/json");
        BoxAnswerer answerer;
        fixture.combo->setCurrentIndex(3);
        QTRY_COMPARE_WITH_TIMEOUT(answerer.texts.size(), 1, TIMEOUT_MS);
        QCOMPARE(answerer.texts.first(), QStringLiteral("システムエラー\ndown"));
        // The login is closed: the box is the phone's, and says so in its title.
        QCOMPARE(answerer.titles.first(), QStringLiteral("VeloraSimple"));
        QCOMPARE(fixture.combo->currentIndex(), 1);
        QCOMPARE(fixture.reporter->confirmed_status(), 1);

        OperatorFixture fresh(data, logger);
        server.set_response("{\"result\":1,\"message\":\"ID不一致\"}", "application/json");
        fresh.combo->setCurrentIndex(2);
        auto* password = fresh.login()->findChild<QLineEdit*>(QStringLiteral("password"));
        fresh.login()->findChild<QLineEdit*>(QStringLiteral("username"))->setText(QStringLiteral("op1"));
        password->setText(QStringLiteral("wrong"));
        for (int attempt = 2; attempt <= 3; ++attempt) {
            QTest::keyClick(password, Qt::Key_Return);
            QTRY_COMPARE_WITH_TIMEOUT(answerer.texts.size(), attempt, TIMEOUT_MS);
            QCOMPARE(answerer.texts.last(), QStringLiteral("認証エラー\nID不一致"));
            QCOMPARE(fresh.combo->currentIndex(), 0);
            QVERIFY(fresh.login()->isVisible()); // to try again
        }
        server.set_response(ACCEPTED, "application/json");
        QTest::keyClick(password, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(fresh.reporter->confirmed_status(), zim::operator_status_code(2),
                                  TIMEOUT_MS);
        QCOMPARE(fresh.combo->currentIndex(), 2);
    }

    void logged_in_selector_goes_back_to_the_confirmed_status()
    {
        OperatorFixture fixture(data, logger);
        log_in(fixture);
        fixture.reporter->slot_reset_user_status_combox(); // nothing to undo
        QCOMPARE(fixture.combo->currentIndex(), 1);
        QVERIFY(!fixture.reporter->is_ignoring_next_change());
    }
};

QTEST_MAIN(TestOperatorStatusReporter)
#include "test_operatorstatusreporter.moc"
