// Process entry. The first start becomes the softphone; every later start hands its arguments to
// the running instance over the local channel and exits. The softphone itself lives in a module
// (beside the executable, or under ../lib/velora-softphone once installed), loaded only by the
// first start, so that a later start costs no more than loading Qt Core.
#include "app/instancelock.h"
#include "app/instancenames.h"
#include "app/zimclient.h"
#include "data/installlayout.h"

#include <QFileInfo>
#include <QLibrary>
#include <cstdio>

namespace {

// Exit code 0: the running phone took the command (or, without one, was reached). 2: it did
// not, 3: it refused the call the command asks for; one line on the standard error says why.
const int NOT_DELIVERED = 2;
const int REFUSED = 3;

int not_delivered(const ZimClient& client)
{
    std::fprintf(stderr, "velora-softphone: %s\n", qPrintable(client.error()));
    return client.refused() ? REFUSED : NOT_DELIVERED;
}

int hand_over(ZimClient& client, int argc, char* argv[])
{
    if (argc > 1 && !client.send_command(zim::command_from_arguments(argc, argv)))
        return not_delivered(client);
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
    QLibrary module(
        InstallLayout(executable_dir(argv[0])).module_path(QStringLiteral("velora-softphone-app")));
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
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The running instance asks the same question with the same data directory: both find
    // the lock and the socket in the same private folder.
    const QString data_dir = InstallLayout(executable_dir(argv[0])).data_dir();
    const QString dir = zim::instance_dir(data_dir, env).path;
    const QString server = zim::local_server_name(dir, env);
    // Only a live instance listens, so a start that reaches the server is a later start and
    // hands its command over without touching the lock.
    ZimClient client;
    if (client.try_connect(server))
        return hand_over(client, argc, argv);
    InstanceLock lock(zim::instance_lock_path(dir, env));
    if (lock.try_acquire())
        return run_first_instance(argc, argv);
    if (!client.connect_to_server(server))
        return not_delivered(client);
    return hand_over(client, argc, argv);
}
