#include "westonsession.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <sys/stat.h>

WestonSession::~WestonSession()
{
    if (weston.state() != QProcess::NotRunning) {
        weston.terminate();
        if (!weston.waitForFinished(5000)) {
            weston.kill();
            weston.waitForFinished(5000);
        }
    }
}

QString WestonSession::wayland_display() const
{
    return dir.filePath(QStringLiteral("wayland-velora"));
}

QString WestonSession::log() const
{
    QFile file(dir.filePath(QStringLiteral("weston.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool WestonSession::start(int width, int height, int timeout_ms)
{
    // XWayland's sockets live where every X server's do; Xvfb makes the folder, weston does not.
    if (!QDir(QStringLiteral("/tmp/.X11-unix")).exists() && QDir().mkpath(QStringLiteral("/tmp/.X11-unix")))
        ::chmod("/tmp/.X11-unix", 01777);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    weston.setProcessEnvironment(env);
    weston.setProcessChannelMode(QProcess::MergedChannels);
    weston.setStandardOutputFile(dir.filePath(QStringLiteral("weston.out")));
    // --debug lets weston-screenshooter take the screen.
    weston.start(QStringLiteral("weston"),
                 {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--use-pixman"),
                  QStringLiteral("--xwayland"), QStringLiteral("--socket=wayland-velora"),
                  QStringLiteral("--width=%1").arg(width), QStringLiteral("--height=%1").arg(height),
                  QStringLiteral("--idle-time=0"), QStringLiteral("--no-config"), QStringLiteral("--debug"),
                  QStringLiteral("--log=") + dir.filePath(QStringLiteral("weston.log"))});
    if (!weston.waitForStarted(5000))
        return false;
    const QRegularExpression listening(QStringLiteral("xserver listening on display (:\\d+)"));
    for (QDeadlineTimer deadline(timeout_ms); !deadline.hasExpired(); QThread::msleep(100)) {
        const QRegularExpressionMatch match = listening.match(log());
        if (match.hasMatch() && QFile::exists(wayland_display())) {
            display = match.captured(1);
            return true;
        }
        if (weston.state() == QProcess::NotRunning)
            break;
    }
    qWarning("weston did not come up:\n%s", qPrintable(log()));
    return false;
}

QImage WestonSession::screenshot(int timeout_ms)
{
    const QString shots = dir.filePath(QStringLiteral("shots"));
    QDir(shots).removeRecursively();
    QDir().mkpath(shots);
    QProcess shooter;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), wayland_display());
    shooter.setProcessEnvironment(env);
    shooter.setWorkingDirectory(shots);
    shooter.start(QStringLiteral("weston-screenshooter"), QStringList());
    if (!shooter.waitForFinished(timeout_ms)) {
        shooter.kill();
        shooter.waitForFinished(2000);
        return QImage();
    }
    const QStringList files = QDir(shots).entryList({QStringLiteral("*.png")}, QDir::Files);
    return files.isEmpty() ? QImage() : QImage(shots + QLatin1Char('/') + files.first());
}
