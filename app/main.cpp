#include "app/instancelock.h"
#include "app/zimclient.h"
#include "app/zimserver.h"
#include "data/zimconstants.h"
#include "ui/main/mainwindow.h"

#include <QApplication>
#include <QDir>

namespace {

// The arguments after the program name, each followed by "&", without the last "&".
QString command_from_arguments(int argc, char* argv[])
{
    QString command;
    for (int i = 1; i < argc; ++i)
        command += QString::fromUtf8(argv[i]) + QLatin1Char('&');
    command.chop(1);
    return command;
}

int run_first_instance(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    auto* window = new MainWindow;
    window->show();
    auto* server = new ZimServer(zim::LOCAL_SERVER_NAME);
    server->set_main_window(window);
    const int result = app.exec();
    delete server;
    delete window;
    return result;
}

// A later start only hands its arguments to the running instance; it never opens a window.
int run_messenger(int argc, char* argv[])
{
    ZimClient client;
    client.connect_to_server(zim::LOCAL_SERVER_NAME);
    if (argc > 1)
        client.send_command(command_from_arguments(argc, argv));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    InstanceLock lock(zim::SHARED_MEMORY_KEY);
    if (lock.try_acquire())
        return run_first_instance(argc, argv);
    return run_messenger(argc, argv);
}
