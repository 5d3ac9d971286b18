#pragma once

#include <QObject>
#include <QString>

class MainWindow;

// The command a first start was given, performed once the main window is up, so that a link
// that starts the program is not lost. A dial first waits for the account's registration, at
// most 10 s; then it dials anyway and logs that it did.
class StartCommand : public QObject
{
    Q_OBJECT
public:
    StartCommand(MainWindow* window, const QString& command, int wait_ms = 10000);

private:
    void perform(bool timed_out);

    MainWindow* window;
    QString command;
    bool done = false;
};
