#include "support/mapwatcher.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

namespace {

QString output_file(const QTemporaryDir& dir)
{
    return dir.filePath(QStringLiteral("maps.log"));
}

} // namespace

MapWatcher::~MapWatcher()
{
    stop();
}

bool MapWatcher::start(int timeout_ms)
{
    process.setStandardOutputFile(output_file(work));
    // Debian's interpreter, where python3-xlib lives.
    process.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(VELORA_MAP_WATCHER)});
    if (!process.waitForStarted(timeout_ms))
        return false;
    QDeadlineTimer deadline(timeout_ms);
    while (!deadline.hasExpired() && process.state() == QProcess::Running) {
        QFile file(output_file(work));
        if (file.open(QIODevice::ReadOnly) && file.readLine().startsWith("ready"))
            return true;
        QThread::msleep(20);
    }
    return false;
}

void MapWatcher::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.closeWriteChannel(); // the watcher ends when its input closes
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

QList<MapWatcher::Map> MapWatcher::maps() const
{
    QList<Map> result;
    QFile file(output_file(work));
    if (!file.open(QIODevice::ReadOnly))
        return result;
    // "<seconds.micros> <window> <override 0|1> <class> <title...>"
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line);
        const QStringList parts = text.split(QLatin1Char(' '));
        if (parts.size() < 4 || !parts[0].contains(QLatin1Char('.')))
            continue;
        const QStringList stamp = parts[0].split(QLatin1Char('.'));
        const qint64 time_us =
            stamp[0].toLongLong() * 1000000 + (stamp[1] + QStringLiteral("000000")).left(6).toLongLong();
        result.append(
            {time_us, parts[1], parts[2] == QLatin1String("1"), parts[3], text.section(QLatin1Char(' '), 4)});
    }
    return result;
}
