#include "termination.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};
std::function<void()> runBeforeQuit;

void forwardSignal(int signal)
{
    // Only async-signal-safe calls here; the event loop does the rest.
    const unsigned char number = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &number, 1);
}

void signalArrived()
{
    unsigned char number = 0;
    if (::read(signalPipe[0], &number, 1) != 1)
        return;
    if (runBeforeQuit)
        runBeforeQuit();
    QCoreApplication::exit(128 + number);
}

} // namespace

void quitOnTerminationSignals(std::function<void()> beforeQuit)
{
    if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    runBeforeQuit = std::move(beforeQuit);
    auto *notifier =
        new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, &signalArrived);

    struct sigaction action
    {
    };
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}
