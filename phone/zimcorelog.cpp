#include "phone/zimcorelog.h"

#include "data/zimpaths.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <linphone/core.h>
#include <linphone/logging.h>

#include <cstdio>
#include <mutex>

namespace {

// The stream stays open for the life of the process; library threads write to it concurrently.
std::mutex log_mutex;
FILE* log_stream = nullptr;
bool callbacks_added = false;

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

void write_line(LinphoneLoggingService*, const char* domain, LinphoneLogLevel level, const char* message)
{
    std::lock_guard<std::mutex> lock(log_mutex);
    if (!log_stream)
        return;
    const QByteArray stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toLatin1();
    std::fprintf(log_stream, "%s %s-%s-%s\n", stamp.constData(), domain ? domain : "", level_name(level),
                 message ? message : "");
    std::fflush(log_stream);
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
    LinphoneLoggingService* service = linphone_logging_service_get();
    if (!callbacks_added) {
        LinphoneLoggingServiceCbs* cbs = linphone_factory_create_logging_service_cbs(linphone_factory_get());
        linphone_logging_service_cbs_set_log_message_written(cbs, write_line);
        linphone_logging_service_add_callbacks(service, cbs);
        linphone_logging_service_cbs_unref(cbs);
        callbacks_added = true;
    }
    linphone_logging_service_set_log_level(service, LinphoneLogLevelMessage);
    return true;
}
