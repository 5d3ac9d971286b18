// Recorded calls: the file holds both voices for the call's length, is private, plays back, and a
// folder that cannot take it never harms the call.

#include "data/recordingfiles.h"
#include "enginefixture.h"
#include "support/sipprunner.h"
#include "support/soundport.h"
#include "support/tonepcap.h"
#include "support/wavfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString engine_address(ZimPhone* phone)
{
    return QStringLiteral("127.0.0.1:%1").arg(phone->local_sip_port());
}

int mode_of(const QString& path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
}

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void every_answered_call_is_recorded_whole_private_and_plays_back();
    void recording_on_demand_starts_and_stops_and_an_unrecorded_call_leaves_no_file();
    void folder_that_cannot_take_the_file_leaves_the_call_alone();
    void hold_and_resume_keep_what_was_recorded_before();

private:
    // A caller playing 400 Hz (sipp, PCMU) for `seconds`, answered by the phone, whose microphone
    // plays 1000 Hz bursts meanwhile; returns once the call has ended.
    void take_call_from_tone_caller(int seconds, const std::function<void()>& while_talking = {});

    std::unique_ptr<EngineFixture> fixture;
    std::unique_ptr<SoundPort> mic, speaker;
};

void TestRecording::init()
{
    fixture = std::make_unique<EngineFixture>();
    const QString prefix = QStringLiteral("velora_rec_%1_").arg(QCoreApplication::applicationPid());
    mic = std::make_unique<SoundPort>(prefix + QStringLiteral("mic"), SoundPort::Microphone);
    speaker = std::make_unique<SoundPort>(prefix + QStringLiteral("speaker"), SoundPort::Speaker);
    QVERIFY2(mic->loaded() && speaker->loaded(), "pactl could not add a null sink");
    QVERIFY(speaker->start_recording());
    fixture->set_media({{"playback", speaker->device()},
                        {"ringback", speaker->device()},
                        {"capture", mic->device()},
                        {"captureGain", "0"}});
}

void TestRecording::cleanup()
{
    fixture.reset();
    mic.reset();
    speaker.reset();
}

void TestRecording::take_call_from_tone_caller(int seconds, const std::function<void()>& while_talking)
{
    ZimPhone* phone = fixture->phone() ? fixture->phone() : fixture->start();
    SippRunner caller(QStringLiteral("uac_call_plays_tone.xml"), engine_address(phone));
    QVERIFY(write_tone_pcap(caller.work_dir() + QStringLiteral("/tone.pcap"), seconds + 2));
    caller.add_arguments({"-s", "1001", "-d", QString::number(seconds * 1000)});
    const int rings = fixture->count("status:着信中");
    QVERIFY(caller.start());
    QVERIFY2(fixture->wait_for("status:着信中", 10000, rings + 1), qPrintable(fixture->dump()));
    const int ended = fixture->count("dialog_end");
    phone->request_answer();
    QVERIFY2(fixture->wait_until([&] { return phone->is_current_streaming(); }), qPrintable(fixture->dump()));
    for (int burst = 0; burst < seconds * 2; ++burst) {
        mic->play(tone::burst(1000, -15, tone::BURST_MS));
        fixture->settle(500);
        if (burst == 2 && while_talking)
            while_talking();
    }
    QVERIFY2(fixture->wait_for("dialog_end", 20000, ended + 1), qPrintable(fixture->dump()));
    QVERIFY(caller.wait_finished(10000));
}

// Both voices at their levels for the call's length, in a file and folder only the user can open;
// played back, the caller is heard again in the chosen speaker.
void TestRecording::every_answered_call_is_recorded_whole_private_and_plays_back()
{
    fixture->set_other({{"recordCalls", "1"}});
    take_call_from_tone_caller(5);
    QVERIFY2(fixture->events.contains("status:録音中"), qPrintable(fixture->dump()));
    const QString path = fixture->reports.value(0).recording;
    QVERIFY2(QFileInfo::exists(path), qPrintable(path));
    QCOMPARE(QFileInfo(path).absolutePath(),
             QFileInfo(fixture->app_dir() + "/data/recordings").absoluteFilePath());
    QVERIFY2(QFileInfo(path).fileName().endsWith("_201.wav"), qPrintable(path));
    QCOMPARE(mode_of(path), 0600);
    QCOMPARE(mode_of(QFileInfo(path).absolutePath()), 0700);

    const WavFile wav = read_wav(path);
    QVERIFY2(wav.sizes_right, "the header's sizes do not match the file");
    const double seconds = wav.seconds();
    const double caller = wav.loudest_in_second_half(400), operator_voice = wav.loudest_in_second_half(1000);
    qInfo("%d Hz, %d channel(s), %.1f s; caller %.1f dBFS, operator %.1f dBFS", wav.rate, wav.channels,
          seconds, caller, operator_voice);
    QVERIFY2(seconds > 4 && seconds < 7, qPrintable(QString::number(seconds)));
    // The caller's tone is 8000 of 32767 (-12.2 dBFS) in the capture; the operator's bursts -15 dBFS.
    QVERIFY2(qAbs(caller + 12.2) <= 3, qPrintable(QString::number(caller)));
    QVERIFY2(qAbs(operator_voice + 15) <= 4, qPrintable(QString::number(operator_voice)));

    const int from = speaker->index_at(QDateTime::currentMSecsSinceEpoch());
    fixture->phone()->request_playback(path);
    QVERIFY2(fixture->wait_for("playback:1"), qPrintable(fixture->dump()));
    fixture->settle(1500);
    const double heard = tone::loudest_db(speaker->samples(), from, speaker->samples().size(), 400);
    qInfo("played back: caller at %.1f dBFS", heard);
    QVERIFY2(heard > -35, qPrintable(QString::number(heard)));
    fixture->phone()->request_playback(QString());
    QVERIFY2(fixture->wait_for("playback:0"), qPrintable(fixture->dump()));
}

