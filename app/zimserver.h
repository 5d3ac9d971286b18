#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class MainWindow;
class QLocalServer;
class ZimLogger;

// Listening side of the local command channel in the running instance. Only the phone's own
// user is served: a connection from another uid is closed at once, unread, with a log line.
// Every other connection raises the main window; the bytes that arrive are one command,
// answered "OK" when they are UTF-8 text without NUL of at most 16 KB, and the connection is
// closed either way. A failed listen is logged: later starts then cannot reach this phone.
class ZimServer : public QObject
{
    Q_OBJECT
public:
    ZimServer(const QString& name, ZimLogger* logger, QObject* parent = nullptr);

    void set_main_window(MainWindow* window);
    bool is_listening() const;

public slots:
    void solt_socket_new_connection();
    void solt_ready_read_handler();

private:
    QLocalServer* server;
    QPointer<MainWindow> main_window;
    ZimLogger* logger;
};
