// Engine lifecycle: stopping with a call up, the core log, and many requests raised from this
// thread while a call runs.

#include "data/zimconstants.h"
#include "enginefixture.h"
#include "support/peercore.h"
#include "support/sipprunner.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

namespace {

void write_file(const QString& path, const QByteArray& content, const QDateTime& modified)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.flush(); // a later flush would stamp the file with the current time
    file.setFileTime(modified, QFileDevice::FileModificationTime);
    file.close();
}

QByteArray read_file(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestLifecycle : public QObject
{
    Q_OBJECT
private slots:
    void stop_during_call_sends_bye();
    void core_log_of_an_earlier_day_is_kept_once();
    void core_log_of_today_is_appended();
    void core_log_needs_debug_model_exactly_one();
    void core_log_needs_debug_model_exactly_one_data();
    void mixed_requests_during_a_call();
};

void TestLifecycle::stop_during_call_sends_bye()
{
    SippRunner callee(QStringLiteral("callee.xml"));
    QVERIFY(callee.start());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    phone->request_dial(callee.uri("201"));
    QVERIFY2(fixture.wait_for("status:通話中"), qPrintable(fixture.dump()));

    QVERIFY(fixture.stop(15000));
    QVERIFY(phone->isFinished());
    QVERIFY(callee.wait_finished(10000));
    QCOMPARE(callee.exit_code(), 0);
    QCOMPARE(callee.received_requests("BYE").size(), 1);
    // With the core gone the queries still answer.
    QVERIFY(phone->is_idle());
    QCOMPARE(phone->local_sip_port(), 0);
    QVERIFY(phone->sound_devices().value("playback").isEmpty());
    // The library's own files live inside data/, none beside it.
    QVERIFY(QFile::exists(fixture.app_dir() + "/data/linphone.db"));
    QCOMPARE(QDir(fixture.app_dir()).entryList({"data*"}, QDir::Files), QStringList());
}

void TestLifecycle::core_log_of_an_earlier_day_is_kept_once()
{
    EngineFixture fixture;
    const QString path = fixture.app_dir() + zim::CORE_LOG_FILE;
    const QDateTime yesterday = QDateTime::currentDateTime().addDays(-1);
    write_file(path, "yesterday\n", yesterday);
    write_file(path + "1", "the day before\n", yesterday.addDays(-1));
    fixture.set_other({{"debugModel", "1"}});
    fixture.start();
    fixture.settle(300);
    QVERIFY(fixture.stop());

    QCOMPARE(read_file(path + "1"), QByteArray("yesterday\n"));
    const QByteArray fresh = read_file(path);
    QVERIFY(!fresh.isEmpty());
    QVERIFY(!fresh.contains("yesterday"));
    QVERIFY(!QFile::exists(path + "2"));
}

void TestLifecycle::core_log_of_today_is_appended()
{
    EngineFixture fixture;
    const QString path = fixture.app_dir() + zim::CORE_LOG_FILE;
    write_file(path, "earlier today\n", QDateTime::currentDateTime());
    fixture.set_other({{"debugModel", "1"}});
    fixture.start();
    fixture.settle(300);
    QVERIFY(fixture.stop());

    const QByteArray log = read_file(path);
    QVERIFY(log.startsWith("earlier today\n"));
    QVERIFY(log.size() > QByteArray("earlier today\n").size());
    QVERIFY(!QFile::exists(path + "1"));
}

void TestLifecycle::core_log_needs_debug_model_exactly_one_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("true") << "true";
    QTest::newRow("01") << "01";
    QTest::newRow("empty") << "";
}

void TestLifecycle::core_log_needs_debug_model_exactly_one()
{
    QFETCH(QString, value);
    EngineFixture fixture;
    fixture.set_other({{"debugModel", value}});
    fixture.start();
    fixture.settle(200);
    QVERIFY(fixture.stop());
    QVERIFY(!QFile::exists(fixture.app_dir() + zim::CORE_LOG_FILE));
}

// A thousand requests of every kind, raised from this thread while the engine serves them,
// with the queries read in between: nothing crashes and every answer stays in range.
void TestLifecycle::mixed_requests_during_a_call()
{
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    PeerCore peer;
    const QString number = peer.uri("peer");
    phone->request_dial(number);
    QVERIFY2(fixture.wait_for("status:通話中", 15000), qPrintable(fixture.dump()));

    QRandomGenerator random(20240607);
    for (int i = 0; i < 1000; ++i) {
        switch (random.bounded(9)) {
        case 0:
            phone->request_dial(number);
            break;
        case 1:
            phone->request_answer();
            break;
        case 2:
            phone->request_hold_toggle();
            break;
        case 3:
            phone->request_transfer_step(QString());
            break;
        case 4:
            phone->request_blind_transfer(QString());
            break;
        case 5:
            phone->request_attended_transfer(QString());
            break;
        case 6:
            phone->send_dtmf('5');
            break;
        case 7:
            if (random.bounded(20) == 0)
                phone->request_hangup();
            else
                phone->request_reregistration();
            break;
        default:
            break;
        }
        const CallPhase phase = phone->phase();
        QVERIFY2(phase >= CallPhase::Idle && phase <= CallPhase::TransferRemoteHolding,
                 qPrintable(QString::number(int(phase))));
        const int record = phone->record_status();
        QVERIFY(record >= RECORD_NONE && record <= RECORD_OUTGOING_MISSED);
        const QString remote = phone->remote_number();
        QVERIFY(remote.isEmpty() || remote == number);
        const QString dialled = phone->last_dialled_number();
        QVERIFY(dialled.isEmpty() || dialled == number);
        phone->is_idle();
        phone->is_incoming_ringing();
        phone->is_current_streaming();
        phone->is_current_paused();
        phone->is_second_streaming();
        fixture.settle(i % 10 == 0 ? 20 : 1);
    }

    // Wind down: hang up whatever is left until the engine is idle.
    const bool idle = fixture.wait_until(
        [&] {
            if (phone->phase() == CallPhase::Idle && phone->is_idle())
                return true;
            phone->request_hangup();
            fixture.settle(100);
            return false;
        },
        30000);
    QVERIFY2(idle, qPrintable(fixture.dump().right(2000)));
    QVERIFY(fixture.count("dialog_end") >= 1);
    QVERIFY(fixture.stop(15000));
}

QTEST_GUILESS_MAIN(TestLifecycle)
#include "tst_lifecycle.moc"
