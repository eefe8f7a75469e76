#pragma once

#include "search/definitionindex.h"
#include "search/findinfiles.h"
#include "search/fuzzymatch.h"
#include "search/jumphistory.h"
#include "search/sitefiles.h"

#include <QObject>
#include <QPointer>
#include <QThread>
#include <QStringList>

#include <functional>

class OpenFileBox;
class RichEdit;
class SiteSearchPanel;

/**
 * Search of the whole site from the editor page: "Ouvrir un fichier du site"
 * (Ctrl+P), "Rechercher dans le site" (Ctrl+Shift+F), "Aller à la définition"
 * (F12, Ctrl+click), the uses of a name (Shift+F12), the way back and forth across
 * jumps (Alt+Left, Alt+Right) and the recent files (Ctrl+E).
 *
 * It owns its box, panel, index and searches; the window gives it the editor and
 * a Host, and binds the keys. Every file it opens goes through Host::openFile,
 * the window's own load of a file chosen in the file list.
 */
class SiteSearch : public QObject
{
    Q_OBJECT
public:
    struct Host
    {
        std::function<QString()> racine;     // the field "Racine"
        std::function<QString()> editedFile; // the edited file's path (eFile)
        std::function<QString()> shownFile;  // the file the editor's text belongs to (empty: none)
        /** Opens `path` as a click in the file list would; false when the editor does not hold it afterwards. */
        std::function<bool(const QString &path)> openFile;
        /** The recent files, open or closed, most recent first (absolute paths). */
        std::function<QStringList()> recentFiles;
        /** A note in the editor page's notice line; empty hides it. */
        std::function<void(const QString &text)> notify;
    };

    /** The box floats over `page`; `panel` is placed by the window at the page's foot. */
    SiteSearch(RichEdit *editor, QWidget *page, SiteSearchPanel *panel, Host host, QObject *parent = nullptr);
    ~SiteSearch() override;

    /** The site in force: from "Racine" and the edited file. */
    Site site() const;

    void openFileBox();   // Ctrl+P
    void findInSite();    // Ctrl+Shift+F: the panel, with the selection or the name at the caret
    void goToDefinition(); // F12, Ctrl+click
    void listUses();      // Shift+F12
    void goBack();        // Alt+Left: back to where the last jump started
    void goForward();     // Alt+Right: forward again to where Alt+Left came from
    void openRecentBox(); // Ctrl+E: "Fichiers récents"
    /** A jump is about to leave the caret's place (Ctrl+G, an anchor, an error's line): Alt+Left comes back to it. */
    void leavePlace();
    const JumpHistory &history() const { return m_history; }
    /** After a save of `path`: the index reads it again. */
    void fileSaved(const QString &path);

    OpenFileBox *box() const { return m_box; }
    SiteSearchPanel *panel() const { return m_panel; }
    DefinitionIndexer *indexer() const { return m_indexer; }

private:
    enum class BoxMode { Files, Definitions, Recent };

    void refreshFiles();
    /** "Ouvrir un fichier du site", with what the last listing could not read. */
    QString fileBoxTitle() const;
    void fillFileList(const QString &typed);
    void boxAccepted(int row);
    void startSearch();
    void openMatch(int row);
    void showDefinitions(const QString &name);
    /** Opens `path` (absolute) and puts the caret on 1-based `line`, selecting `length` bytes from `byteColumn`. */
    bool jumpTo(const QString &path, int line, qsizetype byteColumn = 0, qsizetype length = 0);
    QString nameAtCaret() const;
    QString relativeToSite(const QString &path) const;
    JumpPlace here() const;
    /** Opens the file of `place` when another is shown and puts the caret at its offset. */
    void goTo(const JumpPlace &place);

    RichEdit *m_editor;
    OpenFileBox *m_box;
    SiteSearchPanel *m_panel;
    Host m_host;
    FindInFiles *m_find;
    DefinitionIndexer *m_indexer;
    FuzzyFinder m_finder;
    QString m_unreadable; // what the last listing could not read, as the box's title adds it
    Site m_listedSite;            // the site m_finder's paths belong to
    int m_listing = 0;            // background listings under way (their generation)
    BoxMode m_mode = BoxMode::Files;
    QList<Definition> m_candidates;
    QString m_pendingDefinition;  // the name F12 waits on while the index builds
    Site m_searchedSite;          // the site of the results in the panel
    JumpHistory m_history;
    QList<QPointer<QThread>> m_listers; // listings of the site under way
};
