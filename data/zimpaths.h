#pragma once

#include <QString>

// The executable's directory, where the program keeps data/, its logs and its sounds.
// Tests point it at a temporary directory so that each test gets a store and logs of its own.
namespace zim {
QString app_dir();
void set_app_dir_for_tests(const QString& dir);
QString data_path(const QString& relative); // app_dir() + relative, e.g. data_path(LOG_FILE)

// The data directory and the log directory below it, with owner-only permissions
// (they hold the SIP and operator passwords). Returns false when it cannot be created.
bool make_private_log_dir();
// Restricts an existing file to its owner (rw-------).
void make_file_private(const QString& path);
} // namespace zim
