#include "procstats.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace procstats {

namespace {

QStringList task_dirs(qint64 pid)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    QStringList dirs;
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        dirs.append(tasks.filePath(task));
    return dirs;
}

// "Name:   value ..." lines, as in status and smaps: the value of one (0 when missing).
qint64 field(const QByteArray& text, const QByteArray& name)
{
    const QByteArray key = name + ':';
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

QByteArray read_all(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

QList<qint64> tree(qint64 pid)
{
    QList<qint64> result{pid};
    for (int i = 0; i < result.size(); ++i) {
        for (const QString& task : task_dirs(result[i])) {
            for (const QByteArray& child : read_all(task + QStringLiteral("/children")).split(' ')) {
                if (!child.trimmed().isEmpty())
                    result.append(child.trimmed().toLongLong());
            }
        }
    }
    return result;
}

double cpu_seconds(const QList<qint64>& pids)
{
    double total = 0;
    for (qint64 pid : pids)
        total += cpu_seconds(pid);
    return total;
}

bool running(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) != "Z";
}

double cpu_seconds(qint64 pid)
{
    double total = 0;
    for (const QString& task : task_dirs(pid))
        total += read_all(task + QStringLiteral("/schedstat")).split(' ').value(0).toDouble() / 1e9;
    return total;
}

qint64 rss_kb(qint64 pid)
{
    return field(read_all(QStringLiteral("/proc/%1/status").arg(pid)), "VmRSS");
}

qint64 pss_kb(qint64 pid)
{
    return field(read_all(QStringLiteral("/proc/%1/smaps_rollup").arg(pid)), "Pss");
}

QMap<qint64, qint64> thread_switches(qint64 pid)
{
    QMap<qint64, qint64> switches;
    for (const QString& task : task_dirs(pid)) {
        const QByteArray status = read_all(task + QStringLiteral("/status"));
        if (!status.isEmpty())
            switches.insert(QFileInfo(task).fileName().toLongLong(),
                            field(status, "voluntary_ctxt_switches") +
                                field(status, "nonvoluntary_ctxt_switches"));
    }
    return switches;
}

qint64 switches_between(const QMap<qint64, qint64>& before, const QMap<qint64, qint64>& after)
{
    qint64 total = 0;
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        total += it.value() - before.value(it.key(), 0);
    return total;
}

void add_mappings(qint64 pid, QMap<QString, Mapping>& by_path)
{
    Mapping* current = nullptr;
    for (const QByteArray& line : read_all(QStringLiteral("/proc/%1/smaps").arg(pid)).split('\n')) {
        // A mapping starts "start-end perms offset dev inode [path]"; its figures follow, "Name: n kB".
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() >= 5 && words[0].contains('-') && !words[0].endsWith(':')) {
            QString path = QString::fromUtf8(words.mid(5).join(' '));
            if (path.isEmpty())
                path = QStringLiteral("[anon]");
            current = &by_path[path];
            current->path = path;
        } else if (current && words.size() >= 2 && words[0] == "Rss:") {
            current->rss_kb += words[1].toLongLong();
        } else if (current && words.size() >= 2 && words[0] == "Pss:") {
            current->pss_kb += words[1].toLongLong();
        }
    }
}

QList<Mapping> by_rss(const QMap<QString, Mapping>& by_path)
{
    QList<Mapping> mappings = by_path.values();
    std::sort(mappings.begin(), mappings.end(),
              [](const Mapping& a, const Mapping& b) { return a.rss_kb > b.rss_kb; });
    return mappings;
}

} // namespace procstats
