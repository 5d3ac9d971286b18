#include "support/processprobe.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>

#include <cstdio>

QString thread_stacks(qint64 pid)
{
    QProcess gdb;
    gdb.setProcessChannelMode(QProcess::MergedChannels);
    gdb.start(QStringLiteral("gdb"), {QStringLiteral("-batch"), QStringLiteral("-p"), QString::number(pid),
                                      QStringLiteral("-ex"), QStringLiteral("thread apply all bt 25")});
    if (!gdb.waitForStarted(5000))
        return QStringLiteral("(no gdb)");
    if (!gdb.waitForFinished(60000)) {
        gdb.kill();
        gdb.waitForFinished(5000);
    }
    // Only the frames; gdb's own chatter about symbols and threads is left out.
    QStringList frames;
    for (const QString& line : QString::fromLocal8Bit(gdb.readAll()).split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1Char('#')) || line.startsWith(QStringLiteral("Thread ")))
            frames.append(line.left(200));
    return frames.join(QLatin1Char('\n'));
}

ProcessProbe probe_process(qint64 pid)
{
    ProcessProbe probe;
    const QString base = QStringLiteral("/proc/%1/").arg(pid);
    QFile status(base + QStringLiteral("status"));
    if (!status.open(QIODevice::ReadOnly))
        return probe;
    const QString text = QString::fromLatin1(status.readAll());
    const auto field = [&text](const char* name) {
        const QRegularExpression line(QStringLiteral("^%1:\\s+(\\d+)").arg(QLatin1String(name)),
                                      QRegularExpression::MultilineOption);
        return text.contains(line) ? line.match(text).captured(1).toLongLong() : -1;
    };
    probe.rss_kb = field("VmRSS");
    probe.threads = int(field("Threads"));
    probe.fds = QDir(base + QStringLiteral("fd"))
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
                    .size();
    return probe;
}

bool stress_full()
{
    return qEnvironmentVariable("VELORA_STRESS_FULL") == QLatin1String("1");
}

int stress_count(int full, int short_count)
{
    return stress_full() ? full : short_count;
}

void report_figure(const QString& name, const QString& value)
{
    std::printf("STRESS-FIGURE\t%s\t%s\n", qPrintable(name), qPrintable(value));
    std::fflush(stdout);
    QFile file(qEnvironmentVariable("VELORA_STRESS_FIGURES"));
    if (file.fileName().isEmpty() || !file.open(QIODevice::Append | QIODevice::Text))
        return;
    QTextStream(&file) << name << '\t' << value << '\n';
}

int udp_port_of(qint64 pid)
{
    QProcess ss;
    ss.start(QStringLiteral("ss"), {QStringLiteral("-Hulpn")});
    if (!ss.waitForFinished(5000)) {
        ss.kill();
        ss.waitForFinished(1000);
        return 0;
    }
    const QString owner = QStringLiteral("pid=%1,").arg(pid);
    for (const QString& line : QString::fromUtf8(ss.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        if (!line.contains(owner))
            continue;
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        if (fields.size() > 3)
            return fields.at(3).section(QLatin1Char(':'), -1).toInt();
    }
    return 0;
}
