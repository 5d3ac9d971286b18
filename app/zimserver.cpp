#include "app/zimserver.h"

#include "ui/main/mainwindow.h"

#include <QLocalServer>
#include <QLocalSocket>

ZimServer::ZimServer(const QString& name, QObject* parent) : QObject(parent), server(new QLocalServer(this))
{
    // Only the same user may drive the softphone.
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name)) {
        // A crashed instance leaves its endpoint behind.
        if (QLocalServer::removeServer(name))
            server->listen(name);
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
    if (main_window) {
        main_window->activateWindow();
        main_window->show();
    }
    QLocalSocket* socket = server->nextPendingConnection();
    if (!socket)
        return;
    connect(socket, &QLocalSocket::readyRead, this, &ZimServer::solt_ready_read_handler);
    // Messengers come and go all day; their sockets must not pile up.
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
}

void ZimServer::solt_ready_read_handler()
{
    auto* socket = qobject_cast<QLocalSocket*>(sender());
    if (!socket)
        return;
    const QString command = QString::fromUtf8(socket->readAll());
    if (main_window)
        main_window->handle_client_command(command);
    socket->write(QStringLiteral("OK").toUtf8());
    socket->flush();
}
