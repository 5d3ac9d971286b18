// Key tones, end-of-call cues and hold music played for real on the PulseAudio null sink: what
// reaches the sink is recorded from its monitor, and the player's own outputs are watched.

#include "data/zimdata.h"
#include "data/zimlogger.h"
#include "support/testdir.h"
#include "ui/main/audiocueplayer.h"

#include <QAudioDeviceInfo>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtEndian>
#include <QtMath>
#include <QtTest>

#include <cstring>
#include <memory>

namespace {

QString sound(const QString& name)
{
    return QStringLiteral(VELORA_SOURCE_ROOT "/share/sounds/") + name;
}

template <typename Predicate> bool wait_until(Predicate predicate, int timeout_ms)
{
    QDeadlineTimer deadline(timeout_ms);
    while (!predicate()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

void settle(int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(1000);
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The playback streams this process has open on the sound server.
int own_sink_inputs()
{
    const QString listing =
        run(QStringLiteral("pactl"), {QStringLiteral("list"), QStringLiteral("sink-inputs")});
    return listing.count(
        QStringLiteral("application.process.id = \"%1\"").arg(QCoreApplication::applicationPid()));
}

// A WAV file written by the test: a 440 Hz tone in the given layout.
void write_wav(const QString& path, int rate, int channels, int bits, int milliseconds, quint16 tag = 1)
{
    QByteArray samples;
    const int frames = rate * milliseconds / 1000;
    for (int i = 0; i < frames; ++i) {
        const double value = 0.5 * qSin(2 * M_PI * 440 * i / rate);
        for (int c = 0; c < channels; ++c) {
            if (bits == 8) {
                samples.append(char(quint8(128 + value * 127)));
            } else if (bits == 16) {
                char bytes[2];
                qToLittleEndian<qint16>(qint16(value * 32767), bytes);
                samples.append(bytes, 2);
            } else {
                const float sample = float(value);
                quint32 raw;
                memcpy(&raw, &sample, 4);
                char bytes[4];
                qToLittleEndian<quint32>(raw, bytes);
                samples.append(bytes, 4);
            }
        }
    }
    QByteArray header;
    QDataStream out(&header, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint16 block = quint16(channels * bits / 8);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + samples.size());
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << tag << quint16(channels) << quint32(rate) << quint32(rate * block) << block
        << quint16(bits);
    out.writeRawData("data", 4);
    out << quint32(samples.size());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(header + samples);
}

void write_file(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Records the null sink's monitor while it lives; ended by its PID.
class MonitorRecorder
{
public:
    MonitorRecorder()
    {
        process.start(QStringLiteral("parec"),
                      {QStringLiteral("-d"), QStringLiteral("nullsink.monitor"), QStringLiteral("--raw"),
                       QStringLiteral("--format=s16le"), QStringLiteral("--channels=1"),
                       QStringLiteral("--rate=8000"), QStringLiteral("--latency-msec=20")});
        started = process.waitForStarted(5000);
        // Give the recording stream time to connect before anything is played.
        if (started)
            wait_until([this] { return process.bytesAvailable() > 0; }, 3000);
    }
    ~MonitorRecorder() { stop(); }
    // Ends the recording and returns the loudest sample's magnitude.
    int stop()
    {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            if (!process.waitForFinished(3000)) {
                process.kill();
                process.waitForFinished(1000);
            }
        }
        const QByteArray data = process.readAllStandardOutput();
        int peak = 0;
        for (int i = 0; i + 1 < data.size(); i += 2)
            peak = qMax(peak, qAbs(int(qFromLittleEndian<qint16>(data.constData() + i))));
        return peak;
    }
    bool started = false;

private:
    QProcess process;
};

} // namespace

class TestAudioCuePlayer : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void initTestCase();
    void key_tone_and_hangup_cue_reach_the_speaker();
    void cue_plays_in_the_files_own_format();
    void unplayable_files_log_one_line_and_stay_silent_data();
    void unplayable_files_log_one_line_and_stay_silent();
    void every_key_press_is_heard();
    void hold_music_starts_once_and_loops();
    void hold_music_stops_at_once_and_stays_stopped();
    void hold_music_slot_plays_the_hold_file();
    void device_rule_data();
    void device_rule();
    void playback_setting_without_a_match_uses_the_default_output_data();
    void playback_setting_without_a_match_uses_the_default_output();

private:
    int log_lines() const
    {
        return read_text_file(ZimLogger::log_path()).split(QLatin1Char('\n'), Qt::SkipEmptyParts).size();
    }

    std::unique_ptr<TestAppDir> dir;
    std::unique_ptr<ZimLogger> logger;
    std::unique_ptr<ZimData> data;
    std::unique_ptr<AudioCuePlayer> player;
};

void TestAudioCuePlayer::initTestCase()
{
    QVERIFY2(!run(QStringLiteral("pactl"), {QStringLiteral("info")}).isEmpty(),
             "no PulseAudio server answers; start one with the null sink 'nullsink'");
    QVERIFY2(!QAudioDeviceInfo::defaultOutputDevice().isNull(), "Qt sees no audio output");
}

void TestAudioCuePlayer::init()
{
    dir = std::make_unique<TestAppDir>();
    dir->make_log_dir();
    logger = std::make_unique<ZimLogger>();
    data = std::make_unique<ZimData>(nullptr, logger.get());
    player = std::make_unique<AudioCuePlayer>(nullptr, logger.get(), data.get());
}

void TestAudioCuePlayer::cleanup()
{
    player.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    data.reset();
    logger.reset();
    dir.reset();
}

void TestAudioCuePlayer::key_tone_and_hangup_cue_reach_the_speaker()
{
    for (const QString& name : {QStringLiteral("dtmf-5.wav"), QStringLiteral("hangup.wav")}) {
        const int lines = log_lines();
        MonitorRecorder monitor;
        QVERIFY(monitor.started);
        player->play_audio(sound(name));
        QVERIFY2(wait_until([this] { return player->cue_starts() > 0; }, 5000), qPrintable(name));
        QVERIFY(player->is_cue_playing());
        // The cue ends by itself once the file has been played.
        QVERIFY2(wait_until([this] { return !player->is_cue_playing(); }, 5000), qPrintable(name));
        settle(300);
        QVERIFY2(monitor.stop() > 1000, qPrintable(name + QStringLiteral(": the sink stayed silent")));
        QCOMPARE(log_lines(), lines);
        QCOMPARE(player->current_device_name(), QAudioDeviceInfo::defaultOutputDevice().deviceName());
        player.reset(new AudioCuePlayer(nullptr, logger.get(), data.get()));
    }
}

void TestAudioCuePlayer::cue_plays_in_the_files_own_format()
{
    const QString file = dir->path() + QStringLiteral("/stereo8.wav");
    write_wav(file, 22050, 2, 8, 300);
    player->play_audio(file);
    QVERIFY(wait_until([this] { return player->cue_starts() == 1; }, 5000));
    const QAudioFormat format = player->cue_format();
    QCOMPARE(format.sampleRate(), 22050);
    QCOMPARE(format.channelCount(), 2);
    QCOMPARE(format.sampleSize(), 8);
    QCOMPARE(format.sampleType(), QAudioFormat::UnSignedInt);
    QVERIFY(wait_until([this] { return !player->is_cue_playing(); }, 5000));

    player->play_audio(sound(QStringLiteral("dtmf-1.wav")));
    QVERIFY(wait_until([this] { return player->cue_starts() == 2; }, 5000));
    QCOMPARE(player->cue_format().sampleRate(), 8000);
    QCOMPARE(player->cue_format().channelCount(), 1);
    QCOMPARE(player->cue_format().sampleSize(), 16);
    QCOMPARE(player->cue_format().sampleType(), QAudioFormat::SignedInt);
}

void TestAudioCuePlayer::unplayable_files_log_one_line_and_stay_silent_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing") << QStringLiteral("missing.wav") << QStringLiteral("Sound file not found: ");
    QTest::newRow("text") << QStringLiteral("text.wav") << QStringLiteral("Not a PCM WAV file: ");
    QTest::newRow("float samples") << QStringLiteral("float.wav") << QStringLiteral("Not a PCM WAV file: ");
    QTest::newRow("cut header") << QStringLiteral("cut.wav") << QStringLiteral("Not a PCM WAV file: ");
    QTest::newRow("no samples") << QStringLiteral("empty.wav") << QStringLiteral("No sound data in: ");
}

void TestAudioCuePlayer::unplayable_files_log_one_line_and_stay_silent()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    write_file(dir->path() + QStringLiteral("/text.wav"), "This is no sound at all, just some text.\n");
    write_wav(dir->path() + QStringLiteral("/float.wav"), 8000, 1, 32, 300, 3);
    QFile hangup(sound(QStringLiteral("hangup.wav")));
    QVERIFY(hangup.open(QIODevice::ReadOnly));
    write_file(dir->path() + QStringLiteral("/cut.wav"), hangup.read(30));
    write_wav(dir->path() + QStringLiteral("/empty.wav"), 8000, 1, 16, 0);
    const QString file = dir->path() + QLatin1Char('/') + name;

