// The session: the open files' wiring, stop signals, and the end of the run.
#include "app/main.h"
#include "app/sessioncontroller.h"

#include "files/browser.h"
#include "files/editedfile.h"

#include "widgets/widgets.h"
#include "editor/richedit.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <cstdio>

void TfmMain::bindSession()
{
    connect(m_session, &SessionController::notice, this, &TfmMain::showNotice);
    connect(m_session, &SessionController::fileShown, this, [this](EditedFile *file) {
        showAnchorsOf(file);
        showNotice(QString());
        if (file->path().isEmpty()) {
            eFile->clear();
            setWindowTitle(windowTitleText());
        } else {
            showChosenFile(file->path());
            flb->selectFile(file->path()); // the list shows the file being edited, when it is there
        }
        showUnsavedMark();
    });
    connect(m_session, &SessionController::anchorsChanged, this, &TfmMain::showAnchorsOf);
    connect(m_session, &SessionController::fileChosen, this, &TfmMain::showChosenFile);
    connect(m_session, &SessionController::saved, this, [this] { guard([this] { editedFileSaved(); }); });
    connect(m_session, &SessionController::autoSaveDue, this, [this] { guard([this] { AutoSaveTimer(); }); });
    connect(m_session, &SessionController::tabStripWanted, pOnglets, &QWidget::setVisible);
    connect(m_session, &SessionController::pinnedPageRestored, this, [this](const QString &page) {
        m_pinnedPage = page;
        showPinnedPage();
    });
    connect(m_session, &SessionController::openRequested, this,
            [this](const QString &path) { guard([&] { openPath(path); }); });
}

void TfmMain::showAnchorsOf(const EditedFile *file)
{
    SpeedButton *anchors[] = {SpeedButton8, SpeedButton9, SpeedButton10, SpeedButton11, SpeedButton12};
    for (int i = 0; i < 5; ++i)
        anchors[i]->setText(file->anchor(i));
}

void TfmMain::showNotice(const QString &text)
{
    lNotice->setText(text);
    lNotice->setVisible(!text.isEmpty());
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
    if (!m_session->keepTextsForStop())
        m_runFailed = true;
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
