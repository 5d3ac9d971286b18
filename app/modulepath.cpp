#include "app/modulepath.h"

namespace zim {

QString module_path(const QString& executable_dir, const QString& name)
{
    // The modules sit beside the executable.
    return executable_dir + QLatin1Char('/') + name;
}

} // namespace zim
