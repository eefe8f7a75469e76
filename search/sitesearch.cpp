// Search of the whole site from the editor page: the steps behind Ctrl+P,
// Ctrl+Shift+F, F12 and Shift+F12. The work runs on the core's worker threads;
// this object only takes their results in and moves the editor.
#include "search/sitesearch.h"

#include "editor/richedit.h"
#include "search/openfilebox.h"
#include "search/phplexer.h"
#include "search/sitesearchpanel.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include <algorithm>
#include <QThread>

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kLineRole = Qt::UserRole + 1;
constexpr int kShownFiles = 200;
const QString kPhpFiles = QStringLiteral("*.php;*.inc;*.phtml;*.php3;*.php4;*.php5;*.php7;*.php8");

QString absoluteClean(const QString &path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

SiteSearch::SiteSearch(RichEdit *editor, QWidget *page, SiteSearchPanel *panel, Host host, QObject *parent)
    : QObject(parent), m_editor(editor), m_box(new OpenFileBox(page)), m_panel(panel), m_host(std::move(host)),
      m_find(new FindInFiles(this)), m_indexer(new DefinitionIndexer(this))
{
    connect(m_box, &OpenFileBox::textEdited, this, &SiteSearch::fillFileList);
    connect(m_box, &OpenFileBox::accepted, this, &SiteSearch::boxAccepted);
    // The box is the connection's context: it may go before this object when
    // the window is taken down, and focus still moves while that happens.
    connect(qApp, &QApplication::focusChanged, m_box, [box = m_box](QWidget *, QWidget *now) {
        if (box->isVisible() && now && !box->isAncestorOf(now))
            box->close();
    });
    connect(m_panel, &SiteSearchPanel::searchAsked, this, &SiteSearch::startSearch);
    connect(m_panel, &SiteSearchPanel::cancelAsked, this, [this] {
        if (!m_find->isRunning())
            return;
        m_find->cancel();
        FindSummary summary;
        summary.cancelled = true;
        summary.matches = m_panel->receivedCount();
        m_panel->searchFinished(summary);
    });
    connect(m_panel, &SiteSearchPanel::matchChosen, this, &SiteSearch::openMatch);
    connect(m_find, &FindInFiles::found, m_panel, &SiteSearchPanel::addMatches);
    connect(m_find, &FindInFiles::finished, m_panel, &SiteSearchPanel::searchFinished);
    connect(m_indexer, &DefinitionIndexer::ready, this, [this] {
        m_host.notify(QString());
        if (!m_pendingDefinition.isEmpty())
            showDefinitions(std::exchange(m_pendingDefinition, QString()));
    });
}

SiteSearch::~SiteSearch()
{
    // A listing thread posts to this object: it must end while the object is whole.
    for (const QPointer<QThread> &thread : std::as_const(m_listers)) {
        if (thread)
            thread->wait();
    }
}

Site SiteSearch::site() const
{
    return siteFor(m_host.racine(), absoluteClean(m_host.editedFile()), QDir::homePath());
}

QString SiteSearch::relativeToSite(const QString &path) const
{
    const QString root = m_listedSite.root == u"/" ? QString() : m_listedSite.root;
    return path.startsWith(root + u'/') ? path.mid(root.size() + 1) : path;
}

void SiteSearch::openFileBox()
{
    const Site now = site();
    if (!now.isValid()) {
        m_host.notify(QStringLiteral("Aucun site : ouvrez un fichier ou indiquez une « Racine » sur la page Fichier."));
        return;
    }
    m_mode = BoxMode::Files;
    if (!(m_listedSite == now)) {
        m_listedSite = now;
        m_finder.setPaths({});
        m_unreadable.clear();
    }
    m_box->popUp(fileBoxTitle(), true);
    fillFileList(QString());
    refreshFiles();
}

QString SiteSearch::fileBoxTitle() const
{
    const QString title = QStringLiteral("Ouvrir un fichier du site");
    return m_unreadable.isEmpty() ? title : title + QStringLiteral(" (%1)").arg(m_unreadable);
}

void SiteSearch::refreshFiles()
{
    // Listed again at each opening, off the UI thread (a big site takes a moment);
    // the list shown meanwhile is the last one.
    const Site listed = m_listedSite;
    const int generation = ++m_listing;
    QThread *thread = QThread::create([this, listed, generation] {
        SiteListing listing = listSiteFiles(listed);
        const QString unreadable = unreadableCountText(listing.unreadableFiles, listing.unreadableFolders);
        QMetaObject::invokeMethod(this, [this, listed, generation, unreadable, files = std::move(listing.files)]() mutable {
            if (generation != m_listing || !(listed == m_listedSite))
                return;
            m_finder.setPaths(std::move(files));
            m_unreadable = unreadable;
            if (m_box->isVisible() && m_mode == BoxMode::Files)
                m_box->title->setText(fileBoxTitle());
            if (m_box->isVisible() && m_mode == BoxMode::Files)
                fillFileList(m_box->edit->text());
        }, Qt::QueuedConnection);
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    m_listers.removeAll(nullptr);
    m_listers.append(thread);
    thread->start();
}

void SiteSearch::fillFileList(const QString &typed)
{
    if (m_mode == BoxMode::Recent) {
        // Every letter typed, in order, anywhere in the path; the most recent first.
        QListWidget *list = m_box->list;
        list->clear();
        FuzzyFinder finder;
        const QStringList recent = m_host.recentFiles();
        finder.setPaths(recent);
        const QString home = QDir::homePath() + u'/';
        const auto add = [&](const QString &path) {
            auto *item = new QListWidgetItem(path.startsWith(home) ? u'~' + path.mid(home.size() - 1) : path, list);
            item->setData(kPathRole, path);
            item->setData(kLineRole, 0);
            item->setToolTip(path);
        };
        if (typed.trimmed().isEmpty()) {
            for (const QString &path : recent)
                add(path);
        } else {
            for (const FuzzyFinder::Hit &hit : finder.find(typed.trimmed(), kShownFiles))
                add(recent.at(hit.index));
        }
        list->setCurrentRow(list->count() ? 0 : -1);
        return;
    }
    if (m_mode != BoxMode::Files)
        return;
    const FileQuery query = parseFileQuery(typed);
    const QString root = m_listedSite.root == u"/" ? QString() : m_listedSite.root;
    QListWidget *list = m_box->list;
    list->setUpdatesEnabled(false);
    list->clear();
    const auto add = [&](const QString &relative) {
        auto *item = new QListWidgetItem(relative, list);
        item->setData(kPathRole, root + u'/' + relative);
        item->setData(kLineRole, query.line);
    };
    if (query.text.isEmpty()) {
        // The file in view, the open and recent files (the recent list's, kept across
        // runs), then the site in order.
        QStringList shown;
        const QString edited = absoluteClean(m_host.editedFile());
        for (const QString &recent : QStringList{edited} + m_host.recentFiles()) {
            if (recent.startsWith(root + u'/') && !shown.contains(relativeToSite(recent)) && QFileInfo(recent).isFile())
                shown << relativeToSite(recent);
        }
        for (const QString &path : m_finder.paths()) {
            if (shown.size() >= kShownFiles)
                break;
            if (!shown.contains(path))
                shown << path;
        }
        for (const QString &path : std::as_const(shown))
            add(path);
    } else {
        for (const FuzzyFinder::Hit &hit : m_finder.find(query.text, kShownFiles))
            add(m_finder.paths()[hit.index]);
    }
    list->setCurrentRow(list->count() ? 0 : -1);
    list->setUpdatesEnabled(true);
}

void SiteSearch::boxAccepted(int row)
{
    QListWidgetItem *item = m_box->list->item(row);
    if (!item)
        return;
    m_box->close();
    if (m_mode == BoxMode::Definitions && row < m_candidates.size()) {
        const Definition d = m_candidates.at(row);
        jumpTo(d.file, d.line, 0, 0);
        return;
    }
    jumpTo(item->data(kPathRole).toString(), item->data(kLineRole).toInt());
}

bool SiteSearch::jumpTo(const QString &path, int line, qsizetype byteColumn, qsizetype length)
{
    const JumpPlace from = here();
    if (absoluteClean(path) != from.file) {
        if (!m_host.openFile(path))
            return false;
    }
    m_history.leave(from);
    if (line > 0) {
        const int target = std::clamp(line - 1, 0, std::max(0, m_editor->lineCount() - 1));
        const qsizetype start = m_editor->lineStartOffset(target);
        const qsizetype lineLength = m_editor->lineText(target).size();
        m_editor->setSelStart(start + std::min(byteColumn, lineLength));
        m_editor->setSelLength(std::min(length, lineLength - std::min(byteColumn, lineLength)));
    }
    m_editor->setFocus();
    return true;
}

JumpPlace SiteSearch::here() const
{
    return {absoluteClean(m_host.shownFile()), m_editor->selStart()};
}

void SiteSearch::leavePlace()
{
    m_history.leave(here());
}

void SiteSearch::goTo(const JumpPlace &place)
{
    if (place.file != absoluteClean(m_host.shownFile()) && !m_host.openFile(place.file))
        return;
    m_editor->setSelStart(std::min(place.offset, m_editor->textLength()));
    m_editor->setSelLength(0);
    m_editor->setFocus();
}

void SiteSearch::goBack()
{
    const std::optional<JumpPlace> place = m_history.back(here());
    if (!place) {
        m_host.notify(QStringLiteral("Aucun endroit où revenir."));
        return;
    }
    goTo(*place);
}

void SiteSearch::goForward()
{
    const std::optional<JumpPlace> place = m_history.forward(here());
    if (!place) {
        m_host.notify(QStringLiteral("Aucun endroit où avancer : Alt+Droite suit Alt+Gauche."));
        return;
    }
    goTo(*place);
}

void SiteSearch::openRecentBox()
{
    m_mode = BoxMode::Recent;
    m_box->popUp(QStringLiteral("Fichiers récents"), true);
    fillFileList(QString());
}

QString SiteSearch::nameAtCaret() const
{
    const qsizetype offset = m_editor->selStart();
    const int line = m_editor->lineOfOffset(offset);
    const QByteArray text = m_editor->lineText(line);
    const std::string_view name = phpNameAt(std::string_view(text.constData(), size_t(text.size())),
                                            size_t(offset - m_editor->lineStartOffset(line)));
    return m_editor->decode(QByteArray(name.data(), qsizetype(name.size())));
}

void SiteSearch::findInSite()
{
    QString pattern;
    if (m_editor->selLength() > 0 && m_editor->selLength() < 200) {
        const std::string_view selected = m_editor->range(m_editor->selStart(), m_editor->selLength());
        if (selected.find('\n') == std::string_view::npos && selected.find('\r') == std::string_view::npos)
            pattern = m_editor->decode(QByteArray(selected.data(), qsizetype(selected.size())));
    }
    if (pattern.isEmpty())
        pattern = nameAtCaret();
    m_panel->open(pattern);
}

void SiteSearch::startSearch()
{
    const Site now = site();
    if (!now.isValid()) {
        m_panel->count->setText(QStringLiteral("Aucun site : ouvrez un fichier ou indiquez une « Racine »."));
        return;
    }
    m_searchedSite = now;
    m_panel->searchStarted();
    m_find->start(now, m_panel->options());
}

void SiteSearch::openMatch(int row)
{
    if (row < 0 || row >= m_panel->matchCount())
        return;
    const FindMatch &m = m_panel->match(row);
    const QString root = m_searchedSite.root == u"/" ? QString() : m_searchedSite.root;
    jumpTo(root + u'/' + m.file, m.line, m.byteColumn, m.byteLength);
}

void SiteSearch::goToDefinition()
{
    const QString name = nameAtCaret();
    if (name.isEmpty()) {
        m_host.notify(QStringLiteral("Aucun nom sous le curseur."));
        return;
    }
    const Site now = site();
    if (!now.isValid()) {
        m_host.notify(QStringLiteral("Aucun site : ouvrez un fichier ou indiquez une « Racine » sur la page Fichier."));
        return;
    }
    if (!m_indexer->isReadyFor(now)) {
        m_pendingDefinition = name;
        m_indexer->ensureBuilt(now);
        m_host.notify(QStringLiteral("Index des définitions du site en construction…"));
        return;
    }
    showDefinitions(name);
}

void SiteSearch::showDefinitions(const QString &name)
{
    m_candidates = m_indexer->index().find(name);
    // The open file is always searched, in the text the editor holds now: the index may
    // have left it out for its size, or hold its text as last saved.
    const QString shown = m_host.shownFile();
    if (!shown.isEmpty()) {
        m_candidates.removeIf([&](const Definition &d) { return d.file == shown; });
        const QByteArray text = m_editor->wholeText();
        for (Definition d : scanDefinitions(std::string_view(text.constData(), size_t(text.size())))) {
            if (d.name.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            d.file = shown;
            m_candidates.append(d);
        }
        std::sort(m_candidates.begin(), m_candidates.end(), [](const Definition &a, const Definition &b) {
            return a.file != b.file ? a.file < b.file : a.line < b.line;
        });
    }
    if (m_candidates.isEmpty()) {
        QStringList unread = m_indexer->index().tooLargeFiles();
        unread.removeAll(shown);
        QString text = QStringLiteral("Aucune définition de « %1 » dans le site.").arg(name);
        if (!unread.isEmpty()) {
            const QString root = site().root;
            for (QString &file : unread)
                file = file.startsWith(root + u'/') ? file.mid(root.size() + 1) : file;
            text += QStringLiteral(" Non lu%1, trop gros pour l'index : %2.")
                        .arg(unread.size() > 1 ? QStringLiteral("s") : QString(), unread.join(QStringLiteral(", ")));
        }
        m_host.notify(text);
        return;
    }
    if (m_candidates.size() == 1) {
        jumpTo(m_candidates.first().file, m_candidates.first().line);
        return;
    }
    m_mode = BoxMode::Definitions;
    const QString root = site().root;
    m_box->popUp(QStringLiteral("Définitions de « %1 »").arg(name), false);
    QListWidget *list = m_box->list;
    list->clear();
    for (const Definition &d : std::as_const(m_candidates)) {
        const QString what = d.container.isEmpty() ? d.name : d.container + QStringLiteral("::") + d.name;
        new QListWidgetItem(QStringLiteral("%1 %2 — %3:%4").arg(definitionKindText(d.kind), what, d.file.startsWith(root + u'/') ? d.file.mid(root.size() + 1) : d.file).arg(d.line),
                            list);
    }
    list->setCurrentRow(0);
}

void SiteSearch::listUses()
{
    const QString name = nameAtCaret();
    if (name.isEmpty()) {
        m_host.notify(QStringLiteral("Aucun nom sous le curseur."));
        return;
    }
    FindOptions options;
    options.pattern = name;
    options.wholeWord = true;
    options.fileFilter = kPhpFiles;
    m_panel->setOptions(options);
    m_panel->open(QString());
    startSearch();
}

void SiteSearch::fileSaved(const QString &path)
{
    m_indexer->updateFile(absoluteClean(path));
}
