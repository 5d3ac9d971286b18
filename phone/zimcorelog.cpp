#include "phone/zimcorelog.h"

#include "data/zimpaths.h"
#include "phone/librarycallback.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <linphone/core.h>
#include <linphone/logging.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace {

// The stream stays open for the life of the process; library threads write to it concurrently.
std::mutex log_mutex;
FILE* log_stream = nullptr;
bool callbacks_added = false;
QString connection_failure;
QList<QByteArray> secret_texts;
const QByteArray MASK = "********";

const char* level_name(LinphoneLogLevel level)
{
    switch (level) {
    case LinphoneLogLevelDebug:
        return "debug";
    case LinphoneLogLevelTrace:
        return "trace";
    case LinphoneLogLevelMessage:
        return "message";
    case LinphoneLogLevelWarning:
        return "warning";
    case LinphoneLogLevelError:
        return "error";
    default:
        return "fatal";
    }
}

// The SIP channel's errors say why the server could not be reached; the handshake's own reason
// beats the "Cannot connect" line that follows it.
void note_connection_failure(const char* domain, LinphoneLogLevel level, const char* message)
{
    if (level < LinphoneLogLevelError || !message || qstrcmp(domain, "belle-sip") != 0)
        return;
    const QString text = QString::fromUtf8(message);
    if (text.contains(QLatin1String("handshake"), Qt::CaseInsensitive) ||
        text.contains(QLatin1String("certificate"), Qt::CaseInsensitive))
        connection_failure = text;
    else if (text.startsWith(QLatin1String("Cannot connect")) && connection_failure.isEmpty())
        connection_failure = text;
}

void write_locked(const char* domain, LinphoneLogLevel level, const char* message)
{
    std::lock_guard<std::mutex> lock(log_mutex);
    note_connection_failure(domain, level, message);
    if (!log_stream)
        return;
    QByteArray text(message ? message : "");
    for (const QByteArray& secret : secret_texts)
        text.replace(secret, MASK);
    const QByteArray stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toLatin1();
    std::fprintf(log_stream, "%s %s-%s-%s\n", stamp.constData(), domain ? domain : "", level_name(level),
                 text.constData());
    std::fflush(log_stream);
}

// Called by the library from any of its threads.
LIBRARY_CALLBACK void write_line(LinphoneLoggingService*, const char* domain, LinphoneLogLevel level,
                                 const char* message)
{
    write_locked(domain, level, message);
}

// Called with log_mutex held.
void add_callbacks()
{
    if (callbacks_added)
        return;
    LinphoneLoggingServiceCbs* cbs = linphone_factory_create_logging_service_cbs(linphone_factory_get());
    linphone_logging_service_cbs_set_log_message_written(cbs, write_line);
    linphone_logging_service_add_callbacks(linphone_logging_service_get(), cbs);
    linphone_logging_service_cbs_unref(cbs);
    callbacks_added = true;
}

} // namespace

void ZimCoreLog::rotate(const QString& path)
{
    QFileInfo info(path);
    if (!info.exists())
        return;
    const QString format = QStringLiteral("yyyyMMdd");
    if (info.lastModified().date().toString(format) == QDate::currentDate().toString(format))
        return;
    const QString older = path + QStringLiteral("1");
    if (QFile::exists(older))
        QFile::remove(older);
    QFile::rename(path, older);
}

bool ZimCoreLog::start(const QString& path)
{
    rotate(path);
    FILE* stream = std::fopen(path.toUtf8().constData(), "a");
    if (!stream)
        return false;
    zim::make_file_private(path);

    std::lock_guard<std::mutex> lock(log_mutex);
    if (log_stream)
        std::fclose(log_stream);
    log_stream = stream;
    add_callbacks();
    linphone_logging_service_set_log_level(linphone_logging_service_get(), LinphoneLogLevelMessage);
    return true;
}

void ZimCoreLog::watch()
{
    std::lock_guard<std::mutex> lock(log_mutex);
    add_callbacks();
}

QString ZimCoreLog::take_connection_failure()
{
    std::lock_guard<std::mutex> lock(log_mutex);
    const QString reason = connection_failure;
    connection_failure.clear();
    return reason;
}

void ZimCoreLog::set_secrets(const QStringList& secrets)
{
    std::lock_guard<std::mutex> lock(log_mutex);
    secret_texts.clear();
    for (const QString& secret : secrets) {
        // The library may write a password as it was handed over (Latin-1) or as UTF-8.
        for (const QByteArray& form : {secret.toUtf8(), secret.toLatin1()}) {
            if (!form.isEmpty() && !secret_texts.contains(form))
                secret_texts.append(form);
        }
    }
    // A secret inside a longer one must not leave the rest of the longer one readable.
    std::sort(secret_texts.begin(), secret_texts.end(),
              [](const QByteArray& a, const QByteArray& b) { return a.size() > b.size(); });
}
