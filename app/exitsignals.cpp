#include "app/exitsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int pipe_fds[2] = {-1, -1};

void on_signal(int number)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(pipe_fds[1], &byte, 1);
    errno = saved;
}

} // namespace

ExitSignals::ExitSignals(QObject* parent) : QObject(parent)
{
    if (pipe_fds[0] < 0 && ::pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier = new QSocketNotifier(pipe_fds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &ExitSignals::read_pipe);
    struct sigaction action = {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGINT, SIGHUP})
        sigaction(number, &action, nullptr);
}

void ExitSignals::read_pipe()
{
    unsigned char byte = 0;
    while (::read(pipe_fds[0], &byte, 1) == 1)
        emit signal_exit_requested(byte);
}
