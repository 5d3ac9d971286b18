#include "app/zimclient.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QThread>

namespace {
const int TIMEOUT_MS = 30000;
}

ZimClient::ZimClient(QObject* parent) : QObject(parent), socket(new QLocalSocket) {}

ZimClient::~ZimClient()
{
    socket->disconnectFromServer();
    delete socket;
}

void ZimClient::connect_to_server(const QString& name)
{
    // A running instance creates its lock before its server listens; retry while the server
    // is not there yet instead of dropping the command. Any other error ends the attempt.
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        socket->connectToServer(name, QIODevice::ReadWrite);
        if (socket->waitForConnected(int(qMax<qint64>(0, TIMEOUT_MS - clock.elapsed()))))
            return;
        const auto error = socket->error();
        const bool not_listening_yet =
            error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError;
        if (!not_listening_yet || clock.elapsed() >= TIMEOUT_MS)
            return;
        socket->abort();
        QThread::msleep(20);
    }
}

void ZimClient::send_command(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    if (socket->state() != QLocalSocket::ConnectedState)
        return;
    socket->write(bytes);
    socket->flush();
    socket->waitForBytesWritten(TIMEOUT_MS);
    if (socket->bytesAvailable() == 0)
        socket->waitForReadyRead(TIMEOUT_MS);
    socket->readAll(); // the reply's content does not matter
}

QString zim::command_from_arguments(int argc, char* argv[])
{
    QString command;
    for (int i = 1; i < argc; ++i)
        command += QString::fromUtf8(argv[i]) + QLatin1Char('&');
    command.chop(1);
    return command;
}
