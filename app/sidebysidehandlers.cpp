// The page beside the editor: side mode, the refresh at every save, saving while
// typing, and the errors of the page that lead back to their lines.
#include "app/main.h"
#include "app/sessioncontroller.h"

#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "files/editedfile.h"
#include "io/fileidentity.h"
#include "preview/phpserver.h"
#include "files/urlrules.h"
#include "preview/webbrowser.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kBrowserRowOnPreviewPage = 1; // between the toolbar and the server's log

/** A log line without php's "[date] " prefix, as the mark's tooltip shows it. */
QString withoutDate(const QString &text)
{
    if (!text.startsWith(u'['))
        return text;
    const qsizetype close = text.indexOf(QLatin1String("] "));
    return close < 0 ? text : text.mid(close + 2);
}

} // namespace

bool TfmMain::pageBeside() const
{
    return WB->parentWidget() == spApercu;
}

void TfmMain::setApercuLargeur(int width)
{
    m_apercuLargeur = std::max(0, width);
    if (pageBeside() && m_apercuLargeur > 0) {
        const int total = spApercu->width() - spApercu->handleWidth();
        spApercu->setSizes({std::max(1, total - m_apercuLargeur), m_apercuLargeur});
    }
}

/**
 * The one browser WB lives beside the editor while side mode is on and the editor
 * page is in front, and on the preview page otherwise: one engine, one profile.
 */
void TfmMain::placeBrowser()
{
    const bool beside = cbApercuACote->isChecked() && PC->currentWidget() != tsWB;
    if (beside == pageBeside())
        return;
    if (beside) {
        spApercu->addWidget(WB);
        const int total = std::max(2, spApercu->width() - spApercu->handleWidth());
        const int width = m_apercuLargeur > 0 ? std::min(m_apercuLargeur, total - 1) : total / 2;
        spApercu->setSizes({total - width, width});
    } else {
        static_cast<QVBoxLayout *>(tsWB->layout())->insertWidget(kBrowserRowOnPreviewPage, WB, 1);
    }
    WB->show();
    M->errorMarks()->setMarginVisible(beside);
}

void TfmMain::cbApercuACoteClick()
{
    placeBrowser();
    if (!pageBeside()) {
        M->errorMarks()->clearServerErrors();
        return;
    }
    // The page the file makes now; a save refreshes it from then on.
    if (!eFile->text().isEmpty() && !eURL->text().isEmpty())
        refreshBeside();
}

void TfmMain::spApercuMoved()
{
    const QList<int> sizes = spApercu->sizes();
    if (sizes.size() == 2)
        m_apercuLargeur = sizes[1];
}

void TfmMain::refreshBeside()
{
    m_navigateWhenReady = false;
    // Without an edited file there is no folder to serve: the preview only
    // goes to "URL" (never a whole folder chosen by default).
    const bool builtin = cbServeurIntegre->isChecked() && !eFile->text().isEmpty();
    if (builtin && !mayServeFolder())
        return;
    if (builtin && !serverReadyForPreview()) {
        m_navigateWhenReady = true; // ServeurReady navigates
        WB->view();
        return;
    }
    navigatePreview();
}

/** After every save of the edited file that succeeded, whoever asked for it. */
void TfmMain::editedFileSaved()
{
    if (!m_autoSaving)
        m_session->editedFile()->setSavedByUser(QFileInfo(eFile->text()).absoluteFilePath());
    m_session->editedFile()->cancelAutoSave();
    if (!pageBeside())
        return; // the preview page navigates by itself after its save
    M->errorMarks()->clearServerErrors(); // a page that still fails marks its lines again
    for (EditedFile *file : std::as_const(m_session->openFiles()))
        file->dropWaitingServerErrors();
    lintEditedFile();
    refreshBeside();
}

bool TfmMain::mayAutoSave() const
{
    return mayAutoSave(nullptr);
}

bool TfmMain::mayAutoSave(FileIdentity *knownDisk) const
{
    if (!cbEnregistrementAuto->isChecked() || !M->isModified() || M->isReadOnly() || m_session->editedFile()->isBinary())
        return false;
    const QString path = eFile->text();
    if (path.isEmpty() || m_session->editedFile()->path() != path || QFileInfo(path).absoluteFilePath() != m_session->editedFile()->savedByUser())
        return false;
    // Changed by another program since Ondrel last read or wrote it: only the user may decide.
    const FileIdentity disk = diskIdentity(path);
    if (knownDisk)
        *knownDisk = disk;
    return disk.known && disk.sameContent(m_session->editedFile()->identity());
}

void TfmMain::cbEnregistrementAutoClick()
{
    if (cbEnregistrementAuto->isChecked() && M->isModified())
        m_session->editedFile()->autoSaveAfterPause();
    else
        m_session->editedFile()->cancelAutoSave();
}

void TfmMain::MTextChange()
{
    if (cbEnregistrementAuto->isChecked())
        m_session->editedFile()->autoSaveAfterPause(); // restarted at every keystroke: the save waits for a pause
}

void TfmMain::AutoSaveTimer()
{
    FileIdentity disk;
    if (!mayAutoSave(&disk))
        return;
    m_autoSaving = true;
    try {
        m_session->saveEditedFile(&disk); // the file was just read to decide: once is enough
    } catch (...) {
        m_autoSaving = false;
        m_session->editedFile()->setSavedByUser(QString()); // no box at every pause: the user's next save says what goes on
        throw;
    }
    m_autoSaving = false;
}

bool TfmMain::namesEditedFile(const QString &file) const
{
    if (file.isEmpty() || eFile->text().isEmpty())
        return false;
    const QFileInfo named(file), edited(eFile->text());
    return named.absoluteFilePath() == edited.absoluteFilePath()
        || (!edited.canonicalFilePath().isEmpty() && named.canonicalFilePath() == edited.canonicalFilePath());
}

void TfmMain::ServeurLogLine(const QString &text, ServerLineKind kind)
{
    if (kind != ServerLineKind::Error || !cbApercuACote->isChecked())
        return;
    const PhpErrorPlace place = phpErrorPlace(text);
    if (place.line <= 0 || place.file.isEmpty())
        return;
    if (namesEditedFile(place.file)) {
        M->errorMarks()->markServerError(std::min(place.line, M->lineCount()) - 1, withoutDate(text));
        return;
    }
    // Another open file (an include of the pinned page): its tab marks the line when shown.
    const QString named = QFileInfo(place.file).canonicalFilePath();
    for (EditedFile *file : std::as_const(m_session->openFiles())) {
        if (!named.isEmpty() && !file->path().isEmpty() && QFileInfo(file->path()).canonicalFilePath() == named) {
            file->markServerError(place.line - 1, withoutDate(text));
            return;
        }
    }
}

void TfmMain::MErrorMarkClick(int line)
{
    M->setFocus();
    eText->setText(M->errorMarks()->errorMessages(line).section(u'\n', 0, 0));
    Ligne();
}
