#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "support/httpserver.h"
#include "support/testca.h"
#include "support/testdir.h"
#include "ui/cti/remotesite.h"
#include "ui/cti/webenginesetup.h"
#include "ui/cti/webmodule.h"

#include <QDesktopServices>
#include <QProgressBar>
#include <QPushButton>
#include <QUrlQuery>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

namespace {
const int PAGE_TIMEOUT_MS = 30000;
}

// Receives what the detail button hands to the desktop's browser.
class BrowserStandIn : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

// The remote-site window loading its page from a real local web server.
class TestRemoteSite : public QObject
{
    Q_OBJECT

private:
    TestAppDir* dir = nullptr;
    ZimLogger* logger = nullptr;
    ZimData* data = nullptr;
    HttpServer server;
    RemoteSite* site = nullptr;
    QMap<QString, QString> call{{"callerName", QStringLiteral("山田 & Co")},
                                {"callerId", QStringLiteral("+81312345678")},
                                {"callId", QStringLiteral("a84b4c76e66710@127.0.0.1")}};

    QProgressBar* progress() const { return site->findChild<QProgressBar*>(QStringLiteral("progressBar")); }
    QWidget* view() const { return site->findChild<QWidget*>(QStringLiteral("webView")); }
    QPushButton* button(const char* name) const { return site->findChild<QPushButton*>(QLatin1String(name)); }

    void configure(const QString& url, const QString& method, const QString& params)
    {
        QVERIFY(data->save_outlink_settings(
            {{"simpleUrl", url}, {"simpleMethod", method}, {"simpleParams", params}}));
    }
    // Loads the page for the test call and returns the request the server saw for path.
    RecordedRequest load(const QByteArray& path = "/crm")
    {
        server.clear();
        QSignalSpy finished(view(), SIGNAL(loadFinished(bool)));
        site->set_webview_params(call);
        [&] { QTRY_VERIFY_WITH_TIMEOUT(!server.requests_for(path).isEmpty(), PAGE_TIMEOUT_MS); }();
        [&] { QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), PAGE_TIMEOUT_MS); }();
        return server.requests_for(path).value(0);
    }
    // What the page shows, as the engine's own text of it.
    QString page_text() const
    {
        auto* web = qobject_cast<QWebEngineView*>(view());
        if (!web)
            return QString();
        QString text;
        bool done = false;
        web->page()->toPlainText([&](const QString& result) {
            text = result;
            done = true;
        });
        [&] { QTRY_VERIFY_WITH_TIMEOUT(done, 5000); }();
        return text;
    }
    static QString decoded(const RecordedRequest& request, const QString& name)
    {
        return QUrlQuery(QString::fromLatin1(request.query)).queryItemValue(name, QUrl::FullyDecoded);
    }

