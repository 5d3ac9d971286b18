#include "procstats.h"

#include <QDir>
#include <QFile>

namespace procstats {

QList<qint64> tree(qint64 pid)
{
    QList<qint64> result{pid};
    for (int i = 0; i < result.size(); ++i) {
        const QDir tasks(QStringLiteral("/proc/%1/task").arg(result[i]));
        for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile children(tasks.filePath(task + QStringLiteral("/children")));
            if (!children.open(QIODevice::ReadOnly))
                continue;
            for (const QByteArray& child : children.readAll().split(' ')) {
                if (!child.trimmed().isEmpty())
                    result.append(child.trimmed().toLongLong());
            }
        }
    }
    return result;
}

double cpu_seconds(qint64 pid)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    double total = 0;
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (stat.open(QIODevice::ReadOnly))
            total += stat.readAll().split(' ').value(0).toDouble() / 1e9;
    }
    return total;
}

qint64 rss_kb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

} // namespace procstats
