#pragma once

#include <QList>
#include <QMap>
#include <QString>

// What the kernel counts for a running process, read from /proc (benches only).
namespace procstats {
// The process and every descendant alive now.
QList<qint64> tree(qint64 pid);
// CPU time of every thread of a process, in seconds, from the scheduler's nanosecond counters:
// clock ticks are too coarse for the few hundredths of a second an idle minute costs.
double cpu_seconds(qint64 pid);
// The same summed over these processes (those gone count nothing).
double cpu_seconds(const QList<qint64>& pids);
// Neither gone nor a zombie waiting for a parent to collect it.
bool running(qint64 pid);
// Resident set size in kB (0 when the process is gone).
qint64 rss_kb(qint64 pid);
// Proportional set size in kB: each shared page divided among the processes that map it (0 when
// the process is gone).
qint64 pss_kb(qint64 pid);

// Context switches so far of each thread of a process, by thread id: voluntary ones (the thread
// blocked, so each is one sleep and the wake-up after it) plus involuntary ones (preempted).
QMap<qint64, qint64> thread_switches(qint64 pid);
// The switches between two readings: a thread new in the later one counts from zero, one that
// ended in between is left out.
qint64 switches_between(const QMap<qint64, qint64>& before, const QMap<qint64, qint64>& after);

// What is resident, by mapped file ("[heap]", "[stack]", "[anon]" for memory without a name).
struct Mapping
{
    QString path;
    qint64 rss_kb = 0;
    qint64 pss_kb = 0;
};
// Adds the process's mappings to the totals by path.
void add_mappings(qint64 pid, QMap<QString, Mapping>& by_path);
// The largest first.
QList<Mapping> by_rss(const QMap<QString, Mapping>& by_path);
} // namespace procstats
