// The file page: choosing a file and deriving its target URL.
#include "app/main.h"

#include "app/widgets.h"
#include "editor/richedit.h"
#include "files/browser.h"
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
        if (QFileInfo(path).isFile() && !mayDropEditorText())
            return; // the user kept the edited text
        M->loadFile(path);
        eFile->setText(path);
        applyTrailingSlash(eSite);
        setTargetUrl();
        M->setTextColour(CoulPolice);
        setWindowTitle(path);
    } catch (const std::exception &) {
        showPlainBox(this, kReadError);
    }
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
