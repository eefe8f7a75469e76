// The pinned page: the page that F9 shows while the files it includes are edited,
// its captions, and how it changes the folder served and the URL shown.
#include "app/main.h"
#include "app/sessioncontroller.h"

#include "widgets/widgets.h"
#include "files/urlrules.h"
#include "preview/phpserver.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QTabBar>
#include <QTabWidget>

namespace {

const QString kPreviewCaption = QStringLiteral("Visualisation du résultat (F9)");

QString absoluteClean(const QString &path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

void TfmMain::pinPage()
{
    const QString page = absoluteClean(eFile->text());
    if (page.isEmpty()) {
        const QString message = QStringLiteral("Aucune page à épingler : ouvrez d'abord la page à montrer.");
        showNotice(message);
        eText->setText(message);
        return;
    }
    m_pinnedPage = page;
    showPinnedPage();
}

void TfmMain::unpinPage()
{
    m_pinnedPage.clear();
    showPinnedPage();
}

void TfmMain::sbEpinglerClick()
{
    if (m_pinnedPage.isEmpty())
        pinPage();
    else
        unpinPage();
}

bool TfmMain::pinnedPageApplies() const
{
    const QString edited = absoluteClean(eFile->text());
    if (m_pinnedPage.isEmpty() || edited.isEmpty() || edited == m_pinnedPage)
        return false; // the page itself previews as it always did
    return pinnedPageCovers(absoluteClean(eRacine->text()), m_pinnedPage, edited, QDir::homePath());
}

QString TfmMain::pinnedPageUrl()
{
    const QString racine = absoluteClean(eRacine->text());
    if (cbServeurIntegre->isChecked())
        return m_server->origin() + u'/'
            + servedPath(pinnedServerRoot(racine, m_pinnedPage, absoluteClean(eFile->text())), m_pinnedPage);
    if (!racine.isEmpty()) {
        const QString below = servedPath(racine, m_pinnedPage);
        if (!below.isEmpty())
            return eSite->text() + below;
    }
    return targetUrl(eSite->text(), m_pinnedPage);
}

void TfmMain::showPinnedPage()
{
    const bool pinned = !m_pinnedPage.isEmpty();
    const QString name = QFileInfo(m_pinnedPage).fileName();
    sbEpingler->setText(pinned ? QStringLiteral("Désépingler") : QStringLiteral("Épingler cette page"));
    sbEpingler->setToolTip(pinned ? QStringLiteral("Page épinglée : %1 (Ctrl+Maj+P pour la désépingler)").arg(m_pinnedPage)
                                  : QStringLiteral("F9 montre cette page depuis les autres fichiers du site "
                                                   "(Ctrl+Maj+P)"));
    lEpingle->setText(pinned ? QStringLiteral("Page épinglée : %1").arg(name) : QString());
    lEpingle->setToolTip(m_pinnedPage);
    lEpingle->setVisible(pinned);
    sbDesepingler->setVisible(pinned);
    PC->setTabText(PC->indexOf(tsWB), pinned ? kPreviewCaption + QStringLiteral(" : ") + name : kPreviewCaption);
    m_session->setPinnedPage(m_pinnedPage);
}
