#include "app/stopsignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int stopPipe[2] = {-1, -1};
std::atomic<int> stopsReceived{0};
constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Runs in the signal handler: async-signal-safe calls only.
void onStopSignal(int signal)
{
    if (stopsReceived.fetch_add(1) > 0) {
        // The default action ends the process as soon as this handler returns
        // (the signal is blocked until then).
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    const char byte = 1;
    (void)!::write(stopPipe[1], &byte, 1);
}

} // namespace

void installStopSignals()
{
    if (stopPipe[0] >= 0 || ::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : kStopSignals)
        sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (int signal : kStopSignals)
        ::sigaction(signal, &action, nullptr);
}

void watchStopSignals(QObject *context, std::function<void()> onStop)
{
    if (stopPipe[0] < 0)
        return;
    auto *notifier = new QSocketNotifier(stopPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [notifier, onStop = std::move(onStop)] {
        char byte;
        while (::read(stopPipe[0], &byte, 1) > 0) {
        }
        notifier->setEnabled(false); // one stop is enough; a second signal no longer reaches here
        onStop();
    });
}
