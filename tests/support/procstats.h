#pragma once

#include <QList>

// What the kernel counts for a running process, read from /proc (benches only).
namespace procstats {
// The process and every descendant alive now.
QList<qint64> tree(qint64 pid);
// CPU time of every thread of a process, in seconds, from the scheduler's nanosecond counters:
// clock ticks are too coarse for the few hundredths of a second an idle minute costs.
double cpu_seconds(qint64 pid);
// Resident set size in kB (0 when the process is gone).
qint64 rss_kb(qint64 pid);
} // namespace procstats
