#pragma once

#include <QObject>
#include <QString>

class QLocalSocket;

// Sending side of the local command channel: one command per connection, answered with "OK".
// Used by a later instance before any application object exists, so everything here blocks.
class ZimClient : public QObject
{
    Q_OBJECT
public:
    explicit ZimClient(QObject* parent = nullptr);
    ~ZimClient() override;

    // Waits at most 30 s for the running instance, which may still be starting up.
    void connect_to_server(const QString& name);
    // Sends the command's UTF-8 bytes up to the first NUL and waits for the reply.
    void send_command(const QString& text);

private:
    QLocalSocket* socket;
};

namespace zim {
// The command a start of the program stands for: the arguments after the program name, read as
// UTF-8, each followed by "&", without the last "&".
QString command_from_arguments(int argc, char* argv[]);
} // namespace zim
