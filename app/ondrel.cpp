// Ondrel's entry point: the application, the main window, the message loop.
#include "app/main.h"
#include "app/translations.h"

#include <QApplication>

#include <cstdlib>
#include <unistd.h>

int main(int argc, char *argv[])
{
    // Chromium's sandbox cannot start as root; the preview needs it off there.
    if (::geteuid() == 0)
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QApplication app(argc, argv);
    installFrenchTranslations(&app);
    auto *window = new TfmMain;
    window->show();
    const int status = app.exec();
    delete window; // runs FormDestroy, which writes the side files back
    return status;
}
