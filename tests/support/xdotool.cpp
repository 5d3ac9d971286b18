#include "xdotool.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>

bool xdotool(const QStringList& arguments, QString* output)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(2000);
        return false;
    }
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    return process.exitCode() == 0;
}

QList<unsigned long> visible_windows(const QString& title, int timeout_ms)
{
    QList<unsigned long> windows;
    QDeadlineTimer deadline(timeout_ms);
    do {
        QString ids;
        xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), title},
                &ids);
        for (const QString& id : ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            windows.append(id.toULong());
        if (!windows.isEmpty())
            break;
        QThread::msleep(100);
    } while (!deadline.hasExpired());
    return windows;
}
