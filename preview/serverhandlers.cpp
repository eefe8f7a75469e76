// Ondrel's own PHP server: the file page's controls for it, its events, its log.
#include "app/main.h"

#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "preview/phpserver.h"
#include "preview/serverlogpanel.h"
#include "files/urlrules.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QTabWidget>

#include <algorithm>

namespace {

/** `path` made absolute against the current folder (the folder list's); empty stays empty. */
QString absolute(const QString &path)
{
    return path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
}

} // namespace

QString TfmMain::targetUrlNow()
{
    const QString file = absolute(eFile->text());
    const QString racine = absolute(eRacine->text());
    if (cbServeurIntegre->isChecked())
        return m_server->origin() + u'/' + (file.isEmpty() ? QString() : servedPath(serverRoot(racine, file), file));
    if (!racine.isEmpty()) {
        const QString below = servedPath(racine, file);
        if (!below.isEmpty())
            return eSite->text() + below;
    }
    return targetUrl(eSite->text(), eFile->text());
}

void TfmMain::setTargetUrl()
{
    eURL->setText(targetUrlNow());
}

/** The folder the built-in server must serve for the edited file. */
static QString servedFolder(const TfmMain &w)
{
    return serverRoot(absolute(w.eRacine->text()), absolute(w.eFile->text()));
}

void TfmMain::cbServeurIntegreClick()
{
    if (!cbServeurIntegre->isChecked()) {
        m_navigateWhenReady = false;
        m_server->stop();
    }
    setTargetUrl();
}

void TfmMain::eRacineChange()
{
    setTargetUrl();
}

/**
 * Starts the built-in server on the edited file's folder (or restarts it when
 * the folder changed). True when it accepts connections already; otherwise the
 * preview goes on from ServeurReady.
 */
bool TfmMain::serverReadyForPreview()
{
    if (!m_server->start(servedFolder(*this)))
        throw OndrelError(phpMissingMessage());
    return m_server->isReady();
}

void TfmMain::ServeurReady()
{
    if (m_navigateWhenReady) {
        m_navigateWhenReady = false;
        navigatePreview();
    }
}

void TfmMain::ServeurFailed(const QString &message)
{
    m_navigateWhenReady = false;
    eText->setText(message);
    throw OndrelError(message);
}

void TfmMain::ServeurOriginChange(const QString &oldOrigin, const QString &newOrigin)
{
    // The server moved to another port: a URL that named the old one follows it.
    const QString url = eURL->text();
    if (url.startsWith(oldOrigin + u'/'))
        eURL->setText(newOrigin + url.mid(oldOrigin.size()));
}

void TfmMain::mJournalLineClick(const QString &text, ServerLineKind kind)
{
    if (kind != ServerLineKind::Error)
        return;
    const PhpErrorPlace place = phpErrorPlace(text);
    if (place.line <= 0 || !namesEditedFile(place.file))
        return;
    showPage(tsEdit);
    M->setFocus();
    M->setCursorPosition(std::min(place.line, M->lineCount()) - 1, 0);
    M->ensureLineVisible(place.line - 1);
    Ligne();
}
