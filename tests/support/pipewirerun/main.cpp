// Runs a test executable on a PipeWire of its own (pipewire, WirePlumber, pipewire-pulse, as a
// Debian 12 desktop has them): velora-test-pipewire <test> [arguments...]. The test's clients reach
// it through PULSE_SERVER, and its own private servers are PipeWire too. The servers end with it.
#include "support/soundserver.h"

#include <QCoreApplication>
#include <QProcess>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    if (arguments.isEmpty()) {
        std::fprintf(stderr, "usage: velora-test-pipewire <test> [arguments...]\n");
        return 2;
    }
    PrivateSoundServer server(PrivateSoundServer::PipeWire);
    if (!server.start(20000)) {
        std::fprintf(stderr, "PipeWire did not come up\n");
        return 1;
    }
    server.point_here();
    qputenv("VELORA_SOUND_SERVER", "pipewire");
    QProcess test;
    test.setProcessChannelMode(QProcess::ForwardedChannels);
    test.start(arguments.takeFirst(), arguments);
    // ctest's timeout for the test bounds this wait; it ends the whole tree.
    test.waitForFinished(-1);
    if (test.exitStatus() != QProcess::NormalExit)
        return 1;
    return test.exitCode();
}
