#include "windowmanager.h"

#include "xdotool.h"

#include <QDeadlineTimer>
#include <QThread>

WindowManager::~WindowManager()
{
    stop();
}

bool WindowManager::start(int timeout_ms)
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!process.waitForStarted(5000))
        return false;
    // Managing once it names itself on the root window.
    const QDeadlineTimer deadline(timeout_ms);
    while (!deadline.hasExpired() && process.state() == QProcess::Running) {
        QProcess xprop;
        xprop.start(QStringLiteral("xprop"),
                    {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
        if (xprop.waitForFinished(5000) && xprop.readAllStandardOutput().contains("window id"))
            return true;
        QThread::msleep(100);
    }
    return false;
}

void WindowManager::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
    }
    // A window manager that ends leaves its name on the root window; the next one would be fooled.
    QProcess::execute(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("-remove"),
                                                QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
}

unsigned long active_window()
{
    QString id;
    if (!xdotool({QStringLiteral("getactivewindow")}, &id))
        return 0;
    return id.toULong();
}

TypingWindow::~TypingWindow()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(2000);
    }
}

bool TypingWindow::start()
{
    process.start(QStringLiteral("xmessage"),
                  {QStringLiteral("-title"), QStringLiteral("typing-here"), QStringLiteral("typing")});
    if (!process.waitForStarted(5000))
        return false;
    const QList<unsigned long> windows = visible_windows(QStringLiteral("^typing-here$"));
    if (windows.isEmpty())
        return false;
    id = windows.first();
    return activate();
}

bool TypingWindow::activate()
{
    if (!xdotool({QStringLiteral("windowactivate"), QString::number(id)}))
        return false;
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && active_window() != id)
        QThread::msleep(100);
    return active_window() == id;
}
