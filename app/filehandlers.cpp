// The file page: choosing a file and deriving its target URL.
#include "app/main.h"
#include "app/sessioncontroller.h"

#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "files/browser.h"
#include "files/editedfile.h"
#include "io/fileidentity.h"
#include "io/readfile.h"
#include "files/urlrules.h"

#include <QFileInfo>

namespace {

const QString kReadError = QStringLiteral("Erreur de lecture.");

/** The trailing-slash rule; setting the text raises eSiteChange when it changes. */
void applyTrailingSlash(Edit *site)
{
    site->setText(withTrailingSlash(site->text()));
}

} // namespace

void TfmMain::flbMouseDown()
{
    // Any failure ends the steps where it happens; what the earlier steps did stays.
    try {
        const QString path = flb->selectedFilePath();
        // What cannot be loaded is refused before the edited text is put in question.
        const QString refused = readFailureMessage(path, checkReadable(path, kMaxFileBytes));
        if (!refused.isEmpty())
            throw OndrelError(refused);
        m_session->chooseFile(path); // the text being edited stays in its tab
    } catch (const OndrelError &error) {
        // A reason the user can act on (too large, not a regular file, a name that is
        // not UTF-8) follows on a second line.
        const bool plain = error.message() == cannotOpenMessage(flb->selectedFilePath()) || error.message().isEmpty();
        showPlainBox(this, plain ? kReadError : kReadError + QLatin1Char('\n') + error.message());
    } catch (const std::exception &) {
        showPlainBox(this, kReadError);
    }
}

void TfmMain::showChosenFile(const QString &path)
{
    eFile->setText(path);
    applyTrailingSlash(eSite);
    setTargetUrl();
    M->setTextColour(CoulPolice);
    setWindowTitle(path);
}

void TfmMain::openPath(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        dlb->setCurrentFolder(path); // throws when it cannot be entered
        showPage(TabSheet2);
        return;
    }
    if (!info.isFile())
        throw OndrelError(cannotOpenMessage(path));
    dlb->setCurrentFolder(info.absolutePath());
    const QList<QListWidgetItem *> items = flb->findItems(info.fileName(), Qt::MatchExactly);
    flb->setCurrentItem(items.isEmpty() ? nullptr : items.first()); // hidden by the mask: nothing selected
    try {
        m_session->chooseFile(info.absoluteFilePath());
    } catch (const std::exception &) {
        showPlainBox(this, kReadError);
        return;
    }
    showPage(tsEdit);
    M->setFocus();
}

void TfmMain::eSiteChange()
{
    setTargetUrl();
}

void TfmMain::eSiteExit()
{
    applyTrailingSlash(eSite);
    setTargetUrl();
}
