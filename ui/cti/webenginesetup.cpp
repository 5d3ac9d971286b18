#include "ui/cti/webenginesetup.h"

#include <QCoreApplication>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace zim {

bool prepare_web_engine()
{
    // Windows that may hold OpenGL content make the platform open the OpenGL driver with the first
    // window of all; raster windows leave it unloaded, and the web page draws in software.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
#ifdef Q_OS_UNIX
    // Qt has no notion of the effective user; the sandbox question only arises on Unix.
    if (geteuid() != 0)
        return false;
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    return true;
#else
    return false;
#endif
}

QString web_engine_sandbox_note()
{
    return QStringLiteral("running as root: web engine sandbox disabled (QTWEBENGINE_DISABLE_SANDBOX=1)");
}

} // namespace zim
