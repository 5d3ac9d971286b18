#include "app/instancenames.h"

#include "data/zimconstants.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QString FOLDER = QStringLiteral("velora-softphone");

QString temp_dir(const QProcessEnvironment& env)
{
    const QString tmp = env.value(QStringLiteral("TMPDIR"));
    return tmp.isEmpty() ? QStringLiteral("/tmp") : QDir::cleanPath(tmp);
}

QString usual_dir(const QProcessEnvironment& env)
{
    const QString runtime = env.value(QStringLiteral("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return QDir::cleanPath(runtime) + QLatin1Char('/') + FOLDER;
    return temp_dir(env) + QLatin1Char('/') + FOLDER + QLatin1Char('-') + zim::instance_user(env);
}

// The kernel holds a socket's path in 108 bytes, its final NUL included.
bool socket_fits(const QString& dir, const QProcessEnvironment& env)
{
    return QFile::encodeName(zim::local_server_name(dir, env)).size() < int(sizeof(sockaddr_un::sun_path));
}

// A runtime or temporary folder deep in a profile would put the socket past that: the user's
// short private folder under /tmp serves instead, on the same terms.
QString short_dir(const QProcessEnvironment& env)
{
    return QStringLiteral("/tmp/") + FOLDER + QLatin1Char('-') + zim::instance_user(env);
}

// Empty when `path` is, or has just become, a folder of this user's with mode 0700; else why not.
// lstat, so that a link to someone else's folder counts as theirs.
QString claim_private_dir(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) == 0)
        ::chmod(native.constData(), 0700); // the umask took nothing away
    else if (errno != EEXIST)
        return QString::fromLocal8Bit(std::strerror(errno));
    struct stat info
    {
    };
    if (::lstat(native.constData(), &info) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("not a folder");
    if (info.st_uid != ::geteuid())
        return QStringLiteral("owned by uid %1").arg(info.st_uid);
    if ((info.st_mode & 07777) != 0700)
        return QStringLiteral("mode %1, not 0700").arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'));
    return QString();
}

} // namespace

namespace zim {

QString instance_user(const QProcessEnvironment& env)
{
    const QString seam = env.value(QStringLiteral("VELORA_TEST_UID"));
    return seam.isEmpty() ? QString::number(::getuid()) : seam;
}

InstanceDir instance_dir(const QString& fallback, const QProcessEnvironment& env)
{
    const QString usual = socket_fits(usual_dir(env), env) ? usual_dir(env) : short_dir(env);
    const QString problem = claim_private_dir(usual);
    if (problem.isEmpty())
        return {usual, QString()};
    QDir().mkpath(fallback);
    QFile::setPermissions(fallback, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return {fallback, QStringLiteral("%1 refused (%2); lock and command socket in %3 instead")
                          .arg(usual, problem, fallback)};
}

QString instance_lock_path(const QString& dir, const QProcessEnvironment& env)
{
    return dir + QLatin1Char('/') + INSTANCE_LOCK_NAME + QLatin1Char('-') + instance_user(env) +
           QStringLiteral(".lock");
}

QString local_server_name(const QString& dir, const QProcessEnvironment& env)
{
    return dir + QLatin1Char('/') + LOCAL_SERVER_NAME + QLatin1Char('-') + instance_user(env);
}

} // namespace zim
