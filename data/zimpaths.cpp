#include "data/zimpaths.h"

#include "data/zimconstants.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
QString& override_dir()
{
    static QString dir;
    return dir;
}

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

QString data_path(const QString& relative)
{
    return app_dir() + relative;
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

} // namespace zim
