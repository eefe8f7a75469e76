// The session: files from a launch, stop signals, and the end of the run.
#include "app/main.h"

#include "widgets/widgets.h"
#include "editor/richedit.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace {
constexpr int kDialogPollMs = 200;
}

void TfmMain::openFromCommandLine(const QStringList &files)
{
    if (files.isEmpty())
        return;
    m_pathToOpen = files.first();
    if (QApplication::activeModalWidget()) {
        // A question is open: the file waits for its answer (only the last one handed over is kept).
        QTimer::singleShot(kDialogPollMs, this, [this] {
            if (!m_pathToOpen.isEmpty())
                openFromCommandLine({m_pathToOpen});
        });
        return;
    }
    const QString path = std::exchange(m_pathToOpen, QString());
    guard([&] { openPath(path); });
}

void TfmMain::comeToFront()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
    if (QWidget *dialog = QApplication::activeModalWidget()) {
        dialog->raise();
        dialog->activateWindow();
    }
}

void TfmMain::closeOnSignal()
{
    if (m_closingOnSignal)
        return;
    m_closingOnSignal = true;
    m_keepJournal = true; // the other tabs' unsaved texts come back at the next start too
    if (M->isModified()) {
        // The crash journal brings the text back at the next start; the copy keeps it
        // where the user can open it at once.
        if (!journalNow())
            printMessage(QStringLiteral("le journal du texte non enregistré n'a pas pu être écrit"));
        try {
            const QString copy = keepUnsavedText();
            printMessage(eFile->text().isEmpty()
                             ? QStringLiteral("texte non enregistré copié dans %1").arg(copy)
                             : QStringLiteral("texte non enregistré de « %1 » copié dans %2").arg(eFile->text(), copy));
        } catch (const OndrelError &error) {
            m_runFailed = true;
            printMessage(withFullStop(error.message()));
        }
    }
    // Every running event loop ends, an open dialog's too; the run then shuts down (shutDown).
    QCoreApplication::exit(0);
}

int TfmMain::shutDown()
{
    if (!m_shutDown) {
        m_shutDown = true;
        try {
            FormDestroy();
        } catch (const OndrelError &error) {
            reportShutDownFailure(error.message());
        } catch (const std::exception &error) {
            reportShutDownFailure(QString::fromLocal8Bit(error.what()));
        }
    }
    return m_runFailed ? 1 : 0;
}

void TfmMain::reportShutDownFailure(const QString &message)
{
    m_runFailed = true;
    printMessage(withFullStop(message));
    if (!m_closingOnSignal) // nobody may be there to answer a box
        showErrorBox(this, message);
}
