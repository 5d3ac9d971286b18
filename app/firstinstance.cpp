#include "app/firstinstance.h"

#include "app/exitsignals.h"
#include "app/instancenames.h"
#include "app/qttranslations.h"
#include "app/startcommand.h"
#include "app/zimclient.h"
#include "app/zimserver.h"
#include "data/zimconstants.h"
#include "data/zimlogger.h"
#include "data/zimpaths.h"
#include "phone/zimphone.h"
#include "ui/cti/webenginesetup.h"
#include "ui/main/mainwindow.h"

#include <QApplication>
#include <QDir>

#include <cerrno>
#include <cstdio>
#include <cstring>

// At global scope and outside the C-linkage entry point, so the resource initialiser it
// declares keeps its C++ name.
static void init_resources()
{
    Q_INIT_RESOURCE(images);
}

// A start-up failure: one line naming the file and the reason, and a non-zero exit.
static int fail_start(const QString& file, const QString& reason)
{
    std::fprintf(stderr, "velora-softphone: %s: %s\n", qPrintable(file), qPrintable(reason));
    return 1;
}

extern "C" Q_DECL_EXPORT int velora_run_first_instance(int argc, char* argv[])
{
    init_resources();
    const bool sandbox_off = zim::prepare_web_engine();
    // Without this, Qt answers a session manager's save-state request by closing every window.
    QGuiApplication::setFallbackSessionManagementEnabled(false);
    // In a Wayland session the phone runs through XWayland: its skins are cut with X shapes, it
    // places its own windows and grabs its keys on X, none of which a Wayland client may do.
    // A platform the user names still wins.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    // The phone lives on in the tray: no closed window or message box ends it, only the
    // confirmed exit does.
    QApplication::setQuitOnLastWindowClosed(false);
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    const bool translated = zim::load_qt_translations(&app);
    // Without its data directory the program could keep neither settings nor history.
    errno = 0;
    if (!zim::make_private_log_dir())
        return fail_start(zim::data_path(zim::LOG_DIR), errno ? QString::fromLocal8Bit(std::strerror(errno))
                                                              : QStringLiteral("cannot create it"));
    auto* window = new MainWindow;
    if (!window->phone()->has_core()) {
        delete window;
        return fail_start(zim::data_path(zim::DATA_DIR),
                          QStringLiteral("the SIP library could not create its core"));
    }
    if (sandbox_off)
        window->logger()->log(zim::web_engine_sandbox_note(), 1);
    if (!translated)
        window->logger()->log(zim::qt_translations_missing_note(), 1);
    window->show();
    const zim::InstanceDir instance_dir = zim::instance_dir(zim::data_dir());
    if (!instance_dir.refusal.isEmpty())
        window->logger()->log(instance_dir.refusal, 2);
    auto* server = new ZimServer(zim::local_server_name(instance_dir.path), window->logger());
    server->set_main_window(window);
    if (argc > 1)
        new StartCommand(window, zim::command_from_arguments(argc, argv));
    // A termination signal, the end of the desktop session or any other quit is the confirmed
    // exit: the call gets its BYE and its history row, the registration is removed. A session
    // manager's request to save state is none of these: the user may still cancel the logout, and
    // a checkpoint ends nothing.
    ExitSignals exit_signals;
    QObject::connect(&exit_signals, &ExitSignals::signal_exit_requested, window, &MainWindow::exit_program);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, window, &MainWindow::exit_program);
    const int result = app.exec();
    delete server;
    delete window;
    return result;
}
