#include "data/installlayout.h"

#include <QDir>
#include <QFileInfo>

namespace {
const QString MODULE_FILE = QStringLiteral("libvelora-softphone-app.so");
const QString INSTALLED_PART = QStringLiteral("/../lib/velora-softphone");
const QString PACKAGE = QStringLiteral("velora-softphone");
} // namespace

InstallLayout::InstallLayout(const QString& executable_dir) : dir(executable_dir)
{
    // A copied folder may carry a stray lib/ next to it; the module beside the executable wins.
    installed = !QFileInfo::exists(dir + QLatin1Char('/') + MODULE_FILE) &&
                QFileInfo::exists(dir + INSTALLED_PART + QLatin1Char('/') + MODULE_FILE);
}

QString InstallLayout::module_path(const QString& name) const
{
    return QDir::cleanPath(dir + (installed ? INSTALLED_PART : QString())) + QLatin1Char('/') + name;
}

QString InstallLayout::sounds_dir() const
{
    if (installed)
        return QDir::cleanPath(dir + QStringLiteral("/../share/") + PACKAGE + QStringLiteral("/sounds"));
    return dir + QStringLiteral("/share/sounds");
}

QString InstallLayout::data_dir() const
{
    if (!installed)
        return dir + QStringLiteral("/data");
    // A relative XDG_DATA_HOME is invalid and is ignored, as desktops do.
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base) + QLatin1Char('/') + PACKAGE;
}