private slots:
    void initTestCase()
    {
        dir = new TestAppDir;
        dir->make_log_dir();
        logger = new ZimLogger;
        data = new ZimData(nullptr, logger);
        QVERIFY(data->save_account_settings(
            {{"userId", "201"}, {"operatorId", "op 1"}, {"operatorPW", "p&w=1"}}));
        QVERIFY(server.start());
        site = new RemoteSite(nullptr, nullptr, data, logger);
    }
    void cleanupTestCase()
    {
        delete site;
        delete data;
        delete logger;
        delete dir;
    }

    void window_is_the_skinned_frame()
    {
        QCOMPARE(site->objectName(), QStringLiteral("RemoteSite"));
        QCOMPARE(site->size(), QSize(440, 370));
        QVERIFY(site->windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(site->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(button("siteDialogButton")->text(), QStringLiteral("通話"));
        QCOMPARE(button("siteDetailButton")->text(), QStringLiteral("詳細情報"));
        QCOMPARE(button("siteTerminateButton")->text(), QStringLiteral("切断"));
        QCOMPARE(progress()->format(), QStringLiteral("loading..."));
    }

    void get_carries_the_caller_exactly()
    {
        configure(server.base_url() + "/crm", "get",
                  "tel=%CallerID%\nname=%CallerName%\ncall=%CallId%\nme=%MyId%");
        const RecordedRequest request = load();
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(decoded(request, "tel"), QStringLiteral("+81312345678"));
        QCOMPARE(decoded(request, "name"), QStringLiteral("山田 & Co"));
        QCOMPARE(decoded(request, "call"), QStringLiteral("a84b4c76e66710@127.0.0.1"));
        QCOMPARE(decoded(request, "me"), QStringLiteral("201"));
        // The "&" of the name stays inside its value: four parameters, no more.
        QCOMPARE(QUrlQuery(QString::fromLatin1(request.query)).queryItems().size(), 4);
    }

    void get_joins_an_existing_query_with_ampersand()
    {
        configure(server.base_url() + "/crm?src=zarari", "get", "tel=%CallerID%");
        const RecordedRequest request = load();
        QCOMPARE(request.query, QByteArray("src=zarari&tel=%2B81312345678"));
    }

    void post_body_is_the_expanded_template()
    {
        configure(server.base_url() + "/crm", "post", "tel=%CallerID%\nme=%MyId%\nop=%OpeId%\npw=%OpePW%");
        const RecordedRequest request = load();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.body, QByteArray("tel=%2B81312345678&me=201&op=op%201&pw=p%26w%3D1"));
        QCOMPARE(request.headers.value("content-type"), QByteArray("application/x-www-form-urlencoded"));
        QVERIFY(!request.has_query);
    }

    void upper_case_post_means_get()
    {
        configure(server.base_url() + "/crm", "POST", "tel=%CallerID%");
        const RecordedRequest request = load();
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(request.query, QByteArray("tel=%2B81312345678"));
    }

    void empty_template_sends_nothing_but_the_separator()
    {
        configure(server.base_url() + "/crm", "get", "  \n ");
        RecordedRequest request = load();
        QCOMPARE(request.method, QByteArray("GET"));
        QVERIFY(request.has_query);
        QVERIFY(request.query.isEmpty());

        configure(server.base_url() + "/crm", "post", QString());
        request = load();
        QCOMPARE(request.method, QByteArray("POST"));
        QVERIFY(request.body.isEmpty());
    }

    void blank_lines_inside_stay_and_outside_go()
    {
        configure(server.base_url() + "/crm", "get", "\n\na=1\n\nb=%CallerID%\n\n");
        QCOMPARE(load().query, QByteArray("a=1&&b=%2B81312345678"));
    }

    void placeholders_in_another_case_stay_as_written()
    {
        configure(server.base_url() + "/crm", "get", "x=%MYID%\ny=%OPEID%\nz=%MyId%");
        const RecordedRequest request = load();
        QCOMPARE(decoded(request, "x"), QStringLiteral("%MYID%"));
        QCOMPARE(decoded(request, "y"), QStringLiteral("%OPEID%"));
        QCOMPARE(decoded(request, "z"), QStringLiteral("201"));
    }

    void page_is_shown_once_loaded()
    {
        configure(server.base_url() + "/crm", "get", "tel=%CallerID%");
        server.clear();
        QSignalSpy finished(view(), SIGNAL(loadFinished(bool)));
        site->show();
        site->set_webview_params(call);
        QVERIFY(progress()->isVisible());
        QVERIFY(!view()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), PAGE_TIMEOUT_MS);
        QVERIFY(!progress()->isVisible());
        QVERIFY(view()->isVisible());
        QVERIFY(finished.first().first().toBool());
        site->hide();
    }

    void https_page_is_shown_only_from_a_trusted_server()
    {
        QTemporaryDir certificate_dir;
        TestCa trusted, foreign;
        QVERIFY2(trusted.make(certificate_dir.path(), QStringLiteral("trusted")), qPrintable(trusted.error));
        QVERIFY2(foreign.make(certificate_dir.path(), QStringLiteral("foreign")), qPrintable(foreign.error));
        HttpServer secure, rogue;
        QVERIFY(secure.start_tls(trusted.certificate_file, trusted.key_file));
        QVERIFY(rogue.start_tls(foreign.certificate_file, foreign.key_file));
        QVERIFY(data->save_outlink_settings({{"ctiCaFile", trusted.ca_file}}));

        // Signed by the CA of the file: the page loads.
        configure(secure.base_url() + "/crm", "get", "tel=%CallerID%");
        QSignalSpy finished(view(), SIGNAL(loadFinished(bool)));
        site->set_webview_params(call);
        QTRY_VERIFY_WITH_TIMEOUT(!secure.requests_for("/crm").isEmpty(), PAGE_TIMEOUT_MS);
        QCOMPARE(secure.requests_for("/crm").first().query, QByteArray("tel=%2B81312345678"));
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), PAGE_TIMEOUT_MS);

        // Signed by another CA: the operator's password in the form never leaves, and a plain text
        // naming the server and the reason stands in place of the page.
        configure(rogue.base_url() + "/crm", "post", "pw=%OpePW%");
        finished.clear();
        site->set_webview_params(call);
        const QString refusal =
            QStringLiteral("CRMサーバ 127.0.0.1 の証明書を確認できないため、ページを表示しません。\n"
                           "理由：信頼できる発行元の証明書ではありません");
        QTRY_COMPARE_WITH_TIMEOUT(page_text(), refusal, PAGE_TIMEOUT_MS);
        QVERIFY(!progress()->isVisible());
        QVERIFY(rogue.requests().isEmpty());

        // The site's explicit way out: the page loads, and the acceptance is on record with the host.
        QVERIFY(data->save_outlink_settings({{"ctiVerifyCertificate", "0"}}));
        site->set_webview_params(call);
        QTRY_VERIFY_WITH_TIMEOUT(!rogue.requests_for("/crm").isEmpty(), PAGE_TIMEOUT_MS);
        QCOMPARE(rogue.requests_for("/crm").first().body, QByteArray("pw=p%26w%3D1"));
        const QString log = read_text_file(ZimLogger::log_path());
        QVERIFY2(log.contains(QStringLiteral("certificate error accepted for host 127.0.0.1")),
                 qPrintable(log));

        // Ticked back on, the same server is refused again: no earlier acceptance is remembered.
        QVERIFY(data->save_outlink_settings({{"ctiVerifyCertificate", "1"}}));
        rogue.clear();
        site->set_webview_params(call);
        QTRY_COMPARE_WITH_TIMEOUT(page_text(), refusal, PAGE_TIMEOUT_MS);
        // The accepted page's own late requests (its icon) may still come in; the form never does.
        QVERIFY(rogue.requests_for("/crm").isEmpty());
        QVERIFY(data->save_outlink_settings({{"ctiCaFile", ""}}));
    }

    void detail_page_opens_in_the_browser()
    {
        BrowserStandIn browser;
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser, "open");
        configure(server.base_url() + "/crm", "get", QString());
        QVERIFY(data->save_outlink_settings({{"detailUrl", "http://crm.example/detail"},
                                             {"detailParams", "tel=%CallerID%\nname=%CallerName%"}}));
        site->set_webview_params(call);
        site->show();
        QVERIFY(button("siteDetailButton")->isVisible());
        button("siteDetailButton")->click();
        QCOMPARE(browser.opened.size(), 1);
        QCOMPARE(browser.opened.first().toString(QUrl::FullyEncoded),
                 QStringLiteral(
                     "http://crm.example/detail?tel=%2B81312345678&name=%E5%B1%B1%E7%94%B0%20%26%20Co"));

        // Without parameters the detail address is the address itself.
        QVERIFY(data->save_outlink_settings({{"detailParams", ""}}));
        site->set_webview_params(call);
        QCOMPARE(site->detail_address(), QStringLiteral("http://crm.example/detail"));

        // The button follows the setting at the next show, not before.
        QVERIFY(data->save_outlink_settings({{"detailUrl", ""}}));
        QVERIFY(button("siteDetailButton")->isVisible());
        site->hide();
        site->show();
        QVERIFY(!button("siteDetailButton")->isVisible());
        site->hide();
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    }

    void buttons_report_to_the_main_window()
    {
        QSignalSpy show_main(site, &RemoteSite::signal_show_main_window);
        QSignalSpy at_once(site, &RemoteSite::signal_set_not_delay_hidden_reomote_window);
        site->show();
        button("siteDialogButton")->click();
        QCOMPARE(show_main.size(), 1);
        button("siteTerminateButton")->click();
        QCOMPARE(at_once.size(), 1);
        button("siteCloseButton")->click();
        QVERIFY(!site->isVisible());
        // The window system's close (Alt+F4, the taskbar) only hides it, like every window here.
        site->show();
        QVERIFY(!site->close());
        QVERIFY(!site->isVisible());
    }
};

int main(int argc, char** argv)
{
    zim::prepare_web_engine();
    WebModule::set_directory(QStringLiteral(VELORA_BIN_DIR)); // the web module of this build
    QApplication app(argc, argv);
    TestRemoteSite test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_remotesite.moc"
