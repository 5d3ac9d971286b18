#include "data/zimlogger.h"
#include "support/testdir.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

// The application log as an operator's support engineer reads it: one stamped line per message,
// one file per day, six older days kept.
class TestZimLogger : public QObject
{
    Q_OBJECT

private:
    static void write_file(const QString& path, const QByteArray& content, const QDateTime& modified)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.flush();
        QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    }
    static QByteArray content(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static QDateTime yesterday() { return QDateTime::currentDateTime().addDays(-1); }

private slots:
    void first_line_creates_the_file_with_a_stamp()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        QVERIFY(!QFile::exists(ZimLogger::log_path()));
        logger.log(QStringLiteral("着信中 201"), 1);
        logger.log(QStringLiteral("two\nlines"), 2);
        const QString text = read_text_file(ZimLogger::log_path());
        const QRegularExpression line(QStringLiteral(
            "^\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\] 着信中 201\n\\[[^\\]]+\\] two\nlines\n$"));
        QVERIFY2(line.match(text).hasMatch(), qPrintable(text));
        // The log holds passwords in the stored settings' neighbourhood: owner only.
        QCOMPARE(QFileInfo(ZimLogger::log_path()).permissions() & 0x0077, QFileDevice::Permissions());
    }

    void same_day_appends_without_rotation()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger(nullptr).log(QStringLiteral("morning"), 1);
        ZimLogger logger; // a second start on the same day
        logger.log(QStringLiteral("afternoon"), 1);
        QVERIFY(!QFile::exists(ZimLogger::log_path() + QStringLiteral("1")));
        const QString text = read_text_file(ZimLogger::log_path());
        QVERIFY(text.contains(QStringLiteral("morning")) && text.contains(QStringLiteral("afternoon")));
    }

    void new_day_shifts_generations_and_drops_the_oldest()
    {
        TestAppDir dir;
        dir.make_log_dir();
        const QString base = ZimLogger::log_path();
        write_file(base, "today-1", yesterday());
        for (int n = 1; n <= 6; ++n)
            write_file(base + QString::number(n), "gen" + QByteArray::number(n), yesterday().addDays(-n));

        ZimLogger logger;
        QCOMPARE(content(base + QStringLiteral("1")), QByteArray("today-1"));
        for (int n = 2; n <= 6; ++n)
            QCOMPARE(content(base + QString::number(n)), "gen" + QByteArray::number(n - 1));
        QVERIFY(!QFile::exists(base + QStringLiteral("7")));
        QVERIFY(!QFile::exists(base));
        logger.log(QStringLiteral("fresh"), 1);
        QVERIFY(read_text_file(base).endsWith(QStringLiteral("] fresh\n")));
    }

    void stray_seventh_generation_blocks_one_rotation_then_is_removed()
    {
        TestAppDir dir;
        dir.make_log_dir();
        const QString base = ZimLogger::log_path();
        write_file(base, "current", yesterday());
        for (int n = 1; n <= 7; ++n)
            write_file(base + QString::number(n), "gen" + QByteArray::number(n), yesterday().addDays(-n));

        {
            ZimLogger blocked;
        }
        // Every rename met an occupied name, so nothing moved; only the stray file went.
        QCOMPARE(content(base), QByteArray("current"));
        for (int n = 1; n <= 6; ++n)
            QCOMPARE(content(base + QString::number(n)), "gen" + QByteArray::number(n));
        QVERIFY(!QFile::exists(base + QStringLiteral("7")));

        {
            ZimLogger next_day;
        }
        QCOMPARE(content(base + QStringLiteral("1")), QByteArray("current"));
        QCOMPARE(content(base + QStringLiteral("6")), QByteArray("gen5"));
        QVERIFY(!QFile::exists(base + QStringLiteral("7")));
    }

    void two_threads_never_interleave_lines()
    {
        TestAppDir dir;
        dir.make_log_dir();
        ZimLogger logger;
        const int per_thread = 1500;
        auto writer = [&logger](const QString& who) {
            for (int i = 0; i < per_thread; ++i)
                logger.log(who + QStringLiteral(" line %1 ").arg(i) + QString(80, QLatin1Char('x')), 1);
        };
        QScopedPointer<QThread> engine(QThread::create(writer, QStringLiteral("engine")));
        engine->start();
        writer(QStringLiteral("window"));
        QVERIFY(engine->wait(60000));

        const QStringList lines =
            read_text_file(ZimLogger::log_path()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2 * per_thread);
        const QRegularExpression whole(
            QStringLiteral("^\\[[-0-9: ]{19}\\] (engine|window) line \\d+ x{80}$"));
        for (const QString& line : lines)
            QVERIFY2(whole.match(line).hasMatch(), qPrintable(line));
    }

    void missing_log_directory_loses_lines_quietly()
    {
        TestAppDir dir; // no data/logs below it
        ZimLogger logger;
        logger.log(QStringLiteral("nowhere to go"), 2);
        QVERIFY(!QFile::exists(ZimLogger::log_path()));
    }
};

QTEST_GUILESS_MAIN(TestZimLogger)
#include "test_zimlogger.moc"
