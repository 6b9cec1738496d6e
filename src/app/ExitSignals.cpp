#include "app/ExitSignals.h"

#include "common/Exceptions.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace zw {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The pipe's write end, for the handler; -1 while no instance lives.
volatile sig_atomic_t gSignalPipe = -1;

extern "C" void OnExitSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    if (gSignalPipe >= 0) {
        [[maybe_unused]] const ssize_t written = write(gSignalPipe, &number, 1);
    }
    errno = saved;
}

} // namespace

TExitSignals::TExitSignals(QObject* parent) : QObject(parent)
{
    if (pipe2(FPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw Exception("Could not create a pipe for the exit signals");
    gSignalPipe = FPipe[1];
    FNotifier = new QSocketNotifier(FPipe[0], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, [this] { Drain(); });
    struct sigaction action {};
    action.sa_handler = &OnExitSignal;
    sigemptyset(&action.sa_mask);
    // Restarted calls, and the default again after the first: a second
    // signal ends a program whose clean end hangs.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int signal : kSignals)
        sigaction(signal, &action, nullptr);
}

TExitSignals::~TExitSignals()
{
    for (const int signal : kSignals)
        std::signal(signal, SIG_DFL);
    gSignalPipe = -1;
    delete FNotifier; // before its descriptor goes
    close(FPipe[0]);
    close(FPipe[1]);
}

void TExitSignals::Drain()
{
    unsigned char number = 0;
    while (read(FPipe[0], &number, 1) == 1)
        emit Received(number);
}

} // namespace zw
