#include "support/processprobe.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>

#include <cstdio>

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
