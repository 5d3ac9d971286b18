#include "app/zimserver.h"

#include "app/peeruid.h"
#include "data/zimlogger.h"
#include "ui/main/mainwindow.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTextCodec>
#include <QTimer>

namespace {
// No link or action word comes near this; anything longer is not a command.
const qint64 MAX_COMMAND_BYTES = 16 * 1024;
// A messenger sends its command as soon as it is connected; one that stays silent this long
// is dropped so that idle connections never pile up.
const int IDLE_MS = 5000;

bool is_command(const QByteArray& bytes)
{
    if (bytes.isEmpty() || bytes.size() > MAX_COMMAND_BYTES || bytes.contains('\0'))
        return false;
    QTextCodec::ConverterState state;
    QTextCodec::codecForMib(106)->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}
} // namespace

ZimServer::ZimServer(const QString& name, ZimLogger* logger, QObject* parent)
    : QObject(parent), server(new QLocalServer(this)), logger(logger)
{
    // Only the same user may drive the softphone.
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name)) {
        // A crashed instance leaves its endpoint behind. Only the lock's holder listens here, in
        // the user's own folder, so whatever has the name is left over and may go.
        QLocalServer::removeServer(name);
        if (!server->listen(name))
            logger->log(QStringLiteral("Command channel: cannot listen on %1 (%2); later starts "
                                       "cannot reach this phone")
                            .arg(name, server->errorString()),
                        2);
    }
    connect(server, &QLocalServer::newConnection, this, &ZimServer::solt_socket_new_connection);
}

void ZimServer::set_main_window(MainWindow* window)
{
    main_window = window;
}

bool ZimServer::is_listening() const
{
    return server->isListening();
}

void ZimServer::solt_socket_new_connection()
{
    QLocalSocket* socket = server->nextPendingConnection();
    if (!socket)
        return;
    const int fd = int(socket->socketDescriptor());
    if (!zim::peer_is_same_user(fd)) {
        logger->log(
            QStringLiteral("Command channel: refused a connection from uid %1").arg(zim::peer_uid(fd)), 2);
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (main_window)
        main_window->bring_to_front();
    connect(socket, &QLocalSocket::readyRead, this, &ZimServer::solt_ready_read_handler);
    // Messengers come and go all day; their sockets must not pile up.
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(IDLE_MS, socket, [socket] { socket->abort(); });
}

void ZimServer::solt_ready_read_handler()
{
    auto* socket = qobject_cast<QLocalSocket*>(sender());
    if (!socket)
        return;
    const QByteArray bytes = socket->readAll();
    // Bytes that are no command (too long, NUL, not UTF-8) end the connection unanswered.
    if (!is_command(bytes)) {
        socket->abort();
        return;
    }
    // "OK" when the command was taken; "NO" and the reason when a call it asks for is refused, so
    // that the program that sent it can tell nothing was dialled.
    const QString refusal =
        main_window ? main_window->handle_client_command(QString::fromUtf8(bytes)) : QString();
    socket->write(refusal.isEmpty() ? QByteArray("OK") : QByteArray("NO ") + refusal.toUtf8());
    // One command per connection: closing here frees the socket even if the client never does.
    socket->disconnectFromServer();
}
