// The sound of a call, measured: tone bursts played into each side's microphone (a null sink
// whose monitor is the microphone) and found again in the other side's speaker (another null
// sink, recorded). The peer is a liblinphone core in its own process on null sinks of its own.

#include "enginefixture.h"
#include "support/peercore.h"
#include "support/soundport.h"

#include <QDateTime>
#include <QtTest>

namespace {

const double LEVEL = -15; // dBFS of the bursts played

qint64 now_ms()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

class TestAudio : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void calls_carry_bursts_both_ways_promptly_and_without_echo();
    void caller_is_heard_promptly_again_within_a_second_of_a_microphone_stall();
    void gain_raises_the_level_by_its_decibels();
    void hold_sends_no_microphone_sound();
    void mute_silences_the_microphone_until_unmuted_or_the_call_ends();

private:
    void start_call();
    // The phone on its own speaker and microphone, with this gain.
    void set_phone_media(const QString& gain)
    {
        fixture->set_media({{"playback", phone_speaker->device()},
                            {"ringback", phone_speaker->device()},
                            {"capture", phone_mic->device()},
                            {"captureGain", gain}});
    }

    std::unique_ptr<EngineFixture> fixture;
    std::unique_ptr<PeerCore> peer;
    std::unique_ptr<SoundPort> phone_mic, phone_speaker, peer_mic, peer_speaker;
};

void TestAudio::init()
{
    fixture = std::make_unique<EngineFixture>(); // names the sound server for both processes
    const QString prefix = QStringLiteral("velora_%1_").arg(QCoreApplication::applicationPid());
    phone_mic = std::make_unique<SoundPort>(prefix + QStringLiteral("phone_mic"), SoundPort::Microphone);
    phone_speaker = std::make_unique<SoundPort>(prefix + QStringLiteral("phone_speaker"), SoundPort::Speaker);
    peer_mic = std::make_unique<SoundPort>(prefix + QStringLiteral("peer_mic"), SoundPort::Microphone);
    peer_speaker = std::make_unique<SoundPort>(prefix + QStringLiteral("peer_speaker"), SoundPort::Speaker);
    for (SoundPort* port : {phone_mic.get(), phone_speaker.get(), peer_mic.get(), peer_speaker.get()})
        QVERIFY2(port->loaded(), "pactl could not add a null sink");
    for (SoundPort* port : {phone_mic.get(), phone_speaker.get(), peer_mic.get(), peer_speaker.get()})
        QVERIFY2(port->start_recording(), qPrintable(port->device()));
    set_phone_media("0");
    peer = std::make_unique<PeerCore>(peer_speaker->device(), peer_mic->device());
}

void TestAudio::cleanup()
{
    peer.reset();
    fixture.reset();
    phone_mic.reset();
    phone_speaker.reset();
    peer_mic.reset();
    peer_speaker.reset();
}

void TestAudio::start_call()
{
    if (!fixture->phone())
        fixture->start();
    fixture->phone()->request_dial(peer->uri("peer"));
    QVERIFY2(fixture->wait_until([&] { return fixture->phone()->is_current_streaming(); }, 15000),
             qPrintable(fixture->dump()));
    fixture->settle(1000); // both sides' devices open and their streams settle
}

// Both ways at the level played, the caller's voice within 1 s of being spoken (a backlog in the
// receive path once held it 1.5 s), and none of the caller's own voice sent back to them.
void TestAudio::calls_carry_bursts_both_ways_promptly_and_without_echo()
{
    for (int call = 1; call <= 3; ++call) {
        start_call();
        const SoundPort::Heard incoming = peer_mic->burst_to(*phone_speaker, 1000, LEVEL);
        qInfo("call %d: peer to phone %lld ms at %.1f dBFS", call, incoming.delay_ms, incoming.level);
        QVERIFY2(incoming.delay_ms >= 0, "the peer's burst never reached the phone's speaker");
        QVERIFY2(incoming.delay_ms < 1000, qPrintable(QString::number(incoming.delay_ms)));
        QVERIFY2(qAbs(incoming.level - LEVEL) <= 3, qPrintable(QString::number(incoming.level)));

        const SoundPort::Heard outgoing = phone_mic->burst_to(*peer_speaker, 1000, LEVEL);
        qInfo("call %d: phone to peer %lld ms at %.1f dBFS", call, outgoing.delay_ms, outgoing.level);
        QVERIFY2(outgoing.delay_ms >= 0 && outgoing.delay_ms < 1000,
                 qPrintable(QString::number(outgoing.delay_ms)));
        QVERIFY2(qAbs(outgoing.level - LEVEL) <= 3, qPrintable(QString::number(outgoing.level)));

        // The phone's microphone stays silent: whatever of the peer's 440 Hz comes back is echo.
        const int from = peer_speaker->index_at(now_ms());
        peer_mic->play(tone::burst(440, LEVEL, tone::BURST_MS));
        fixture->settle(1500);
        const double echo =
            tone::loudest_db(peer_speaker->samples(), from, peer_speaker->samples().size(), 440);
        qInfo("call %d: echo at %.1f dBFS", call, echo);
        QVERIFY2(echo <= LEVEL - 55, qPrintable(QString::number(echo)));

        fixture->phone()->request_hangup();
        QVERIFY2(fixture->wait_for("dialog_end", 10000, call), qPrintable(fixture->dump()));
        QVERIFY(fixture->wait_until([&] { return peer->active_calls() == 0; }, 10000));
    }
}

