// Media-side behaviour: DTMF reaching a real peer, and the sound devices seen through the
// PulseAudio null sink.

#include "data/zimconstants.h"
#include "data/zimlogger.h"
#include "enginefixture.h"
#include "support/peercore.h"
#include "support/soundport.h"
#include "support/soundserver.h"
#include "support/testdir.h"

#include <QProcess>
#include <QtTest>

namespace {

// The index of a sink by name in `pactl list short sinks`, empty when absent.
QString sink_index(const QString& name)
{
    for (const QString& line : run_pactl({"list", "short", "sinks"}).split('\n')) {
        const QStringList fields = line.split('\t');
        if (fields.size() > 1 && fields[1] == name)
            return fields[0];
    }
    return QString();
}

// Sink indexes that playback streams currently go to.
QStringList sinks_in_use()
{
    QStringList result;
    for (const QString& line : run_pactl({"list", "short", "sink-inputs"}).split('\n')) {
        const QStringList fields = line.split('\t');
        if (fields.size() > 1)
            result.append(fields[1]);
    }
    return result;
}

} // namespace

class TestMedia : public QObject
{
    Q_OBJECT
private slots:
    void dtmf_reaches_the_peer();
    void sound_devices_are_listed();
    void stored_playback_device_is_used();
    void devices_of_one_name_are_told_apart();
    void headset_that_goes_and_returns();
    void sound_server_that_restarts_is_followed_again();
    void sound_server_that_starts_late_is_followed();
    void fresh_desk_calls_without_the_echo_canceller();
};

void TestMedia::dtmf_reaches_the_peer()
{
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    PeerCore peer;
    phone->request_dial(peer.uri("peer"));
    QVERIFY2(fixture.wait_for("status:通話中", 15000), qPrintable(fixture.dump()));
    QVERIFY(phone->is_current_streaming());
    fixture.settle(300); // let the media settle on both sides

    const QString digits = QStringLiteral("159#*0");
    for (const QChar digit : digits) {
        phone->send_dtmf(digit.toLatin1());
        fixture.settle(400);
    }
    QVERIFY2(fixture.wait_until([&] { return peer.dtmf.size() >= digits.size(); }, 10000),
             qPrintable(peer.dtmf));
    QCOMPARE(peer.dtmf, digits);

    // On hold there is no media to carry a digit: it is dropped, and nothing breaks.
    phone->request_hold_toggle();
    QVERIFY2(fixture.wait_for("status:保留中"), qPrintable(fixture.dump()));
    phone->send_dtmf('7');
    fixture.settle(300);
    phone->request_hold_toggle();
    QVERIFY2(fixture.wait_for("status:通話中", 10000, 2), qPrintable(fixture.dump()));
    fixture.settle(300);
    phone->send_dtmf('8');
    QVERIFY2(fixture.wait_until([&] { return peer.dtmf.size() > digits.size(); }, 10000),
             qPrintable(peer.dtmf));
    QCOMPARE(peer.dtmf, digits + "8");

    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QVERIFY(fixture.wait_until([&] { return peer.active_calls() == 0; }, 10000));
}

void TestMedia::sound_devices_are_listed()
{
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    const QMap<QString, QStringList> devices = phone->sound_devices();
    QCOMPARE(devices.keys(), QStringList({"capture", "playback"}));
    QVERIFY(!devices.value("capture").isEmpty());
    bool null_sink = false;
    for (const QString& id : devices.value("playback"))
        null_sink = null_sink || (id.startsWith("PulseAudio") && id.contains("Null Output"));
    QVERIFY2(null_sink, qPrintable(devices.value("playback").join(", ")));
}

