// The preview page: save the editor's text and show the served page.
#include "app/main.h"
#include "app/sessioncontroller.h"
#include "base/virtualkeys.h"

#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "preview/phpserver.h"
#include "preview/statustext.h"
#include "files/urlrules.h"
#include "preview/webbrowser.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QProgressBar>
#include <QTabWidget>

namespace {

/** Whether `path` names a PHP source that `php -l` can check. */
bool isPhpSource(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("phtml")
        || (suffix.startsWith(QLatin1String("php")) && suffix.size() <= 4);
}

} // namespace

void TfmMain::PCChange()
{
    QWidget *page = PC->currentWidget();
    if (page == tsWB) {
        // Throws when the file cannot be written, false when the user cancelled: no navigation then.
        if (!m_session->saveEditedFile())
            return;
        lintEditedFile();
        m_navigateWhenReady = false;
        // Without an edited file there is no folder to serve: the preview only
        // goes to "URL" (never a whole folder chosen by default).
        const bool builtin = cbServeurIntegre->isChecked() && !eFile->text().isEmpty();
        if (builtin && !mayServeFolder())
            return;
        if (builtin && !serverReadyForPreview()) {
            m_navigateWhenReady = true; // ServeurReady navigates
            WB->view(); // the web engine starts while php does
            return;
        }
        navigatePreview();
    } else if (page == tsEdit && !pageBeside()) {
        m_navigateWhenReady = false;
        WB->stop();
    }
}

void TfmMain::navigatePreview()
{
    // While a page is pinned, the other files of its site show it, with "Param".
    const QString url = previewUrl(pinnedPageApplies() ? pinnedPageUrl() : eURL->text(), eParam->text());
    if (pageBeside())
        WB->navigateKeepingScroll(url); // the refresh after a save keeps the user's place
    else
        WB->navigate(url);
}

void TfmMain::lintEditedFile()
{
    if (isPhpSource(eFile->text()))
        m_lint->check(QFileInfo(eFile->text()).absoluteFilePath());
}

void TfmMain::LintChecked(const QString &path, const LintResult &result)
{
    if (path != QFileInfo(eFile->text()).absoluteFilePath())
        return; // another file is edited now
    if (result.clean) {
        m_lintMessage.clear();
        M->errorMarks()->markErrorLine(-1);
        return;
    }
    m_lintMessage = result.line > 0
        ? QStringLiteral("Erreur de syntaxe ligne %1 : %2").arg(result.line).arg(result.message)
        : QStringLiteral("Erreur de syntaxe : %1").arg(result.message);
    eText->setText(m_lintMessage);
    M->errorMarks()->markErrorLine(result.line - 1, m_lintMessage);
}

void TfmMain::SpeedButton1Click()
{
    WB->stop();
}

void TfmMain::SpeedButton2Click()
{
    WB->goBack();
}

void TfmMain::SpeedButton7Click()
{
    WB->refresh();
}

void TfmMain::paramKeyDown(int key)
{
    if (key == VkEnter && !param->text().trimmed().isEmpty())
        WB->navigate(QUrl::fromUserInput(param->text().trimmed()).toString()); // typed like a browser's address
}

void TfmMain::tsWBKeyDown(int key)
{
    if (key == VkF5)
        WB->reloadBypassingCache();
}

void TfmMain::WBStatusTextChange(const QString &text)
{
    // A syntax error found by the last check stays in sight until the next clean one.
    const QString plain = plainStatusText(text);
    eText->setText(m_lintMessage.isEmpty() ? plain : m_lintMessage + QStringLiteral(" — ") + plain);
}

void TfmMain::WBProgressChange(int progress, int progressMax)
{
    PB->setMaximum(progressMax);
    PB->setValue(progress);
}

void TfmMain::WBDocumentComplete(const QString &url)
{
    param->setText(url);
}
