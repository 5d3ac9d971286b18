// Operator status reports against a hostile operator server: fuzzed replies, and a server that
// accepts and never answers.
#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "support/httpserver.h"
#include "support/processprobe.h"
#include "support/testca.h"
#include "support/testdir.h"
#include "ui/cti/boxanswerer.h"
#include "ui/cti/operatorstatusreporter.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>

namespace {

QByteArray http(const QByteArray& head, const QByteArray& body)
{
    return "HTTP/1.1 " + head + "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

// A reply the reporter must take as a refusal: never a well-formed accepting one.
QByteArray fuzz_reply(QRandomGenerator& random, int i)
{
    QByteArray noise(1 + random.bounded(400), '\0');
    for (char& c : noise)
        c = char(random.bounded(256));
    const QByteArray accepted = "{\"result\":0}";
    switch (i % 12) {
    case 0:
        return noise; // not HTTP at all
    case 1:
        return http("200 OK", noise);
    case 2:
        return "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + accepted; // cut short
    case 3:
        return http("500 Internal Server Error", accepted);
    case 4:
        return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n" + accepted;
    case 5:
        return http("200 OK", QByteArray(1, '\0') + accepted);
    case 6:
        return http("200 OK", QByteArray(20000, '[') + "0");
    case 7:
        return http("200 OK", "{\"result\":\"0\",\"message\":" + QByteArray(1, '"') + noise.toHex() + "\"}");
    case 8:
        return http("200 OK", "{\"result\":1e999,\"message\":{\"a\":[1,2]}}");
    case 9:
        return "HTTP/1.1 200 OK\r\nX-Long: " + QByteArray(100000, 'h') + "\r\n\r\n{\"result\":99}";
    case 10:
        return http("200 OK", accepted.left(random.bounded(accepted.size())));
    default:
        return "HTTP/1.1 301 Moved\r\nLocation: https://127.0.0.1:1/\r\nContent-Length: 0\r\n\r\n";
    }
}

} // namespace

class TestStressHttp : public QObject
{
    Q_OBJECT

    TestAppDir dir;
    ZimLogger* logger = nullptr;
    ZimData* data = nullptr;
    QTemporaryDir certificate_dir;
    HttpServer server;
    QWidget window;
    OperatorStatusReporter* reporter = nullptr;

    void report_once()
    {
        const QString url =
            QStringLiteral("https://127.0.0.1:%1/quick/actions/cti.php").arg(server.serverPort());
        reporter->post_op_status({{"url", url}, {"username", "op"}, {"password", "pw"}, {"status", "1"}});
    }

private slots:
    void initTestCase()
    {
        dir.make_log_dir();
        logger = new ZimLogger;
        data = new ZimData(nullptr, logger);
        TestCa ca;
        QVERIFY2(ca.make(certificate_dir.path(), QStringLiteral("operator")), qPrintable(ca.error));
        QVERIFY(server.start_tls(ca.certificate_file, ca.key_file));
        QVERIFY(data->save_outlink_settings({{"ctiCaFile", ca.ca_file}}));
        reporter = new OperatorStatusReporter(&window, data, logger);
    }
    void cleanupTestCase()
    {
        delete data;
        delete logger;
    }

    void every_fuzzed_reply_is_a_refusal()
    {
        BoxAnswerer answerer;
        QRandomGenerator random(4475);
        const int count = stress_count(1000, 100);
        for (int i = 0; i < count; ++i) {
            server.set_raw_response(fuzz_reply(random, i));
            report_once();
            QTRY_VERIFY2_WITH_TIMEOUT(answerer.texts.size() == i + 1,
                                      qPrintable(QStringLiteral("reply %1 gave no error box").arg(i)), 20000);
        }
        for (const QString& text : answerer.texts)
            QVERIFY2(text.startsWith(QStringLiteral("サーバエラー\n")) ||
                         text.startsWith(QStringLiteral("認証エラー\n")) ||
                         text.startsWith(QStringLiteral("システムエラー\n")),
                     qPrintable(text.left(200)));
        report_figure(QStringLiteral("operator server: fuzzed replies / error boxes"),
                      QStringLiteral("%1 / %2").arg(count).arg(answerer.texts.size()));
        server.set_raw_response(QByteArray());
    }

    void silent_server_times_out_and_the_window_keeps_running()
    {
        server.set_silent(true);
        BoxAnswerer answerer;
        QElapsedTimer clock;
        clock.start();
        qint64 last_tick = 0, worst_gap = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, [&] {
            worst_gap = qMax(worst_gap, clock.elapsed() - last_tick);
            last_tick = clock.elapsed();
        });
        tick.start(50);
        report_once();
        QTRY_COMPARE_WITH_TIMEOUT(answerer.texts.size(), 1, 30000);
        const qint64 waited = clock.elapsed();
        server.set_silent(false);
        QCOMPARE(answerer.texts.first(),
                 QStringLiteral("サーバエラー\nオペレータサーバが10秒以内に応答しませんでした"));
        report_figure(QStringLiteral("operator server silent: error box after / longest window stall"),
                      QStringLiteral("%1 ms / %2 ms").arg(waited).arg(worst_gap));
        QVERIFY2(worst_gap < 1000, qPrintable(QString::number(worst_gap)));
    }
};

QTEST_MAIN(TestStressHttp)
#include "test_stress_http.moc"
