#pragma once

#include <QString>

// What the kernel says about a running process (from /proc/<pid>): resident memory, open file
// descriptors and threads. All -1 when the process is gone.
struct ProcessProbe
{
    qint64 rss_kb = -1;
    int fds = -1;
    int threads = -1;
};

ProcessProbe probe_process(qint64 pid);
// The first UDP port the process listens on on 127.0.0.1 or any address (from ss), 0 when none:
// the SIP port of a program that registers nowhere.
int udp_port_of(qint64 pid);
// Every thread's call stack, through gdb, for a process that stopped answering.
QString thread_stacks(qint64 pid);

// Stress cases run long (full) under scripts/stress and short inside ctest.
bool stress_full();
int stress_count(int full, int short_count);
// Prints one figure for the table scripts/stress draws and appends it to the file named by
// VELORA_STRESS_FIGURES, if any.
void report_figure(const QString& name, const QString& value);
