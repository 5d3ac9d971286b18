#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP become a Qt signal on the thread that made this object, through a
// self-pipe: the handler only writes a byte, the event loop does the rest. Linux-only.
class ExitSignals : public QObject
{
    Q_OBJECT
public:
    explicit ExitSignals(QObject* parent = nullptr);

signals:
    void signal_exit_requested(int signalNumber);

private:
    void read_pipe();

    QSocketNotifier* notifier = nullptr;
};
