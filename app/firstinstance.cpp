#include "app/firstinstance.h"

#include "app/instancenames.h"
#include "app/qttranslations.h"
#include "app/startcommand.h"
#include "app/zimclient.h"
#include "app/zimserver.h"
#include "data/zimconstants.h"
#include "data/zimlogger.h"
#include "ui/cti/webenginesetup.h"
#include "ui/main/mainwindow.h"

#include <QApplication>
#include <QDir>

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
    // The phone lives on in the tray: no closed window or message box ends it, only the
    // confirmed exit does.
    QApplication::setQuitOnLastWindowClosed(false);
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    const bool translated = zim::load_qt_translations(&app);
    auto* window = new MainWindow;
    if (sandbox_off)
        window->logger()->log(zim::web_engine_sandbox_note(), 1);
    if (!translated)
        window->logger()->log(zim::qt_translations_missing_note(), 1);
    window->show();
    auto* server = new ZimServer(zim::local_server_name());
    server->set_main_window(window);
    if (argc > 1)
        new StartCommand(window, zim::command_from_arguments(argc, argv));
    const int result = app.exec();
    delete server;
    delete window;
    return result;
}
