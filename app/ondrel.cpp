// Ondrel's entry point: the application, the main window, the message loop.
#include "app/main.h"
#include "app/translations.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminate(int)
{
    const char byte = 1;
    (void)!::write(signalPipe[1], &byte, 1);
}

/**
 * A session that ends, or a `kill`, closes the window as a click on its close
 * box would, so the side files are written back instead of being lost.
 */
void closeOnTerminate(QWidget *window)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char byte;
        while (::read(signalPipe[0], &byte, 1) > 0) {
        }
        window->close();
    });
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
}

} // namespace

int main(int argc, char *argv[])
{
    // Chromium's sandbox cannot start as root; the preview needs it off there.
    if (::geteuid() == 0)
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QApplication app(argc, argv);
    installFrenchTranslations(&app);
    auto *window = new TfmMain;
    closeOnTerminate(window);
    window->show();
    const int status = app.exec();
    delete window; // runs FormDestroy, which writes the side files back
    return status;
}
