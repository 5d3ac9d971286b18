#pragma once

#include <QProcessEnvironment>
#include <QString>

// The single-instance names of one user, so that every user of a shared machine runs a phone of
// their own: the lock key and the local socket carry the user id, and the socket lives in the
// user's runtime directory when there is one. VELORA_TEST_UID stands in for the user id where
// tests play two users with one real account.
namespace zim {
QString instance_user(const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
QString instance_lock_key(const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
// A full path in $XDG_RUNTIME_DIR, or a bare name that Qt places in the temporary directory.
QString local_server_name(const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
} // namespace zim
