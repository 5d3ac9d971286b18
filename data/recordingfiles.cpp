#include "data/recordingfiles.h"

#include "data/zimpaths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace recordings {

namespace {

const qint64 WAV_HEADER = 44;

QString os_error()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool make_folder(const QString& folder, QString* error)
{
    const QByteArray path = QFile::encodeName(folder);
    if (!QDir().mkpath(folder)) {
        // mkpath says nothing of why: ask the system once more for the reason.
        if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
            *error = os_error();
            return false;
        }
    }
    struct stat info {};
    if (::stat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = QStringLiteral("not a folder");
        return false;
    }
    // A folder of the user's own is closed to everyone else; one an administrator provides
    // (a shared mount) keeps its own permissions, and the files in it are private anyway.
    if (info.st_uid == ::getuid() && (info.st_mode & 0777) != 0700)
        ::chmod(path.constData(), 0700);
    return true;
}

quint32 le32(const QByteArray& bytes, int at)
{
    return qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(bytes.constData() + at));
}

} // namespace

QString folder_of(const QMap<QString, QString>& other)
{
    const QString folder = other.value(QStringLiteral("recordingFolder")).trimmed();
    return folder.isEmpty() ? zim::data_dir() + QStringLiteral("/recordings") : folder;
}

bool records_every_call(const QMap<QString, QString>& other)
{
    return other.value(QStringLiteral("recordCalls")) == QLatin1String("1");
}

int days_kept(const QMap<QString, QString>& other)
{
    return qMax(0, other.value(QStringLiteral("recordingDays")).toInt());
}

QString clean_number(const QString& number)
{
    QString cleaned;
    for (const QChar c : number) {
        if ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('+') ||
            c == QLatin1Char('*') || c == QLatin1Char('#'))
            cleaned.append(c);
    }
    cleaned.truncate(64);
    return cleaned.isEmpty() ? QStringLiteral("unknown") : cleaned;
}

QString create_file(const QString& folder, const QDateTime& start, const QString& number, QString* error)
{
    QString reason;
    if (!make_folder(folder, &reason)) {
        if (error)
            *error = reason;
        return QString();
    }
    const QString stem = QStringLiteral("%1/%2_%3")
                             .arg(folder, start.toString(QStringLiteral("yyyyMMdd-HHmmss")), clean_number(number));
    for (int attempt = 1; attempt < 100; ++attempt) {
        const QString path = attempt == 1 ? stem + QStringLiteral(".wav")
                                          : QStringLiteral("%1-%2.wav").arg(stem).arg(attempt);
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) {
            reason = os_error();
            break;
        }
        reason = QStringLiteral("too many recordings of the same second");
    }
    if (error)
        *error = reason;
    return QString();
}

qint64 sound_bytes(const QString& path)
{
    const qint64 size = QFileInfo(path).size();
    return size > WAV_HEADER ? size - WAV_HEADER : 0;
}

bool repair_header(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const QByteArray head = file.read(512);
    if (head.size() < int(WAV_HEADER) || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return false;
    // Walk the chunks to the sound: the header may carry others before it.
    int at = 12;
    while (at + 8 <= head.size() && head.mid(at, 4) != "data")
        at += 8 + int(le32(head, at + 4));
    if (at + 8 > head.size())
        return false;
    const qint64 size = file.size();
    const quint32 riff = quint32(size - 8);
    const quint32 data = quint32(size - at - 8);
    if (le32(head, 4) == riff && le32(head, at + 4) == data)
        return true;
    uchar bytes[4];
    qToLittleEndian(riff, bytes);
    bool ok = file.seek(4) && file.write(reinterpret_cast<const char*>(bytes), 4) == 4;
    qToLittleEndian(data, bytes);
    ok = ok && file.seek(at + 4) && file.write(reinterpret_cast<const char*>(bytes), 4) == 4;
    return ok && file.flush();
}

int repair_folder(const QString& folder)
{
    int repaired = 0;
    QDirIterator files(folder, {QStringLiteral("*.wav")}, QDir::Files);
    while (files.hasNext()) {
        const QString path = files.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray head = file.read(WAV_HEADER);
        file.close();
        if (head.size() == WAV_HEADER && le32(head, 4) != quint32(QFileInfo(path).size() - 8) &&
            repair_header(path))
            ++repaired;
    }
    return repaired;
}

int remove_older_than(const QString& folder, int days, const QDateTime& now)
{
    if (days <= 0)
        return 0;
    const QDateTime limit = now.addDays(-days);
    int removed = 0;
    QDirIterator files(folder, {QStringLiteral("*.wav")}, QDir::Files);
    while (files.hasNext()) {
        const QString path = files.next();
        if (QFileInfo(path).lastModified() < limit && QFile::remove(path))
            ++removed;
    }
    return removed;
}

} // namespace recordings
