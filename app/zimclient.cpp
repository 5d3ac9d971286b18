#include "app/zimclient.h"

#include "app/peeruid.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const int TIMEOUT_MS = 30000;
const int RETRY_MS = 20;

int remaining_ms(const QElapsedTimer& clock)
{
    return int(qMax<qint64>(0, TIMEOUT_MS - clock.elapsed()));
}

} // namespace

ZimClient::~ZimClient()
{
    close_socket();
}

QString ZimClient::socket_path(const QString& name)
{
    if (name.startsWith(QLatin1Char('/')))
        return name;
    return QDir::tempPath() + QLatin1Char('/') + name;
}

void ZimClient::close_socket()
{
    if (socket_fd >= 0)
        ::close(socket_fd);
    socket_fd = -1;
}

int ZimClient::connect_once(const QString& name)
{
    close_socket();
    path_used = socket_path(name);
    const QByteArray path = QFile::encodeName(path_used);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= int(sizeof(address.sun_path)))
        return ENAMETOOLONG;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    socket_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket_fd < 0)
        return errno;
    if (::connect(socket_fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
        if (zim::peer_is_same_user(socket_fd))
            return 0;
        // Dialled numbers go to no one but the user's own phone.
        failure = QStringLiteral("%1 is served by uid %2, not this user: nothing sent")
                      .arg(path_used)
                      .arg(zim::peer_uid(socket_fd));
        close_socket();
        return EACCES;
    }
    const int error = errno;
    close_socket();
    return error;
}

bool ZimClient::try_connect(const QString& name)
{
    return connect_once(name) == 0;
}

bool ZimClient::connect_to_server(const QString& name)
{
    // A running instance creates its lock before its server listens; retry while the server
    // is not there yet instead of dropping the command. Any other error ends the attempt.
    QElapsedTimer clock;
    clock.start();
    failure.clear();
    for (;;) {
        const int error = connect_once(name);
        if (error == 0)
            return true;
        const bool not_listening_yet = error == ENOENT || error == ECONNREFUSED || error == EAGAIN;
        if (!not_listening_yet || clock.elapsed() >= TIMEOUT_MS) {
            if (failure.isEmpty())
                failure = QStringLiteral("the running phone cannot be reached at %1: %2")
                              .arg(path_used, QString::fromLocal8Bit(std::strerror(error)));
            return false;
        }
        ::usleep(RETRY_MS * 1000);
    }
}

bool ZimClient::send_command(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    if (socket_fd < 0)
        return false;
    const auto fail = [this](const char* why) {
        failure = QStringLiteral("the running phone at %1 did not take the command: %2")
                      .arg(path_used, QString::fromLocal8Bit(why));
        return false;
    };
    QElapsedTimer clock;
    clock.start();
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n =
            ::send(socket_fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(n < 0 ? std::strerror(errno) : "connection closed");
        sent += n;
    }
    // The reply's content does not matter; waiting for it tells that the command arrived.
    pollfd reply{socket_fd, POLLIN, 0};
    while (::poll(&reply, 1, remaining_ms(clock)) < 0 && errno == EINTR) {
    }
    if (!(reply.revents & POLLIN))
        return fail("no answer within 30 s");
    // "OK", or "NO" and the reason: the phone writes it at once and closes.
    QByteArray answer;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::recv(socket_fd, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n > 0 && answer.size() < 4096) {
            answer.append(buffer, int(n));
            continue;
        }
        // Nothing more yet: wait for the rest or the close, within what is left of the 30 s.
        pollfd more{socket_fd, POLLIN, 0};
        if (n == 0 || answer.isEmpty() || answer.size() >= 4096 || (n < 0 && errno != EAGAIN) ||
            ::poll(&more, 1, remaining_ms(clock)) <= 0)
            break;
    }
    if (answer.isEmpty())
        return fail("connection closed unanswered");
    if (answer.startsWith("NO")) {
        was_refused = true;
        failure = QStringLiteral("the running phone refused the command: %1")
                      .arg(QString::fromUtf8(answer.mid(3)).simplified());
        return false;
    }
    return true;
}

QString zim::command_from_arguments(int argc, char* argv[])
{
    QString command;
    for (int i = 1; i < argc; ++i)
        command += QString::fromUtf8(argv[i]) + QLatin1Char('&');
    command.chop(1);
    return command;
}