    // As a cue and as hold music: one log line each, nothing played, nothing left behind.
    const int lines = log_lines();
    player->play_audio(file);
    QVERIFY(!player->is_cue_playing());
    QCOMPARE(log_lines(), lines + 1);
    player->play_music(file);
    QVERIFY(!player->is_music_playing());
    QCOMPARE(log_lines(), lines + 2);
    settle(300);
    QCOMPARE(player->cue_starts(), 0);
    QCOMPARE(player->music_starts(), 0);
    QCOMPARE(own_sink_inputs(), 0);
    const QStringList log =
        read_text_file(ZimLogger::log_path()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(log.last().endsWith(expected + file), qPrintable(log.last()));

    // A good cue afterwards still plays.
    player->play_audio(sound(QStringLiteral("dtmf-0.wav")));
    QVERIFY(wait_until([this] { return player->cue_starts() == 1; }, 5000));
}

void TestAudioCuePlayer::every_key_press_is_heard()
{
    // A key pressed while the previous tone plays cuts in; each one starts.
    player->play_audio(sound(QStringLiteral("dtmf-1.wav")));
    player->play_audio(sound(QStringLiteral("dtmf-2.wav")));
    QVERIFY(wait_until([this] { return player->cue_starts() == 2; }, 5000));
    QCOMPARE(player->cue_file(), sound(QStringLiteral("dtmf-2.wav")));
    QVERIFY(player->is_cue_playing());

    player->play_audio(sound(QStringLiteral("dtmf-3.wav")));
    settle(50);
    player->play_audio(sound(QStringLiteral("dtmf-4.wav")));
    settle(50);
    player->play_audio(sound(QStringLiteral("hangup.wav")));
    QVERIFY(wait_until([this] { return player->cue_starts() == 5; }, 5000));
    QVERIFY(wait_until([this] { return !player->is_cue_playing(); }, 5000));
    settle(300);
    QCOMPARE(player->cue_starts(), 5);
    QCOMPARE(own_sink_inputs(), 0);
}

void TestAudioCuePlayer::hold_music_starts_once_and_loops()
{
    const QString file = dir->path() + QStringLiteral("/loop.wav");
    write_wav(file, 8000, 1, 16, 300);
    player->play_music(file);
    QVERIFY(wait_until([this] { return player->music_starts() == 1; }, 5000));
    QVERIFY(player->is_music_playing());
    QCOMPARE(own_sink_inputs(), 1);

    // Starting again while it plays changes nothing: still one stream.
    player->play_music(file);
    player->play_music(sound(QStringLiteral("hold.wav")));
    QCOMPARE(player->music_file(), file);
    QCOMPARE(own_sink_inputs(), 1);

    // Past the end of the file it starts over, again and again, on the same stream.
    QVERIFY2(wait_until([this] { return player->music_loops() >= 3; }, 10000),
             qPrintable(QString::number(player->music_loops())));
    QVERIFY(player->is_music_playing());
    QCOMPARE(player->music_starts(), 1);
    QCOMPARE(own_sink_inputs(), 1);
    player->slot_stop_hold_music();
}

void TestAudioCuePlayer::hold_music_stops_at_once_and_stays_stopped()
{
    const QString file = dir->path() + QStringLiteral("/loop.wav");
    write_wav(file, 8000, 1, 16, 300);
    player->play_music(file);
    QVERIFY(wait_until([this] { return player->music_loops() >= 1; }, 5000));
    settle(100); // in the middle of the file

    player->slot_stop_hold_music();
    QVERIFY(!player->is_music_playing());
    QCOMPARE(own_sink_inputs(), 0);
    settle(1000); // more than three lengths of the file
    QVERIFY(!player->is_music_playing());
    QCOMPARE(player->music_starts(), 1);
    QCOMPARE(own_sink_inputs(), 0);

    // Stopping twice is harmless, and the music can be started again afterwards.
    player->slot_stop_hold_music();
    player->play_music(file);
    QVERIFY(wait_until([this] { return player->music_starts() == 2; }, 5000));
    QVERIFY(player->is_music_playing());
    QCOMPARE(player->music_loops(), 0);
    player->slot_stop_hold_music();
}

void TestAudioCuePlayer::hold_music_slot_plays_the_hold_file()
{
    // The program runs in its own directory, where the sounds lie below share/.
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(QStringLiteral(VELORA_SOURCE_ROOT)));
    const int lines = log_lines();
    player->slot_play_hold_music();
    QVERIFY(wait_until([this] { return player->music_starts() == 1; }, 5000));
    QCOMPARE(player->music_file(), QStringLiteral("./share/sounds/hold.wav"));
    MonitorRecorder monitor;
    QVERIFY(monitor.started);
    settle(400);
    QVERIFY2(monitor.stop() > 1000, "the sink stayed silent");
    // A cue plays over the music without stopping it.
    player->slot_play_terminated_audio(QStringLiteral("./share/sounds/hangup.wav"));
    QVERIFY(wait_until([this] { return player->cue_starts() == 1; }, 5000));
    QVERIFY(player->is_music_playing());
    player->slot_stop_hold_music();
    QVERIFY(!player->is_music_playing());
    QCOMPARE(log_lines(), lines);
    QDir::setCurrent(previous);
}

