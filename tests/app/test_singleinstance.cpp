#include "support/programrunner.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QSharedMemory>
#include <QThread>
#include <QtTest>

#include <cstring>
#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const uid_t NOBODY = 65534;

// A child process sends the command as user nobody (the tests run as root). Its exit status:
// 0 when the connection was closed unanswered, 1 when answered, 3 when it could not connect.
int command_as_nobody(const QString& socket_path, const QByteArray& command)
{
    const QByteArray path = QFile::encodeName(socket_path);
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(10);
        if (::setgroups(0, nullptr) != 0 || ::setgid(NOBODY) != 0 || ::setuid(NOBODY) != 0)
            ::_exit(2);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
            ::_exit(3);
        (void)!::write(fd, command.constData(), size_t(command.size()));
        pollfd reply{fd, POLLIN, 0};
        ::poll(&reply, 1, 5000);
        char buffer[8];
        ::_exit(::read(fd, buffer, sizeof(buffer)) > 0 ? 1 : 0);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool chown_to_nobody(const QString& path)
{
    return ::lchown(QFile::encodeName(path).constData(), NOBODY, NOBODY) == 0;
}

} // namespace

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
        QProcessEnvironment environment = runner.environment();
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

    // The socket sits in a folder only its user may enter; a connection from another uid that
    // gets there all the same is closed unread, with a log line.
    void only_the_same_user_may_use_the_channel()
    {
        ProgramRunner runner;
        runner.set_user(QStringLiteral("7004"));
        QVERIFY(runner.start_first());
        const QFileInfo socket(runner.server_name());
        const QFileInfo folder(socket.absolutePath());
        QVERIFY2(socket.exists(), qPrintable(socket.filePath()));
        QCOMPARE(folder.ownerId(), ::geteuid());
        QCOMPARE(int(folder.permissions() & 0x0077), 0);
        // Opened up by force, from the test's folder down.
        for (QString path = folder.filePath(); path.startsWith(runner.dir()); path = QFileInfo(path).path())
            QVERIFY(::chmod(QFile::encodeName(path).constData(), 0711) == 0);
        QVERIFY(::chmod(QFile::encodeName(socket.filePath()).constData(), 0666) == 0);
        QCOMPARE(command_as_nobody(socket.filePath(), "call&666"), 0);
        QVERIFY(runner.wait_for_log(QStringLiteral("refused a connection from uid 65534")));
        QVERIFY(::chmod(QFile::encodeName(folder.filePath()).constData(), 0700) == 0);
        QCOMPARE(runner.run_messenger({QStringLiteral("hold")}), 0);
        QVERIFY(runner.wait_for_log(QStringLiteral("] hold\n")));
        QVERIFY(!runner.log_text().contains(QStringLiteral("call&666")));
    }

    // Another user got in first where the program once kept its lock and socket (a segment
    // under the old shared-memory key; a listening socket, then a plain file, at the old socket
    // path) and where it keeps them now (the private folder). The phone starts at once, later
    // starts reach it, and nothing reaches the other user's socket.
    void squatted_places_change_nothing()
    {
        ProgramRunner runner;
        const QString user = QStringLiteral("7003");
        const QString tmp = runner.dir() + QStringLiteral("/tmp");
        QVERIFY(QDir().mkpath(tmp));
        runner.set_variable(QStringLiteral("VELORA_TEST_UID"), user);
        runner.set_variable(QStringLiteral("TMPDIR"), tmp);
        runner.unset_variable(QStringLiteral("XDG_RUNTIME_DIR"));
        const QByteArray own_tmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(tmp)); // the segment's key file goes there
        QSharedMemory segment(QStringLiteral("VeloraPhoneSimple-") + user);
        QVERIFY(segment.create(1));
        own_tmp.isEmpty() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", own_tmp);
        const QString old_socket = tmp + QStringLiteral("/VeloraPhoneServerSimple-") + user;
        QLocalServer foreign;
        QVERIFY(foreign.listen(old_socket));
        QVERIFY(chown_to_nobody(old_socket));
        QVERIFY(runner.start_first());
        QCOMPARE(runner.run_messenger({QStringLiteral("call&201")}), 0);
        QVERIFY(runner.wait_for_log(QStringLiteral("] call&201\n")));
        QVERIFY(!foreign.waitForNewConnection(100));

        runner.stop_first();
        foreign.close();
        QFile plain(old_socket);
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        const QString folder = tmp + QStringLiteral("/velora-softphone-") + user;
        QVERIFY(chown_to_nobody(folder));
        QVERIFY(runner.start_first());
        QVERIFY(runner.log_text().contains(folder + QStringLiteral(" refused (owned by uid 65534)")));
        QCOMPARE(runner.server_name(),
                 runner.data_dir() + QStringLiteral("/VeloraPhoneServerSimple-") + user);
        QCOMPARE(runner.run_messenger({QStringLiteral("call&202")}), 0);
        QVERIFY(runner.wait_for_log(QStringLiteral("] call&202\n")));
    }

    // Something that is no socket in the way: the phone runs and says why later starts
    // cannot reach it.
    void a_failed_listen_is_logged()
    {
        ProgramRunner runner;
        runner.set_user(QStringLiteral("7005"));
        QVERIFY(QDir().mkpath(runner.server_name() + QStringLiteral("/in-the-way")));
        QVERIFY(!runner.start_first({}, 3000));
        QVERIFY(
            runner.wait_for_log(QStringLiteral("Command channel: cannot listen on ") + runner.server_name()));
        QCOMPARE(runner.first()->state(), QProcess::Running);
        // A later start gives the phone its 30 s to listen, then says its command did not arrive.
        QString errors;
        QCOMPARE(runner.run_messenger({QStringLiteral("hangup")}, 40000, &errors), 2);
        QCOMPARE(errors.count(QLatin1Char('\n')), 1);
        QVERIFY2(
            errors.startsWith(QStringLiteral("velora-softphone: the running phone cannot be reached at ") +
                              runner.server_name()),
            qPrintable(errors));
    }

    // A runtime folder deep in a profile would put the socket past the kernel's 108 bytes: the
    // channel lives in the user's short private folder, and later starts reach the phone.
    void long_runtime_folder_keeps_the_channel()
    {
        ProgramRunner runner;
        const QString user = QString::number(70000 + QCoreApplication::applicationPid() % 10000);
        const QString runtime = runner.dir() + QStringLiteral("/run/") + QString(100, QLatin1Char('r'));
        QVERIFY(QDir().mkpath(runtime));
        QVERIFY(::chmod(QFile::encodeName(runtime).constData(), 0700) == 0);
        runner.set_variable(QStringLiteral("VELORA_TEST_UID"), user);
        runner.set_variable(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        const QString folder = QStringLiteral("/tmp/velora-softphone-") + user;
        QDir(folder).removeRecursively();
        QVERIFY(runner.start_first());
        QCOMPARE(QFileInfo(runner.server_name()).path(), folder);
        QCOMPARE(QFileInfo(folder).ownerId(), ::geteuid());
        QCOMPARE(int(QFileInfo(folder).permissions() & 0x0077), 0);
        QString errors;
        QCOMPARE(runner.run_messenger({QStringLiteral("call&201")}, 40000, &errors), 0);
        QVERIFY(runner.wait_for_log(QStringLiteral("] call&201\n")));
        QCOMPARE(errors, QString());
        runner.stop_first();
        QDir(folder).removeRecursively();
    }

    // Two operators on one terminal server: each start finds its own user's phone.
    void each_user_runs_a_phone_of_their_own()
    {
        ProgramRunner first_user, second_user;
        first_user.set_user(QStringLiteral("7001"));
        second_user.set_user(QStringLiteral("7002"));
        QVERIFY(first_user.start_first());
        QVERIFY(second_user.start_first());
        QVERIFY(QFileInfo::exists(second_user.dir() +
                                  QStringLiteral("/run/velora-softphone/VeloraPhoneServerSimple-7002")));
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
