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
    struct stat info
    {
    };
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
    const QString stem =
        QStringLiteral("%1/%2_%3")
            .arg(folder, start.toString(QStringLiteral("yyyyMMdd-HHmmss")), clean_number(number));
    for (int attempt = 1; attempt < 100; ++attempt) {
        const QString path =
            attempt == 1 ? stem + QStringLiteral(".wav") : QStringLiteral("%1-%2.wav").arg(stem).arg(attempt);
        const int fd =
            ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
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

void note_format(const QString& path, int rate, int channels)
{
    const QString note = path + QStringLiteral(".part");
    const int fd =
        ::open(QFile::encodeName(note).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const QByteArray text = QByteArray::number(rate) + ' ' + QByteArray::number(channels) + '\n';
    const bool written = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    ::close(fd);
    if (!written)
        QFile::remove(note);
}

void forget_format(const QString& path)
{
    QFile::remove(path + QStringLiteral(".part"));
}

namespace {

QByteArray wav_header(quint32 data_bytes, int rate, int channels)
{
    QByteArray header(int(WAV_HEADER), '\0');
    auto* bytes = reinterpret_cast<uchar*>(header.data());
    memcpy(bytes, "RIFF", 4);
    qToLittleEndian<quint32>(data_bytes + 36, bytes + 4);
    memcpy(bytes + 8, "WAVEfmt ", 8);
    qToLittleEndian<quint32>(16, bytes + 16);
    qToLittleEndian<quint16>(1, bytes + 20); // PCM
    qToLittleEndian<quint16>(quint16(channels), bytes + 22);
    qToLittleEndian<quint32>(quint32(rate), bytes + 24);
    qToLittleEndian<quint32>(quint32(rate * channels * 2), bytes + 28);
    qToLittleEndian<quint16>(quint16(channels * 2), bytes + 32);
    qToLittleEndian<quint16>(16, bytes + 34);
    memcpy(bytes + 36, "data", 4);
    qToLittleEndian<quint32>(data_bytes, bytes + 40);
    return header;
}

// A bare recording becomes a WAV: its header, then its sound, written beside it and put in its
// place whole (a failure on the way leaves the bare file as it was).
bool add_header(const QString& path)
{
    int rate = 8000, channels = 1;
    QFile note(path + QStringLiteral(".part"));
    if (note.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = note.readAll().simplified().split(' ');
        const int noted_rate = fields.value(0).toInt(), noted_channels = fields.value(1).toInt();
        if (noted_rate >= 8000 && noted_rate <= 192000 && noted_channels >= 1 && noted_channels <= 2) {
            rate = noted_rate;
            channels = noted_channels;
        }
    }
    QFile bare(path);
    if (!bare.open(QIODevice::ReadOnly))
        return false;
    const qint64 frame = 2 * channels;
    const qint64 sound = bare.size() / frame * frame; // a frame cut short by the kill is left out
    const QString whole = path + QStringLiteral(".whole");
    const int fd =
        ::open(QFile::encodeName(whole).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    QFile out;
    bool ok = out.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle) &&
              out.write(wav_header(quint32(sound), rate, channels)) == WAV_HEADER;
    for (qint64 left = sound; ok && left > 0;) {
        const QByteArray chunk = bare.read(qMin<qint64>(left, 1 << 20));
        ok = !chunk.isEmpty() && out.write(chunk) == chunk.size();
        left -= chunk.size();
    }
    ok = ok && out.flush();
    out.close();
    if (!ok || ::rename(QFile::encodeName(whole).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(whole);
        return false;
    }
    return true;
}

} // namespace

bool repair_header(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const QByteArray head = file.read(512);
    if (!head.startsWith("RIFF")) {
        file.close();
        return add_header(path);
    }
    if (head.size() < int(WAV_HEADER) || head.mid(8, 4) != "WAVE")
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
        const bool whole = head.startsWith("RIFF") && head.size() == WAV_HEADER &&
                           le32(head, 4) == quint32(QFileInfo(path).size() - 8);
        const bool fixed = !whole && !head.isEmpty() && repair_header(path);
        if (fixed)
            ++repaired;
        if (whole || fixed)
            forget_format(path);
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
