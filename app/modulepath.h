#pragma once

#include <QString>

namespace zim {
// Where the program's module `name` (without prefix or suffix, as QLibrary takes it) lives,
// given the directory of the running executable.
QString module_path(const QString& executable_dir, const QString& name);
} // namespace zim
