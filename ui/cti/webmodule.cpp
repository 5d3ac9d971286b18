#include "ui/cti/webmodule.h"

#include "data/installlayout.h"

#include <QCoreApplication>
#include <QLibrary>

namespace {

const QString MODULE_NAME = QStringLiteral("velora-softphone-web");

QString& directory_override()
{
    static QString dir;
    return dir;
}

} // namespace

void WebModule::set_directory(const QString& dir)
{
    directory_override() = dir;
}

SitePage* WebModule::create_page(QWidget* parent, SitePage::LoadFinished on_load_finished, SitePage::Log log,
                                 SitePage::CheckCertificate check, QString* error)
{
    const QString dir =
        directory_override().isEmpty() ? QCoreApplication::applicationDirPath() : directory_override();
    // Never unloaded: the engine keeps threads and global state for the life of the process.
    static QLibrary module;
    if (!module.isLoaded())
        module.setFileName(InstallLayout(dir).module_path(MODULE_NAME));
    auto create = reinterpret_cast<CreateSitePage>(module.resolve(VELORA_CREATE_SITE_PAGE));
    if (!create) {
        if (error)
            *error = module.errorString();
        return nullptr;
    }
    return create(parent, std::move(on_load_finished), std::move(log), std::move(check));
}