// 録音 starts and stops a call's recording; a call nobody recorded leaves no file behind.
void TestRecording::recording_on_demand_starts_and_stops_and_an_unrecorded_call_leaves_no_file()
{
    take_call_from_tone_caller(4, [this] { fixture->phone()->request_record_toggle(); });
    QVERIFY2(fixture->events.contains("recording:1"), qPrintable(fixture->dump()));
    const QString path = fixture->reports.value(0).recording;
    const WavFile wav = read_wav(path);
    const double seconds = wav.seconds();
    QVERIFY2(seconds > 1.5 && seconds < 3.5, qPrintable(QString::number(seconds))); // from the toggle on

    take_call_from_tone_caller(3, [this] {
        fixture->phone()->request_record_toggle();
        fixture->settle(600);
        fixture->phone()->request_record_toggle();
    });
    QVERIFY(fixture->wait_for("recording:0", 5000, 2));
    QVERIFY(!fixture->reports.value(1).recording.isEmpty()); // half a second is kept

    take_call_from_tone_caller(2);
    QVERIFY(fixture->reports.value(2).recording.isEmpty());
    QCOMPARE(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files).size(), 2);
}

// A folder the phone cannot make, and (where this machine lets the test mount one) a full one:
// the call goes on, 録音できません is said, the row has no recording.
void TestRecording::folder_that_cannot_take_the_file_leaves_the_call_alone()
{
    QFile blocker(fixture->app_dir() + QStringLiteral("/not-a-folder"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    fixture->set_other({{"recordCalls", "1"}, {"recordingFolder", blocker.fileName() + "/recordings"}});
    take_call_from_tone_caller(3);
    QVERIFY2(fixture->failures.contains("call:録音できません"), qPrintable(fixture->failures.join(',')));
    QCOMPARE(fixture->reports.value(0).outcome, QStringLiteral("answered"));
    QVERIFY(fixture->reports.value(0).recording.isEmpty());

    const QString full = fixture->app_dir() + QStringLiteral("/full");
    QDir().mkpath(full);
    if (::geteuid() != 0 ||
        ::mount("tmpfs", QFile::encodeName(full).constData(), "tmpfs", 0, "size=64k") != 0)
        QSKIP("this machine does not let the test mount a small file system");
    QFile filler(full + QStringLiteral("/filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    while (filler.write(QByteArray(4096, 'x')) > 0 && filler.flush()) {
    }
    filler.close();
    fixture->set_other({{"recordCalls", "1"}, {"recordingFolder", full}});
    take_call_from_tone_caller(4);
    ::umount2(QFile::encodeName(full).constData(), MNT_DETACH);
    QVERIFY2(fixture->failures.count("call:録音できません") == 2, qPrintable(fixture->failures.join(',')));
    QCOMPARE(fixture->reports.value(1).outcome, QStringLiteral("answered"));
    QVERIFY(fixture->reports.value(1).recording.isEmpty());
}

// The library restarts a call's sound after a hold: what was recorded before it stays in the file.
void TestRecording::hold_and_resume_keep_what_was_recorded_before()
{
    fixture->set_other({{"recordCalls", "1"}});
    ZimPhone* phone = fixture->start();
    SippRunner caller(QStringLiteral("caller_served.xml"), engine_address(phone));
    caller.add_arguments({"-s", "100"});
    QVERIFY(caller.start());
    QVERIFY2(fixture->wait_for("status:着信中"), qPrintable(fixture->dump()));
    phone->request_answer();
    QVERIFY2(fixture->wait_for("status:録音中"), qPrintable(fixture->dump()));
    const auto talk = [this](int bursts) {
        for (int burst = 0; burst < bursts; ++burst) {
            mic->play(tone::burst(1000, -15, tone::BURST_MS));
            fixture->settle(500);
        }
    };
    talk(4);
    phone->request_hold_toggle();
    QVERIFY2(fixture->wait_for("status:保留中"), qPrintable(fixture->dump()));
    fixture->settle(1000);
    phone->request_hold_toggle();
    QVERIFY2(fixture->wait_for("status:録音中", 10000, 2), qPrintable(fixture->dump()));
    talk(4);
    phone->request_hangup();
    QVERIFY2(fixture->wait_for("dialog_end"), qPrintable(fixture->dump()));
    const WavFile wav = read_wav(fixture->reports.value(0).recording);
    qInfo("%.1f s recorded", wav.seconds());
    QVERIFY2(wav.sizes_right && wav.seconds() >= 3.5, qPrintable(QString::number(wav.seconds())));
}

QTEST_GUILESS_MAIN(TestRecording)
#include "tst_recording.moc"
