#include "programrunner.h"

#include "app/instancenames.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QThread>

#include <signal.h>

ProgramRunner::ProgramRunner(Layout layout) : layout(layout)
{
    // A folder of its own for the single-instance names: a phone someone runs from this build, or
    // on the desktop that runs the tests, never takes the test program's commands.
    use_private_runtime_dir();
    if (layout == Layout::Installed) {
        const QString prefix = temp.filePath(QStringLiteral("prefix"));
        QProcess install;
        install.setStandardOutputFile(QProcess::nullDevice());
        install.start(QStringLiteral("cmake"), {QStringLiteral("--install"), QStringLiteral(VELORA_BUILD_DIR),
                                                QStringLiteral("--prefix"), prefix});
        install.waitForFinished(120000);
        executable = prefix + QStringLiteral("/bin/velora-softphone");
        overrides.insert(QStringLiteral("XDG_DATA_HOME"), temp.filePath(QStringLiteral("xdg")));
        return;
    }
    executable = temp.filePath(QStringLiteral("velora-softphone"));
    QFile::copy(QStringLiteral(VELORA_EXECUTABLE), executable);
    QFile::setPermissions(executable, QFile::permissions(QStringLiteral(VELORA_EXECUTABLE)));
    // The softphone proper and its web engine are modules beside the executable.
    for (const QString& module :
         {QStringLiteral("libvelora-softphone-app.so"), QStringLiteral("libvelora-softphone-web.so")})
        QFile::copy(QStringLiteral(VELORA_BIN_DIR "/") + module, temp.filePath(module));
    const QString sounds = QStringLiteral(VELORA_BIN_DIR "/share/sounds");
    QDir().mkpath(temp.filePath(QStringLiteral("share/sounds")));
    const QStringList files = QDir(sounds).entryList(QDir::Files);
    for (const QString& file : files)
        QFile::copy(sounds + QLatin1Char('/') + file, temp.filePath(QStringLiteral("share/sounds/") + file));
}

ProgramRunner::~ProgramRunner()
{
    stop_first();
}

QString ProgramRunner::data_dir() const
{
    return temp.filePath(layout == Layout::Installed ? QStringLiteral("xdg/velora-softphone")
                                                     : QStringLiteral("data"));
}

QString ProgramRunner::log_path() const
{
    return data_dir() + QStringLiteral("/logs/logger");
}

void ProgramRunner::use_private_runtime_dir()
{
    const QString runtime = temp.filePath(QStringLiteral("run"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    overrides.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
}

void ProgramRunner::set_user(const QString& uid)
{
    use_private_runtime_dir(); // again, should a test have named another
    overrides.insert(QStringLiteral("VELORA_TEST_UID"), uid);
}

QString ProgramRunner::log_text() const
{
    QFile file(log_path());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QProcessEnvironment ProgramRunner::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), temp.path()); // the SIP library keeps files below HOME
    // With a display the program shows real windows that a test can click; without one it
    // draws offscreen.
    if (env.contains(QStringLiteral("DISPLAY")))
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    else
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (auto it = overrides.cbegin(); it != overrides.cend(); ++it) {
        if (it.value().isNull())
            env.remove(it.key());
        else
            env.insert(it.key(), it.value());
    }
    return env;
}

QString ProgramRunner::server_name() const
{
    const QProcessEnvironment env = environment();
    return zim::local_server_name(zim::instance_dir(data_dir(), env).path, env);
}

void ProgramRunner::route_output(QProcess& process) const
{
    if (output_to_file) {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardOutputFile(temp.filePath(QStringLiteral("output.log")), QIODevice::Append);
    } else {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
    }
}

bool ProgramRunner::start_first(const QStringList& args, int timeout_ms)
{
    stop_first();
    first_process = new QProcess;
    first_process->setProcessEnvironment(environment());
    route_output(*first_process);
    first_process->start(executable, args);
    if (!first_process->waitForStarted(timeout_ms))
        return false;
    QDeadlineTimer deadline(timeout_ms);
    while (!deadline.hasExpired()) {
        // Its own log proves this process, not some other running instance, answers.
        if (!QFile::exists(log_path())) {
            if (first_process->waitForFinished(50))
                return false; // it died or became a messenger
            continue;
        }
        QLocalSocket probe;
        probe.connectToServer(server_name());
        if (probe.waitForConnected(200)) {
            probe.disconnectFromServer();
            return true;
        }
        QThread::msleep(50);
    }
    return false;
}

void ProgramRunner::kill_first()
{
    if (!first_process)
        return;
    ::kill(pid_t(first_process->processId()), SIGKILL);
    first_process->waitForFinished(10000);
    delete first_process;
    first_process = nullptr;
}

void ProgramRunner::stop_first()
{
    if (!first_process)
        return;
    if (first_process->state() != QProcess::NotRunning) {
        first_process->terminate();
        if (!first_process->waitForFinished(10000)) {
            first_process->kill();
            first_process->waitForFinished(10000);
        }
    }
    delete first_process;
    first_process = nullptr;
}

int ProgramRunner::run_messenger(const QStringList& args, int timeout_ms, QString* errors)
{
    QProcess messenger;
    messenger.setProcessEnvironment(environment());
    if (errors)
        messenger.setStandardOutputFile(QProcess::nullDevice());
    else
        route_output(messenger);
    messenger.start(executable, args);
    if (!messenger.waitForFinished(timeout_ms)) {
        messenger.kill();
        messenger.waitForFinished(5000);
        return -1;
    }
    if (errors)
        *errors = QString::fromUtf8(messenger.readAllStandardError());
    return messenger.exitStatus() == QProcess::NormalExit ? messenger.exitCode() : -1;
}

bool ProgramRunner::wait_for_log(const QString& text, int timeout_ms) const
{
    QDeadlineTimer deadline(timeout_ms);
    while (!deadline.hasExpired()) {
        if (log_text().contains(text))
            return true;
        QThread::msleep(50);
    }
    return log_text().contains(text);
}
