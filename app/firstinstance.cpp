#include "app/firstinstance.h"

#include "app/exitsignals.h"
#include "app/zimserver.h"
#include "data/zimconstants.h"
#include "data/zimlogger.h"
#include "ui/cti/webenginesetup.h"
#include "ui/main/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QSessionManager>

// At global scope and outside the C-linkage entry point, so the resource initialiser it
// declares keeps its C++ name.
static void init_resources()
{
    Q_INIT_RESOURCE(images);
}

extern "C" Q_DECL_EXPORT int velora_run_first_instance(int argc, char* argv[])
{
    init_resources();
    const bool sandbox_off = zim::prepare_web_engine();
    QApplication app(argc, argv);
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    auto* window = new MainWindow;
    if (sandbox_off)
        window->logger()->log(zim::web_engine_sandbox_note(), 1);
    window->show();
    auto* server = new ZimServer(zim::LOCAL_SERVER_NAME);
    server->set_main_window(window);
    // A termination signal, the end of the desktop session or any other quit is the confirmed
    // exit: the call gets its BYE and its history row, the registration is removed.
    ExitSignals exit_signals;
    QObject::connect(&exit_signals, &ExitSignals::signal_exit_requested, window, &MainWindow::exit_program);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, window,
                     [window](QSessionManager&) { window->exit_program(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, window, &MainWindow::exit_program);
    const int result = app.exec();
    delete server;
    delete window;
    return result;
}