// A second null sink with a name of its own: once stored as the playback device and applied,
// the call's audio goes there.
void TestMedia::stored_playback_device_is_used()
{
    const QString name = QStringLiteral("velora_test_%1").arg(QCoreApplication::applicationPid());
    const QString description = QStringLiteral("VeloraTest%1").arg(QCoreApplication::applicationPid());
    const QString module = run_pactl({"load-module", "module-null-sink", "sink_name=" + name,
                                      "sink_properties=device.description=" + description})
                               .trimmed();
    QVERIFY2(!module.isEmpty(), "pactl could not add a null sink");
    struct Unload
    {
        QString module;
        ~Unload() { run_pactl({"unload-module", module}); }
    } unload{module};
    const QString index = sink_index(name);
    QVERIFY(!index.isEmpty());

    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    const QString id = QStringLiteral("PulseAudio Unknown: ") + description;
    const QStringList playback = phone->sound_devices().value("playback");
    QVERIFY2(playback.contains(id), qPrintable(playback.join(", ")));
    QVERIFY(!sinks_in_use().contains(index));

    fixture.set_media({{"playback", id}, {"ringback", id}, {"captureGain", "3.5"}});
    phone->apply_media_settings();

    PeerCore peer;
    phone->request_dial(peer.uri("peer"));
    QVERIFY2(fixture.wait_for("status:通話中", 15000), qPrintable(fixture.dump()));
    QVERIFY2(fixture.wait_until([&] { return sinks_in_use().contains(index); }, 10000),
             qPrintable(sinks_in_use().join(", ")));
    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
}

// Two headsets of one model share a description: the lists tell them apart, and the second one,
// once stored, is the one a call plays to.
void TestMedia::devices_of_one_name_are_told_apart()
{
    const QString name = QStringLiteral("velora_twin_%1_").arg(QCoreApplication::applicationPid());
    const QString description = QStringLiteral("VeloraTwin%1").arg(QCoreApplication::applicationPid());
    struct Unload
    {
        QStringList modules;
        ~Unload()
        {
            for (const QString& module : modules)
                run_pactl({"unload-module", module});
        }
    } unload;
    for (const QString& twin : {name + "a", name + "b"}) {
        unload.modules.append(run_pactl({"load-module", "module-null-sink", "sink_name=" + twin,
                                         "sink_properties=device.description=" + description})
                                  .trimmed());
        QVERIFY2(!unload.modules.last().isEmpty(), "pactl could not add a null sink");
    }
    const QString second = sink_index(name + "b");

    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    const QString id = QStringLiteral("PulseAudio Unknown: ") + description;
    const QStringList playback = phone->sound_devices().value("playback");
    QCOMPARE(playback.filter(description), QStringList({id, id + " #2"}));

    fixture.set_media({{"playback", id + " #2"}, {"ringback", id}, {"captureGain", "0"}});
    phone->apply_media_settings();
    PeerCore peer;
    phone->request_dial(peer.uri("peer"));
    QVERIFY2(fixture.wait_for("status:通話中", 15000), qPrintable(fixture.dump()));
    QVERIFY2(fixture.wait_until([&] { return sinks_in_use().contains(second); }, 10000),
             qPrintable(sinks_in_use().join(", ")));
    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
}

// A USB headset pulled out during a call and plugged in again: the call goes on (the sound server
// moves it), the lists follow at once, and the headset plays the next call without a restart.
void TestMedia::headset_that_goes_and_returns()
{
    const QString name = QStringLiteral("velora_headset_%1").arg(QCoreApplication::applicationPid());
    const QString description = QStringLiteral("VeloraHeadset%1").arg(QCoreApplication::applicationPid());
    const QStringList load{"load-module", "module-null-sink", "sink_name=" + name,
                           "sink_properties=device.description=" + description};
    QString module = run_pactl(load).trimmed();
    QVERIFY(!module.isEmpty());
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    const QString id = QStringLiteral("PulseAudio Unknown: ") + description;
    fixture.set_media({{"playback", id}, {"ringback", id}, {"captureGain", "0"}});
    phone->apply_media_settings();
    PeerCore peer;
    phone->request_dial(peer.uri("peer"));
    QVERIFY2(fixture.wait_for("status:通話中", 15000), qPrintable(fixture.dump()));
    const QString first = sink_index(name);
    QVERIFY(fixture.wait_until([&] { return sinks_in_use().contains(first); }, 10000));

    fixture.record_device_changes = true;
    run_pactl({"unload-module", module});
    QVERIFY2(fixture.wait_for("devices_changed"), qPrintable(fixture.dump()));
    QVERIFY(fixture.wait_until([&] { return !phone->sound_devices().value("playback").contains(id); }, 5000));
    fixture.settle(1000);
    QVERIFY(phone->is_current_streaming()); // the call goes on

    module = run_pactl(load).trimmed();
    const QString second = sink_index(name);
    QVERIFY(fixture.wait_until([&] { return phone->sound_devices().value("playback").contains(id); }, 5000));
    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    phone->request_dial(peer.uri("peer"));
    QVERIFY2(fixture.wait_for("status:通話中", 15000, 2), qPrintable(fixture.dump()));
    const bool used_again = fixture.wait_until([&] { return sinks_in_use().contains(second); }, 10000);
    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end", 10000, 2), qPrintable(fixture.dump()));
    run_pactl({"unload-module", module});
    QVERIFY2(used_again, qPrintable(sinks_in_use().join(", ")));
}

