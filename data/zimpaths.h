#pragma once

#include <QString>

// The executable's directory and the user's data directory: data/ beside the executable when
// the program runs from its build folder or a copied folder, the XDG data directory when it is
// installed. Tests point the application directory at a temporary directory so that each test
// gets a store and logs of its own (always data/ below it).
namespace zim {
QString app_dir();
void set_app_dir_for_tests(const QString& dir);
QString data_dir();
// A path under DATA_DIR lands in data_dir(), e.g. data_path(LOG_FILE); others below app_dir().
QString data_path(const QString& relative);
// A sound constant ("./share/sounds/...") as a path in the running program's layout.
QString sound_file(const QString& path);

// The data directory and the log directory below it, with owner-only permissions
// (they hold the SIP and operator passwords). Returns false when it cannot be created.
bool make_private_log_dir();
// Restricts an existing file to its owner (rw-------).
void make_file_private(const QString& path);
// The same for a file about to be written with QSaveFile, which gives a new file the umask's
// permissions and keeps an existing file's: made private (and created empty when missing) first,
// it is never readable by others, not even between the write and a later make_file_private.
bool prepare_private_file(const QString& path);
} // namespace zim
