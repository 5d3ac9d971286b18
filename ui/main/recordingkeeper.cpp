#include "ui/main/recordingkeeper.h"

#include "data/recordingfiles.h"
#include "data/zimdata.h"
#include "data/zimlogger.h"

#include <QDateTime>
#include <QDir>

RecordingKeeper::RecordingKeeper(QObject* parent, ZimData* data, ZimLogger* logger)
    : QObject(parent), data(data), logger(logger)
{
    const QString folder = recordings::folder_of(data->other_settings());
    if (QDir(folder).exists()) {
        const int repaired = recordings::repair_folder(folder);
        if (repaired > 0)
            logger->log(QStringLiteral("recordings left open by an earlier run repaired: %1 in %2")
                            .arg(repaired)
                            .arg(folder),
                        1);
    }
    slot_sweep();
    daily.setInterval(24 * 60 * 60 * 1000);
    connect(&daily, &QTimer::timeout, this, &RecordingKeeper::slot_sweep);
    daily.start();
}

void RecordingKeeper::slot_sweep()
{
    const QMap<QString, QString> other = data->other_settings();
    const int days = recordings::days_kept(other);
    const QString folder = recordings::folder_of(other);
    const int removed = recordings::remove_older_than(folder, days, QDateTime::currentDateTime());
    if (removed > 0)
        logger->log(QStringLiteral("recordings older than %1 days removed: %2 in %3")
                        .arg(days)
                        .arg(removed)
                        .arg(folder),
                    1);
}
