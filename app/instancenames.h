#pragma once

#include <QProcessEnvironment>
#include <QString>

// Where one user's running phone keeps its lock and its command socket, so that every user of a
// shared machine runs a phone of their own and nobody else can block or reach it. Both live in a
// folder only the user can enter: $XDG_RUNTIME_DIR/velora-softphone, or velora-softphone-<uid> in
// the temporary directory when there is no runtime directory. VELORA_TEST_UID stands in for the
// user id in the names where tests play two users with one real account.
namespace zim {
QString instance_user(const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());

struct InstanceDir
{
    QString path;
    // Empty, or why the usual folder was refused (another user made it first, or opened it up).
    QString refusal;
};

// The user's private folder, made with mode 0700 when missing. An existing one must be a folder
// of this user's with mode 0700; anything else is refused, and `fallback` (the user's data
// directory, private as well) serves instead. The launcher and the running instance ask with the
// same environment and fallback, so they always agree.
InstanceDir instance_dir(const QString& fallback,
                         const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
// The lock file and the socket inside that folder.
QString instance_lock_path(const QString& dir,
                           const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
QString local_server_name(const QString& dir,
                          const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
} // namespace zim