void TestAudioCuePlayer::device_rule_data()
{
    QTest::addColumn<QString>("playback");
    QTest::addColumn<QStringList>("devices");
    QTest::addColumn<int>("chosen");
    const QStringList windows = {QStringLiteral("Speakers (Realtek High Definition Audio)"),
                                 QStringLiteral("Headset Earphone (USB Audio Device)"),
                                 QStringLiteral("Digital Output (Realtek High Definition Audio)")};
    QTest::newRow("same name") << QStringLiteral("Headset Earphone (USB Audio Device)") << windows << 1;
    QTest::newRow("prefix and case differ")
        << QStringLiteral("MME: Kopfhörer (usb AUDIO device)") << windows << 1;
    QTest::newRow("last match wins") << QStringLiteral(
                                            "DirectSound: Speakers (Realtek High Definition Audio)")
                                     << windows << 2;
    QTest::newRow("unclosed part") << QStringLiteral("WASAPI: Headset (USB Audio") << windows << 1;
    QTest::newRow("parentheses are part of it") << QStringLiteral("X (Realtek)") << windows << -1;
    QTest::newRow("no match") << QStringLiteral("Speakers (Bluetooth)") << windows << -1;
    QTest::newRow("no parenthesised part") << QStringLiteral("PulseAudio: nullsink") << windows << -1;
    QTest::newRow("empty") << QString() << windows << -1;
    QTest::newRow("no devices") << QStringLiteral("Speakers (Realtek High Definition Audio)") << QStringList()
                                << -1;
}

