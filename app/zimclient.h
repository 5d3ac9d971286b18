#pragma once

#include <QString>

// Sending side of the local command channel: one command per connection, answered with "OK".
// Used by a later instance before any application object exists, so everything here blocks.
// It speaks to the running instance's QLocalServer over a plain Unix socket, so that a later
// start loads nothing beyond Qt Core.
class ZimClient
{
public:
    ZimClient() = default;
    ~ZimClient();
    ZimClient(const ZimClient&) = delete;
    ZimClient& operator=(const ZimClient&) = delete;

    // Where the server named `name` listens: Qt's local server puts a plain name in its
    // temporary directory and takes a full path as it is.
    static QString socket_path(const QString& name);

    // One attempt without waiting: true when a running instance of the same user took the
    // connection.
    bool try_connect(const QString& name);
    // Waits at most 30 s for the running instance, which may still be starting up; false when it
    // could not be reached (error() says why).
    bool connect_to_server(const QString& name);
    // Sends the command's UTF-8 bytes up to the first NUL and waits for the reply; false when the
    // running instance did not confirm it (error() says why).
    bool send_command(const QString& text);
    // Why the last connection or command failed, as one line naming the socket.
    QString error() const { return failure; }
    // The running phone took the command and refused the call it asks for (error() says why).
    bool refused() const { return was_refused; }

private:
    void close_socket();
    // 0 when connected, else the connect error.
    int connect_once(const QString& name);

    int socket_fd = -1;
    QString path_used;
    QString failure;
    bool was_refused = false;
};

namespace zim {
// The command a start of the program stands for: the arguments after the program name, read as
// UTF-8, each followed by "&", without the last "&".
QString command_from_arguments(int argc, char* argv[]);
} // namespace zim
