// Ondrel's own PHP server: the file page's controls for it, its events, its log.
#include "app/main.h"
#include "pages/databasepage.h"

#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "db/builtindatabase.h"
#include "preview/phpserver.h"
#include "preview/serverlogpanel.h"
#include "files/urlrules.h"
#include "preview/webbrowser.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
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

/** The folder the built-in server must serve for the edited file, and the pinned page shown for it. */
static QString servedFolder(const TfmMain &w)
{
    const QString racine = absolute(w.eRacine->text());
    const QString edited = absolute(w.eFile->text());
    if (w.pinnedPageApplies())
        return pinnedServerRoot(racine, w.pinnedPage(), QDir::cleanPath(edited));
    return serverRoot(racine, edited);
}

/**
 * Whether a file a PHP error names is one of the site: a file (not a folder or a
 * device) under the folder the built-in server serves, "Racine" or the edited
 * file's folder. The log is what the pages write: a path it names is never
 * opened outside of these.
 */
static bool isFileOfServedSite(const QString &named, const TfmMain &w)
{
    const QFileInfo info(named);
    if (!info.isAbsolute() || !info.isFile())
        return false;
    const QString file = info.canonicalFilePath();
    QStringList folders{w.server()->root(), absolute(w.eRacine->text()), servedFolder(w)};
    for (const QString &folder : std::as_const(folders)) {
        const QString canonical = folder.isEmpty() ? QString() : QFileInfo(folder).canonicalFilePath();
        if (!canonical.isEmpty() && file.startsWith(canonical == u"/" ? canonical : canonical + u'/'))
            return true;
    }
    return false;
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
bool TfmMain::mayServeFolder()
{
    const QString folder = servedFolder(*this);
    const bool home = folder == QDir::cleanPath(QDir::homePath());
    if ((!home && folder != QLatin1String("/")) || m_wholeFoldersAllowed.contains(folder)
        || QDir::cleanPath(absolute(eRacine->text())) == folder) // the user named it as "Racine"
        return true;
    const QString refused = QStringLiteral("Aperçu annulé : « %1 » n'est pas servi en entier. "
                                           "Indiquez une « Racine » sur la page « Fichier ».").arg(folder);
    if (m_wholeFoldersRefused.contains(folder)) {
        eText->setText(refused);
        return false;
    }
    const QString what = home ? QStringLiteral("votre dossier personnel (%1)").arg(folder)
                              : QStringLiteral("la racine du système de fichiers (/)");
    QMessageBox box(QMessageBox::Question, applicationTitle(),
                    QStringLiteral("Le fichier est dans %1. Sans « Racine » qui le contienne, le serveur PHP "
                                   "intégré servirait ce dossier entier à l'aperçu, fichiers et pages PHP compris "
                                   "(jamais les fichiers cachés).\n\nServir ce dossier quand même ?")
                        .arg(what),
                    QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("wholeFolderBox"));
    box.setTextFormat(Qt::PlainText);
    QPushButton *serve = box.addButton(QStringLiteral("Servir ce dossier"), QMessageBox::AcceptRole);
    QPushButton *cancel = box.addButton(QStringLiteral("Annuler"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() != serve) {
        m_wholeFoldersRefused << folder;
        eText->setText(refused);
        return false;
    }
    m_wholeFoldersAllowed << folder;
    m_server->note(QStringLiteral("Dossier « %1 » servi en entier, avec votre accord.").arg(folder));
    return true;
}

bool TfmMain::serverReadyForPreview()
{
    // The pages' mysqli and PDO reach Ondrel's own database for "localhost" too; a page
    // that uses MySQL starts it, and is shown once it answers.
    bool databaseStarting = false;
    if (databasePage->usesBuiltinDatabase()) {
        m_server->setDatabaseSocket(m_database->paths().socket);
        if (!m_database->isReady() && pageUsesDatabase(QString::fromUtf8(M->wholeText())))
            databasePage->startBuiltinDatabase();
        databaseStarting = m_database->isStarting();
    } else {
        m_server->setDatabaseSocket({});
    }
    if (!m_server->start(servedFolder(*this)))
        throw OndrelError(phpMissingMessage());
    return m_server->isReady() && !databaseStarting;
}

void TfmMain::ServeurReady()
{
    WB->setServerKey(m_server->port(), m_server->key());
    if (m_navigateWhenReady && !m_database->isStarting()) {
        m_navigateWhenReady = false;
        navigatePreview();
    }
}

void TfmMain::previewAfterDatabase()
{
    if (m_navigateWhenReady && m_server->isReady()) {
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
    if (place.line <= 0 || place.file.isEmpty())
        return;
    // The edited file, or any file of the site served (an include): its tab, at that line.
    if (!namesEditedFile(place.file) && !isFileOfServedSite(place.file, *this)) {
        eText->setText(QStringLiteral("« %1 » n'est pas un fichier du site servi.").arg(place.file));
        return;
    }
    openFileAtLine(place.file, place.line);
}