// The sound server restarts under a running phone (an update, a crash, a login that starts it
// late): the phone connects to it again and follows the devices of the new server.
void TestMedia::sound_server_that_restarts_is_followed_again()
{
    PrivateSoundServer sound;
    QVERIFY(sound.start());
    sound.point_here();
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    QVERIFY(fixture.wait_until(
        [&] { return phone->sound_devices().value("playback").join(' ').contains("Null Output"); }, 10000));
    // Debian's libraries: every hook proved itself, the sound server's wait among them.
    QVERIFY(read_text_file(ZimLogger::log_path())
                .contains("library hooks in effect: sal_address_as_string, bctbx_recvfrom, "
                          "pulse_card_desc/alsa_card_desc, card names, belle_sip_message_parse_raw, "
                          "bctbx_ssl_set_hostname/bctbx_ssl_handshake, "
                          "ms_ticker_synchronizer_update/ms_flow_controlled_bufferizer"));
    sound.stop();
    QVERIFY(sound.start());
    const QString description = QStringLiteral("VeloraReturned%1").arg(QCoreApplication::applicationPid());
    QVERIFY(!run_pactl({"load-module", "module-null-sink", "sink_name=velora_returned",
                        "sink_properties=device.description=" + description})
                 .isEmpty());
    const QString id = QStringLiteral("PulseAudio Unknown: ") + description;
    QVERIFY2(fixture.wait_until([&] { return phone->sound_devices().value("playback").contains(id); }, 15000),
             qPrintable(phone->sound_devices().value("playback").join(", ")));
}

// The phone starts before the sound server, as at a login that starts it late.
void TestMedia::sound_server_that_starts_late_is_followed()
{
    PrivateSoundServer sound;
    sound.point_here();
    EngineFixture fixture;
    ZimPhone* phone = fixture.start();
    fixture.settle(1000);
    QVERIFY(sound.start());
    QVERIFY2(fixture.wait_until(
                 [&] { return phone->sound_devices().value("playback").join(' ').contains("Null Output"); },
                 15000),
             qPrintable(phone->sound_devices().value("playback").join(", ")));
}

// A desk where nobody saved 設定 yet takes the desk's media defaults too: the library's own echo
// canceller (on) would hold the caller's voice back after any stall of the microphone.
void TestMedia::fresh_desk_calls_without_the_echo_canceller()
{
    EngineFixture fixture;
    fixture.set_other({{"debugModel", "1"}}); // the library's log shows the call's sound filters
    ZimPhone* phone = fixture.start();
    PeerCore peer;
    phone->request_dial(peer.uri("peer"));
    QVERIFY2(fixture.wait_for("status:通話中", 15000), qPrintable(fixture.dump()));
    fixture.settle(1000);
    phone->request_hangup();
    QVERIFY2(fixture.wait_for("dialog_end"), qPrintable(fixture.dump()));
    QVERIFY(fixture.stop());
    QFile log(fixture.app_dir() + zim::CORE_LOG_FILE);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    QVERIFY2(text.contains("FILTER USAGE STATISTICS"), "the call left no filter statistics");
    // Each stream lists its filters with the times they ran; the canceller, if there, ran.
    const QRegularExpression canceller(QStringLiteral("MSSpeexEC +[1-9]"));
    QVERIFY(!canceller.match(QString::fromUtf8(text)).hasMatch());
}

QTEST_GUILESS_MAIN(TestMedia)
#include "tst_media.moc"
