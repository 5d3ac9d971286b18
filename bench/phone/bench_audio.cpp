// How late the caller's voice reaches the operator's ear: a 200 ms burst played into the peer's
// microphone, found in the phone's speaker (PulseAudio null sinks on the test's sound server), once
// a call has run for a second. Median of five calls for this engine and for Debian's linphonec in
// the phone's place, on the same devices and the same peer; printed as a ratio (target <= 1.0).
// Run: bench_audio_delay [calls]

#include "enginefixture.h"
#include "phone/zimcorelog.h"
#include "support/peercore.h"
#include "support/soundport.h"

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

struct Devices
{
    SoundPort phone_mic{QStringLiteral("bench_phone_mic"), SoundPort::Microphone};
    SoundPort phone_speaker{QStringLiteral("bench_phone_speaker"), SoundPort::Speaker};
    SoundPort peer_mic{QStringLiteral("bench_peer_mic"), SoundPort::Microphone};
    SoundPort peer_speaker{QStringLiteral("bench_peer_speaker"), SoundPort::Speaker};
    bool ready()
    {
        return phone_mic.loaded() && phone_speaker.loaded() && peer_mic.loaded() && peer_speaker.loaded() &&
               phone_speaker.start_recording() && peer_mic.start_recording();
    }
};

double median(QList<double> values)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One call's peer -> phone delay, once `connected` holds; -1 when the burst never arrived.
template <typename Connected>
double measure_call(EngineFixture& events, Devices& devices, Connected connected)
{
    if (!events.wait_until(connected, 15000))
        return -1;
    events.settle(1000);
    return double(devices.peer_mic.burst_to(devices.phone_speaker, 1000, -15).delay_ms);
}

QList<double> measure_engine(Devices& devices, PeerCore& peer, int calls)
{
    QList<double> result;
    EngineFixture fixture;
    fixture.set_media({{"playback", devices.phone_speaker.device()},
                       {"ringback", devices.phone_speaker.device()},
                       {"capture", devices.phone_mic.device()}});
    ZimPhone* phone = fixture.start();
    for (int call = 0; call < calls; ++call) {
        phone->request_dial(peer.uri(QStringLiteral("bench")));
        result.append(measure_call(fixture, devices, [&] { return phone->is_current_streaming(); }));
        phone->request_hangup();
        fixture.wait_until([&] { return peer.active_calls() == 0 && phone->is_idle(); }, 10000);
        fixture.settle(500);
    }
    return result;
}

QList<double> measure_linphonec(Devices& devices, PeerCore& peer, int calls)
{
    QList<double> result;
    EngineFixture events; // only its waits, and the HOME it gives the library
    QTemporaryDir home;
    QDir(home.path()).mkpath(QStringLiteral(".local/share/linphone"));
    const QString config = home.filePath(QStringLiteral("linphonerc"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return result;
    QTextStream(&file) << "[sip]\nsip_port=-1\nsip_tcp_port=0\nsip_tls_port=0\n\n"
                       << "[rtp]\naudio_rtp_port=-1\nvideo_rtp_port=-1\n\n"
                       << "[sound]\nplayback_dev_id=" << devices.phone_speaker.device()
                       << "\nringer_dev_id=" << devices.phone_speaker.device()
                       << "\ncapture_dev_id=" << devices.phone_mic.device() << "\n";
    file.close();
    QProcess linphonec;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    linphonec.setProcessEnvironment(environment);
    linphonec.setStandardOutputFile(home.filePath(QStringLiteral("out.log")));
    linphonec.start(QStringLiteral("linphonec"), {QStringLiteral("-c"), config});
    if (!linphonec.waitForStarted(5000))
        return result;
    events.settle(2000);
    for (int call = 0; call < calls; ++call) {
        const int before = peer.calls_received;
        linphonec.write(("call " + peer.uri(QStringLiteral("bench")) + "\n").toUtf8());
        // The peer answers at once; its media is up a moment later, as the engine's is.
        result.append(measure_call(events, devices,
                                   [&] { return peer.calls_received > before && peer.active_calls() == 1; }));
        linphonec.write("terminate\n");
        events.wait_until([&] { return peer.active_calls() == 0; }, 10000);
        events.settle(500);
    }
    linphonec.write("quit\n");
    if (!linphonec.waitForFinished(5000)) {
        linphonec.kill();
        linphonec.waitForFinished(5000);
    }
    return result;
}

QString join(const QList<double>& values)
{
    QStringList parts;
    for (double value : values)
        parts.append(QString::number(value, 'f', 0));
    return parts.join(QStringLiteral(", "));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    ZimCoreLog::start(QDir::temp().filePath(QStringLiteral("bench_audio_delay-linphone.log")));
    const int calls = argc > 1 ? std::max(1, atoi(argv[1])) : 5;

    EngineFixture sound_server; // names the sound server for every process started below
    Devices devices;
    if (!devices.ready()) {
        std::printf("audio delay: the sound server's null sinks could not be set up\n");
        return 1;
    }
    PeerCore peer(devices.peer_speaker.device(), devices.peer_mic.device());
    const QList<double> ours = measure_engine(devices, peer, calls);
    const QList<double> theirs = measure_linphonec(devices, peer, calls);
    const double ratio = median(theirs) > 0 ? median(ours) / median(theirs) : -1;
    std::printf("peer -> phone delay, median of %d calls: this engine %.0f ms (%s), linphonec %.0f ms (%s)\n",
                calls, median(ours), qPrintable(join(ours)), median(theirs), qPrintable(join(theirs)));
    std::printf("ratio %.2f (target <= 1.0)\n", ratio);
    return 0;
}
