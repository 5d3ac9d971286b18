#include "app/startcommand.h"

#include "data/zimconstants.h"
#include "data/zimlogger.h"
#include "phone/calllink.h"
#include "phone/zimphone.h"
#include "ui/main/mainwindow.h"

#include <QTimer>

StartCommand::StartCommand(MainWindow* window, const QString& command, int wait_ms)
    : QObject(window), window(window), command(command)
{
    if (!zim::is_dial_command(command)) {
        QTimer::singleShot(0, this, [this] { perform(false); });
        return;
    }
    connect(window->phone(), &ZimPhone::signal_registration_state, this, [this](const QString& state) {
        if (state == zim::REG_SUCCESSFUL)
            perform(false);
    });
    // On a near registrar the account may have registered while the window was being built,
    // before anyone listened.
    if (window->phone()->is_registered())
        QTimer::singleShot(0, this, [this] { perform(false); });
    QTimer::singleShot(wait_ms, this, [this] { perform(true); });
}

void StartCommand::perform(bool timed_out)
{
    if (done)
        return;
    done = true;
    if (timed_out)
        window->logger()->log(QStringLiteral("not registered after 10 s, dialling anyway: ") + command, 1);
    window->handle_client_command(command);
    deleteLater();
}
