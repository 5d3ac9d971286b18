// The recordings' files: names a caller cannot steer, the days they are kept, and the repair of
// a recording its writer never closed.
#include "data/recordingfiles.h"
#include "support/wavfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <utime.h>

class TestRecordingFiles : public QObject
{
    Q_OBJECT
private slots:
    void names_hold_only_the_time_and_the_dialled_characters()
    {
        QTemporaryDir dir;
        const QDateTime start(QDate(2026, 12, 11), QTime(9, 5, 7));
        QString error;
        const QString first = recordings::create_file(dir.path() + "/rec", start,
                                                      QStringLiteral("../../etc/+81 3*1#2\"<x>"), &error);
        QCOMPARE(first, dir.path() + "/rec/20261211-090507_+813*1#2.wav");
        // The same second again gets a file of its own; nothing is ever replaced.
        QCOMPARE(recordings::create_file(dir.path() + "/rec", start, QStringLiteral("+81 3*1#2"), &error),
                 dir.path() + "/rec/20261211-090507_+813*1#2-2.wav");
        QCOMPARE(recordings::clean_number(QStringLiteral("anonymous")), QStringLiteral("unknown"));
        struct stat info
        {
        };
        QCOMPARE(::stat(QFile::encodeName(first).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0600);
        QCOMPARE(::stat(QFile::encodeName(dir.path() + "/rec").constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0700);
    }

    void old_recordings_go_and_the_rest_stay()
    {
        QTemporaryDir dir;
        const QDateTime now = QDateTime::currentDateTime();
        const auto make = [&](const QString& name, int days_old) {
            QFile file(dir.path() + "/" + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            const time_t when = now.addDays(-days_old).toSecsSinceEpoch();
            const utimbuf times{when, when};
            QCOMPARE(::utime(QFile::encodeName(file.fileName()).constData(), &times), 0);
        };
        make("old.wav", 31);
        make("recent.wav", 29);
        make("old-notes.txt", 90);                                      // not a recording: never touched
        QCOMPARE(recordings::remove_older_than(dir.path(), 0, now), 0); // 0 keeps them all
        QCOMPARE(recordings::remove_older_than(dir.path(), 30, now), 1);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"old-notes.txt", "recent.wav"}));
    }

    // What a killed writer leaves: bare sound with its note, or a header whose sizes are still 0.
    void recordings_left_open_are_made_whole()
    {
        QTemporaryDir dir;
        QByteArray sound;
        for (int i = 0; i < 16000; ++i) // 1 s at 16 kHz, and half a sample cut by the kill
            sound.append(char(i & 0xff)).append(char(i % 7));
        sound.append('\x01');
        QFile bare(dir.path() + "/bare.wav");
        QVERIFY(bare.open(QIODevice::WriteOnly) && bare.write(sound) == sound.size());
        bare.close();
        recordings::note_format(bare.fileName(), 16000, 1);

        QFile sized(dir.path() + "/sized.wav");
        QVERIFY(sized.open(QIODevice::WriteOnly));
        QByteArray header = QByteArray("RIFF") + QByteArray(4, '\0') + "WAVEfmt " +
                            QByteArray::fromHex("1000000001000100401f0000803e000002001000") + "data" +
                            QByteArray(4, '\0');
        QCOMPARE(header.size(), 44);
        sized.write(header + QByteArray(800, '\0'));
        sized.close();

        QCOMPARE(recordings::repair_folder(dir.path()), 2);
        const WavFile repaired = read_wav(bare.fileName());
        QVERIFY(repaired.sizes_right);
        QCOMPARE(repaired.rate, 16000);
        QCOMPARE(repaired.samples.size(), 16000);
        QCOMPARE(repaired.samples.at(1), qint16(1 | (1 << 8)));
        QVERIFY(!QFile::exists(bare.fileName() + ".part"));
        QVERIFY(read_wav(sized.fileName()).sizes_right);
        QCOMPARE(recordings::repair_folder(dir.path()), 0); // whole files stay as they are
    }
};

QTEST_GUILESS_MAIN(TestRecordingFiles)
#include "test_recordingfiles.moc"
