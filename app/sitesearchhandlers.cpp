// The window's side of the site search: its keys, its panel's place, and the
// one way a file is opened (the file list's).
#include "app/main.h"
#include "app/sessioncontroller.h"

#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "files/editedfile.h"
#include "io/readfile.h"
#include "search/sitesearch.h"
#include "search/sitesearchpanel.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QShortcut>
#include <QVBoxLayout>

void TfmMain::bindSiteSearch()
{
    pRechercheSite = new SiteSearchPanel(tsEdit);
    static_cast<QVBoxLayout *>(tsEdit->layout())->addWidget(pRechercheSite);
    SiteSearch::Host host;
    host.racine = [this] { return eRacine->text(); };
    host.editedFile = [this] { return eFile->text(); };
    host.shownFile = [this] { return m_session->editedFile() ? m_session->editedFile()->path() : QString(); };
    host.openFile = [this](const QString &path) { return openSiteFile(path); };
    host.notify = [this](const QString &text) { showNotice(text); };
    host.recentFiles = [this] { return m_session->recentPaths(); };
    siteSearch = new SiteSearch(M, tsEdit, pRechercheSite, host, this);

    const auto key = [this](const QKeySequence &keys, void (SiteSearch::*action)()) {
        auto *shortcut = new QShortcut(keys, tsEdit);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, action] { guard([&] { (siteSearch->*action)(); }); });
    };
    key(QKeySequence(Qt::CTRL | Qt::Key_P), &SiteSearch::openFileBox);
    key(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F), &SiteSearch::findInSite);
    key(QKeySequence(Qt::Key_F12), &SiteSearch::goToDefinition);
    key(QKeySequence(Qt::SHIFT | Qt::Key_F12), &SiteSearch::listUses);
    key(QKeySequence(Qt::ALT | Qt::Key_Left), &SiteSearch::goBack);
    key(QKeySequence(Qt::ALT | Qt::Key_Right), &SiteSearch::goForward);
    key(QKeySequence(Qt::CTRL | Qt::Key_E), &SiteSearch::openRecentBox);
    connect(M, &RichEdit::mouseUp, this, [this](Qt::MouseButton button) {
        if (button == Qt::LeftButton && (QGuiApplication::keyboardModifiers() & Qt::ControlModifier))
            guard([this] { siteSearch->goToDefinition(); });
    });
    connect(m_session, &SessionController::fileWritten, siteSearch, &SiteSearch::fileSaved);
}

bool TfmMain::openSiteFile(const QString &path)
{
    const QString wanted = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    guard([&] {
        // What cannot be loaded is refused before the edited text is put in question.
        const QString refused = readFailureMessage(wanted, checkReadable(wanted, kMaxFileBytes));
        if (!refused.isEmpty())
            throw OndrelError(refused);
        openPath(wanted);
    });
    return QDir::cleanPath(m_session->editedFile()->path()) == wanted;
}

bool TfmMain::openFileAtLine(const QString &path, int line)
{
    siteSearch->leavePlace();
    if (!namesEditedFile(path) && !openSiteFile(path))
        return false;
    showPage(tsEdit);
    M->setFocus();
    const int target = std::clamp(line, 1, std::max(1, M->lineCount())) - 1;
    M->setCursorPosition(target, 0);
    M->ensureLineVisible(target);
    Ligne();
    return true;
}