void TestAudioCuePlayer::device_rule()
{
    QFETCH(QString, playback);
    QFETCH(QStringList, devices);
    QFETCH(int, chosen);
    QCOMPARE(AudioCuePlayer::match_device(playback, devices), chosen);
}

void TestAudioCuePlayer::playback_setting_without_a_match_uses_the_default_output_data()
{
    QTest::addColumn<QString>("playback");
    QTest::newRow("unset") << QString();
    QTest::newRow("no parenthesised part") << QStringLiteral("PulseAudio: nullsink");
    QTest::newRow("no such device") << QStringLiteral("Speakers (No Such Device 4711)");
}

void TestAudioCuePlayer::playback_setting_without_a_match_uses_the_default_output()
{
    QFETCH(QString, playback);
    if (!playback.isEmpty())
        QVERIFY(data->save_media_settings({{QStringLiteral("playback"), playback}}));
    const QString expected = QAudioDeviceInfo::defaultOutputDevice().deviceName();
    player->play_audio(sound(QStringLiteral("dtmf-9.wav")));
    QVERIFY(wait_until([this] { return player->cue_starts() == 1; }, 5000));
    QCOMPARE(player->current_device_name(), expected);
    const QString file = dir->path() + QStringLiteral("/loop.wav");
    write_wav(file, 8000, 1, 16, 300);
    player->play_music(file);
    QVERIFY(wait_until([this] { return player->music_starts() == 1; }, 5000));
    QCOMPARE(player->current_device_name(), expected);
    player->slot_stop_hold_music();
}

QTEST_MAIN(TestAudioCuePlayer)
#include "test_audiocueplayer.moc"
