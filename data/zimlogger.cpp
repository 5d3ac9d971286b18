#include "data/zimlogger.h"

#include "data/zimconstants.h"
#include "data/zimpaths.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace {
const int GENERATIONS = 6;
}

ZimLogger::ZimLogger(QObject* parent) : QObject(parent)
{
    rotate();
}

QString ZimLogger::log_path()
{
    return zim::data_path(zim::LOG_FILE);
}

// Runs once per start: yesterday's file becomes logger1 and the older ones move up by one.
// A rename onto an occupied name fails and leaves both files; a stray logger7 is removed.
void ZimLogger::rotate()
{
    const QString path = log_path();
    QFileInfo info(path);
    if (!info.exists())
        return;
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    const QString modified = info.lastModified().date().toString(QStringLiteral("yyyyMMdd"));
    if (today == modified)
        return;
    for (int n = GENERATIONS; n >= 1; --n) {
        const QString from = path + QString::number(n);
        if (QFile::exists(from))
            QFile::rename(from, path + QString::number(n + 1));
    }
    const QString overflow = path + QString::number(GENERATIONS + 1);
    if (QFile::exists(overflow))
        QFile::remove(overflow);
    QFile::rename(path, path + QStringLiteral("1"));
}

void ZimLogger::log(const QString& message, int level)
{
    Q_UNUSED(level)
    const QString line = QStringLiteral("[") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) +
                         QStringLiteral("] ") + message;
    if (echo)
        qInfo().noquote() << line;

    std::lock_guard lock(mutex);
    QFile file(log_path());
    const bool is_new = !file.exists();
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Text))
        return;
    if (is_new)
        zim::make_file_private(file.fileName());
    QTextStream out(&file);
    out.setCodec("UTF-8");
    out << line << '\n';
}
