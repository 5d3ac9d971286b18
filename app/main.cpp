// Process entry. The first start becomes the softphone; every later start hands its arguments to
// the running instance over the local channel and exits. The softphone itself lives in a module
// beside the executable, loaded only by the first start, so that a later start costs no more
// than loading Qt Core.
#include "app/instancelock.h"
#include "app/modulepath.h"
#include "app/zimclient.h"
#include "data/zimconstants.h"

#include <QFileInfo>
#include <QLibrary>
#include <cstdio>

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

int run_messenger(int argc, char* argv[])
{
    ZimClient client;
    client.connect_to_server(zim::LOCAL_SERVER_NAME);
    if (argc > 1)
        client.send_command(command_from_arguments(argc, argv));
    return 0;
}

// There is no application object yet to ask; the kernel's link names the running file, and
// where there is none the path the program was started with does.
QString executable_dir(const char* argv0)
{
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (!self.isEmpty())
        return QFileInfo(self).absolutePath();
    return QFileInfo(QString::fromLocal8Bit(argv0)).absolutePath();
}

int run_first_instance(int argc, char* argv[])
{
    QLibrary module(zim::module_path(executable_dir(argv[0]), QStringLiteral("velora-softphone-app")));
    using Entry = int (*)(int, char**);
    auto entry = reinterpret_cast<Entry>(module.resolve("velora_run_first_instance"));
    if (!entry) {
        std::fprintf(stderr, "velora-softphone: %s\n", qPrintable(module.errorString()));
        return 1;
    }
    return entry(argc, argv);
}

} // namespace

int main(int argc, char* argv[])
{
    InstanceLock lock(zim::SHARED_MEMORY_KEY);
    if (lock.try_acquire())
        return run_first_instance(argc, argv);
    return run_messenger(argc, argv);
}