// A microphone that stops for 1.5 s (a headset reconnecting) leaves the caller's voice no later
// than before once it is back: the engine once took the missing samples for a slow sound card,
// slowed the call's clock by as much and played the caller 1.3 s late for 20 s after. Three
// bursts each side of the stall; the quickest counts, the delay the path holds, which a busy
// machine's passing hiccups only add to (a backlog delays every burst).
void TestAudio::caller_is_heard_promptly_again_within_a_second_of_a_microphone_stall()
{
    const auto quickest_of_three = [&] {
        SoundPort::Heard quickest;
        for (int burst = 0; burst < 3; ++burst) {
            const SoundPort::Heard heard = peer_mic->burst_to(*phone_speaker, 1000, LEVEL);
            if (heard.delay_ms >= 0 && (quickest.delay_ms < 0 || heard.delay_ms < quickest.delay_ms))
                quickest = heard;
            fixture->settle(500); // a burst spread by a busy machine has ended before the next
        }
        return quickest;
    };
    start_call();
    const SoundPort::Heard before = quickest_of_three();
    QVERIFY2(before.delay_ms >= 0, "the peer's bursts never reached the phone's speaker");

    QVERIFY(phone_mic->suspend(true));
    fixture->settle(1500);
    QVERIFY(phone_mic->suspend(false));
    fixture->settle(1000);
    const SoundPort::Heard after = quickest_of_three();
    qInfo("peer to phone %lld ms before the stall, %lld ms at %.1f dBFS after", before.delay_ms,
          after.delay_ms, after.level);
    QVERIFY2(after.delay_ms >= 0 && after.delay_ms <= before.delay_ms * 3 / 2,
             qPrintable(QString::number(after.delay_ms)));
    QVERIFY2(qAbs(after.level - LEVEL) <= 3, qPrintable(QString::number(after.level)));
    // The microphone carries the operator's voice again.
    QVERIFY(phone_mic->start_recording());
    QVERIFY(phone_mic->burst_to(*peer_speaker, 1000, LEVEL).delay_ms >= 0);
}

// The stored gain is real decibels, applied during the call; a stored value past the slider's
// top is held at 10 dB.
void TestAudio::gain_raises_the_level_by_its_decibels()
{
    start_call();
    const double quiet = -30;
    double base = 0;
    for (const auto& [gain, raise] : {std::pair{"0", 0}, {"5", 5}, {"10", 10}, {"100", 10}}) {
        set_phone_media(gain);
        fixture->phone()->apply_media_settings();
        fixture->settle(300);
        const int from = peer_speaker->index_at(now_ms());
        const SoundPort::Heard heard = phone_mic->burst_to(*peer_speaker, 1000, quiet);
        qInfo("gain %s: %.1f dBFS", gain, heard.level);
        QVERIFY2(heard.delay_ms >= 0, gain);
        if (raise == 0)
            base = heard.level;
        QVERIFY2(qAbs(heard.level - base - raise) <= 1.5, qPrintable(QString::number(heard.level - base)));
        QVERIFY(tone::peak(peer_speaker->samples(), from, peer_speaker->samples().size()) < 32767);
    }
}

// A held call carries nothing of the operator's microphone; after the resume it does again.
void TestAudio::hold_sends_no_microphone_sound()
{
    start_call();
    ZimPhone* phone = fixture->phone();
    phone->request_hold_toggle();
    QVERIFY2(fixture->wait_until([&] { return phone->is_current_paused(); }, 10000),
             qPrintable(fixture->dump()));
    fixture->settle(500);
    const int from = peer_speaker->index_at(now_ms());
    phone_mic->play(tone::burst(1000, LEVEL, tone::BURST_MS));
    fixture->settle(1500);
    const double held = tone::loudest_db(peer_speaker->samples(), from, peer_speaker->samples().size(), 1000);
    QVERIFY2(held < tone::HEARD - 20, qPrintable(QString::number(held)));

    phone->request_hold_toggle();
    QVERIFY2(fixture->wait_until([&] { return phone->is_current_streaming(); }, 10000),
             qPrintable(fixture->dump()));
    fixture->settle(500);
    QVERIFY(phone_mic->burst_to(*peer_speaker, 1000, LEVEL).delay_ms >= 0);
}

void TestAudio::mute_silences_the_microphone_until_unmuted_or_the_call_ends()
{
    start_call();
    ZimPhone* phone = fixture->phone();
    phone->request_mute(true);
    QVERIFY2(fixture->wait_for("status:ミュート中"), qPrintable(fixture->dump()));
    const int from = peer_speaker->index_at(now_ms());
    phone_mic->play(tone::burst(1000, LEVEL, tone::BURST_MS));
    fixture->settle(1500);
    const double muted =
        tone::loudest_db(peer_speaker->samples(), from, peer_speaker->samples().size(), 1000);
    QVERIFY2(muted < tone::HEARD - 20, qPrintable(QString::number(muted)));
    QVERIFY(phone->is_current_streaming()); // the call goes on

    phone->request_mute(false);
    QVERIFY2(fixture->wait_for("status:通話中"), qPrintable(fixture->dump()));
    QVERIFY(phone_mic->burst_to(*peer_speaker, 1000, LEVEL).delay_ms >= 0);

    phone->request_mute(true);
    QVERIFY2(fixture->wait_for("status:ミュート中", 10000, 2), qPrintable(fixture->dump()));
    phone->request_hangup();
    QVERIFY2(fixture->wait_for("dialog_end"), qPrintable(fixture->dump()));
    QVERIFY(!phone->is_muted()); // the next call starts with the microphone on
}

QTEST_GUILESS_MAIN(TestAudio)
#include "tst_audio.moc"
