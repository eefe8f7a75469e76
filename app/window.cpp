// The window module's entry point: the application, the main window, the
// message loop, and the socket that later launches hand their files to.
#include "base/errors.h"
#include "app/handover.h"
#include "app/instance.h"
#include "app/launch.h"
#include "app/main.h"
#include "app/sessioncontroller.h"
#include "pages/databasepage.h"
#include "app/stopsignals.h"
#include "app/translations.h"
#include "preview/previewmodule.h"

#include <QApplication>
#include <QIcon>
#include <QLoggingCategory>

#include <cstdlib>
#include <unistd.h>

namespace {

const QString kAppId = QStringLiteral("org.ondrel.Ondrel");
// After the first paint, the preview module loads once the window has been idle this long.
constexpr int kPreviewModuleIdleMs = 250;

/** The icon of the installed theme, or the one built into the program (a copy run from its build folder). */
QIcon windowIcon()
{
    QIcon bundled;
    for (int size : {16, 32, 48, 64, 128, 256})
        bundled.addFile(QStringLiteral(":/ondrel/icons/org.ondrel.Ondrel-%1.png").arg(size));
    return QIcon::fromTheme(kAppId, bundled);
}

/** The web engine's informational messages are not for the user; its warnings and errors are. */
void quietWebEngine()
{
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webengine*.info=false\n"
                                                    "default.info=false"));
}

} // namespace

extern "C" Q_DECL_EXPORT int ondrelRunWindow(int argc, char **argv, const WindowLaunch *launch)
{
    installStopSignals();
    // Chromium's sandbox cannot start as root; the preview needs it off there.
    if (::geteuid() == 0)
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    quietWebEngine();
    QApplication app(argc, argv);
    installFrenchTranslations(&app);
    QGuiApplication::setDesktopFileName(kAppId);
    QApplication::setWindowIcon(windowIcon());

    const bool newInstance = launch->line.newInstance;
    InstanceServer instance(launch->socketPath);
    instance.lock();
    if (!newInstance) {
        // Another launch may have opened its window a moment ago.
        if (const auto status = handOverExitStatus(launch->socketPath, launch->line.files, kHandOverAnswerMs, printMessage))
            return *status;
    }

    // Served before anything can show a box: a later launch never waits on one,
    // and what it hands over meanwhile is opened once the window is there.
    instance.serve();
    auto *window = new TfmMain;
    watchStopSignals(window, [window] { window->closeOnSignal(); });
    QObject::connect(&instance, &InstanceServer::filesHandedOver, window, [window](const QStringList &files) {
        window->comeToFront();
        window->session()->openFromCommandLine(files);
    });
    // Nothing of the web engine before the window is on the screen: not even for
    // a page beside the editor kept from the last run.
    PreviewModule::shared().loadAfterFirstPaint(window, kPreviewModuleIdleMs);
    window->show();
    window->databasePage->startBuiltinDatabaseAtLaunch(); // in the background: the window is usable meanwhile
    window->session()->openFromCommandLine(launch->line.files);
    instance.deliver();
    if (!window->closingOnSignal())
        app.exec();
    const int status = window->shutDown(); // FormDestroy writes the side files back
    delete window;
    return status;
}
