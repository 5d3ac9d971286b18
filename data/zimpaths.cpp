#include "data/zimpaths.h"

#include "data/installlayout.h"
#include "data/zimconstants.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString& override_dir()
{
    static QString dir;
    return dir;
}

// The layout of the running executable; it does not move while the program runs.
const InstallLayout& layout()
{
    static const InstallLayout running(QCoreApplication::applicationDirPath());
    return running;
}

const QString SOUNDS_PREFIX = QStringLiteral("./share/sounds/");

void make_dir_private(const QString& path)
{
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}
} // namespace

namespace zim {

QString app_dir()
{
    if (!override_dir().isEmpty())
        return override_dir();
    return QCoreApplication::applicationDirPath();
}

void set_app_dir_for_tests(const QString& dir)
{
    override_dir() = dir;
}

QString data_dir()
{
    if (!override_dir().isEmpty())
        return override_dir() + DATA_DIR;
    return layout().data_dir();
}

QString data_path(const QString& relative)
{
    if (relative.startsWith(DATA_DIR) &&
        (relative.size() == DATA_DIR.size() || relative.at(DATA_DIR.size()) == '/'))
        return data_dir() + relative.mid(DATA_DIR.size());
    return app_dir() + relative;
}

QString sound_file(const QString& path)
{
    // Run from its folder, the program's working directory is the executable's: the relative
    // path stands.
    if (!layout().is_installed() || !path.startsWith(SOUNDS_PREFIX))
        return path;
    return layout().sounds_dir() + QLatin1Char('/') + path.mid(SOUNDS_PREFIX.size());
}

bool make_private_log_dir()
{
    const QString data = data_path(DATA_DIR);
    const QString logs = data_path(LOG_DIR);
    if (!QDir().mkpath(logs))
        return false;
    make_dir_private(data);
    make_dir_private(logs);
    return true;
}

void make_file_private(const QString& path)
{
    if (QFileInfo::exists(path))
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

bool prepare_private_file(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool made_private = ::fchmod(fd, 0600) == 0;
    ::close(fd);
    return made_private;
}

} // namespace zim
