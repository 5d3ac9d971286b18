#include "app/instancenames.h"

#include "data/zimconstants.h"

#include <QFileInfo>

#include <unistd.h>

namespace zim {

QString instance_user(const QProcessEnvironment& env)
{
    const QString seam = env.value(QStringLiteral("VELORA_TEST_UID"));
    return seam.isEmpty() ? QString::number(::getuid()) : seam;
}

QString instance_lock_key(const QProcessEnvironment& env)
{
    return SHARED_MEMORY_KEY + QLatin1Char('-') + instance_user(env);
}

QString local_server_name(const QProcessEnvironment& env)
{
    const QString name = LOCAL_SERVER_NAME + QLatin1Char('-') + instance_user(env);
    const QString runtime = env.value(QStringLiteral("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime + QLatin1Char('/') + name;
    return name;
}

} // namespace zim
