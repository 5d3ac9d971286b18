#include "ui/cti/webenginesetup.h"

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace zim {

bool prepare_web_engine()
{
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
