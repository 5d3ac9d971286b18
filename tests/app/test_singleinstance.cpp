#include "app/instancenames.h"
#include "support/programrunner.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QThread>
#include <QtTest>

// Two real processes: the running softphone and the later starts that hand it their arguments.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private:
    static int open_descriptors(qint64 pid)
    {
        return QDir(QStringLiteral("/proc/%1/fd").arg(pid))
            .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
            .size();
    }
    // Lines the first instance logged for received commands ("] " + command at the line's end).
    static bool logged_command(const QString& log, const QString& command)
    {
        return log.contains(QStringLiteral("] ") + command + QLatin1Char('\n'));
    }

    // Runs the copied program to its end (bounded); returns its standard error, or "" when it
    // kept running or crashed.
    static QString failed_start(const ProgramRunner& runner)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), runner.dir());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.start(runner.dir() + QStringLiteral("/velora-softphone"), QStringList());
        if (!process.waitForFinished(15000)) {
            process.kill();
            process.waitForFinished(5000);
            return QString();
        }
        const bool failed = process.exitStatus() == QProcess::NormalExit && process.exitCode() != 0;
        return failed ? QString::fromLocal8Bit(process.readAllStandardError()) : QString();
    }

private slots:
    // A missing module, or a data directory that cannot be made: one line naming the file and
    // the reason, a non-zero exit, no crash.
    void start_up_failures_print_one_line_and_exit_non_zero()
    {
        ProgramRunner runner;
        const QString module = runner.dir() + QStringLiteral("/libvelora-softphone-app.so");
        QVERIFY(QFile::rename(module, module + QStringLiteral(".away")));
        QString error = failed_start(runner);
        QCOMPARE(error.count(QLatin1Char('\n')), 1);
        QVERIFY2(error.contains(module) && error.contains(QStringLiteral("No such file")), qPrintable(error));

        QVERIFY(QFile::rename(module + QStringLiteral(".away"), module));
        QFile in_the_way(runner.dir() + QStringLiteral("/data"));
        QVERIFY(in_the_way.open(QIODevice::WriteOnly));
        in_the_way.close();
        error = failed_start(runner);
        QVERIFY2(error.endsWith(runner.dir() + QStringLiteral("/data/logs: Not a directory\n")),
                 qPrintable(error));
    }

    void later_start_hands_its_arguments_to_the_running_instance()
    {
        ProgramRunner runner;
        QVERIFY(runner.start_first());
        QCOMPARE(runner.run_messenger({QStringLiteral("callto:201")}), 0);
        QVERIFY(runner.wait_for_log(QStringLiteral("] callto:201\n")));
        QCOMPARE(runner.run_messenger({QStringLiteral("transfer"), QStringLiteral("201")}), 0);
        QVERIFY(runner.wait_for_log(QStringLiteral("] transfer&201\n")));
        // An empty argument still contributes its separator.
        QCOMPARE(runner.run_messenger({QString(), QStringLiteral("x")}), 0);
        QVERIFY(runner.wait_for_log(QStringLiteral("] &x\n")));
        // Non-ASCII text arrives intact.
        QCOMPARE(runner.run_messenger({QStringLiteral("call&山田")}), 0);
        QVERIFY(runner.wait_for_log(QStringLiteral("] call&山田\n")));
        QCOMPARE(runner.first()->state(), QProcess::Running);
    }

    void later_start_without_arguments_sends_nothing()
    {
        ProgramRunner runner;
        QVERIFY(runner.start_first());
        QCOMPARE(runner.run_messenger({QStringLiteral("hangup")}), 0);
        QVERIFY(runner.wait_for_log(QStringLiteral("] hangup\n")));
        const QString before = runner.log_text();
        QCOMPARE(runner.run_messenger({}), 0);
        QCOMPARE(runner.run_messenger({QStringLiteral("answer")}), 0);
        QVERIFY(runner.wait_for_log(QStringLiteral("] answer\n")));
        // The empty start added no line between the two commands.
        QCOMPARE(runner.log_text().mid(before.size()).count(QLatin1Char('\n')), 1);
    }

    void crashed_instance_never_turns_later_starts_into_messengers()
    {
        ProgramRunner runner;
        QVERIFY(runner.start_first());
        runner.kill_first(); // lock segment and socket file are left behind
        QVERIFY(runner.start_first({}, 10000));
        QCOMPARE(runner.run_messenger({QStringLiteral("hold")}), 0);
        QVERIFY(runner.wait_for_log(QStringLiteral("] hold\n")));
        QCOMPARE(runner.first()->state(), QProcess::Running);
    }

    void only_the_same_user_may_use_the_channel()
    {
        ProgramRunner runner;
        QVERIFY(runner.start_first());
        QString name = zim::local_server_name(runner.environment());
        if (QDir::isRelativePath(name))
            name = QDir::tempPath() + QLatin1Char('/') + name;
        const QFileInfo socket(name);
        QVERIFY2(socket.exists(), qPrintable(socket.filePath()));
        const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                            QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
        QCOMPARE(socket.permissions() & others, QFileDevice::Permissions());
    }

    // Two operators on one terminal server: each start finds its own user's phone.
    void each_user_runs_a_phone_of_their_own()
    {
        ProgramRunner first_user, second_user;
        first_user.set_user(QStringLiteral("7001"));
        second_user.set_user(QStringLiteral("7002"));
        QVERIFY(first_user.start_first());
        QVERIFY(second_user.start_first());
        QVERIFY(QFileInfo::exists(second_user.dir() + QStringLiteral("/run/VeloraPhoneServerSimple-7002")));
        QCOMPARE(second_user.run_messenger({QStringLiteral("hold")}), 0);
        QVERIFY(second_user.wait_for_log(QStringLiteral("] hold\n")));
        QCOMPARE(first_user.run_messenger({QStringLiteral("unhold")}), 0);
        QVERIFY(first_user.wait_for_log(QStringLiteral("] unhold\n")));
        QVERIFY(!first_user.log_text().contains(QStringLiteral("] hold\n")));
        QVERIFY(!second_user.log_text().contains(QStringLiteral("] unhold\n")));
    }

    void many_messengers_leave_descriptors_flat()
    {
        ProgramRunner runner;
        QVERIFY(runner.start_first());
        const qint64 pid = runner.first()->processId();
        for (int i = 0; i < 10; ++i)
            QCOMPARE(runner.run_messenger({QStringLiteral("warmup")}), 0);
        QTest::qWait(300);
        const int before = open_descriptors(pid);
        for (int i = 0; i < 200; ++i)
            QCOMPARE(runner.run_messenger({QStringLiteral("call&%1").arg(i)}), 0);
        QVERIFY(runner.wait_for_log(QStringLiteral("] call&199\n")));
        QTest::qWait(300);
        const int after = open_descriptors(pid);
        QVERIFY2(after <= before + 2, qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(after)));
        QVERIFY(logged_command(runner.log_text(), QStringLiteral("call&0")));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "test_singleinstance.moc"
