#pragma once

#include "files/recentfiles.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class EditedFile;
class QLineEdit;
class QTabBar;
class QWidget;
class RichEdit;
struct FileIdentity;

/**
 * The files open in the editor and what keeps them across runs: one tab each
 * above the editor, the recent list (Ctrl+E), the tabs and the pinned page of
 * the last run brought back at start and written at the end, the questions
 * before unsaved text goes, the one save of the edited file, the journal of
 * unsaved text and its offer after a crash, and the files a launch hands over.
 *
 * It is given the editor control (`editor`, whose text is the current file's),
 * the tab strip (`tabs`), the field "Fichier" (`fileField`: the path the next
 * save writes to) and the widget its message boxes belong to. It shows nothing
 * else itself: what the other controls should show follows its signals.
 *
 * There is always one current file, a new empty text when nothing else is open.
 */
class SessionController : public QObject
{
    Q_OBJECT
public:
    SessionController(RichEdit *editor, QTabBar *tabs, QLineEdit *fileField, QWidget *boxParent,
                      QObject *parent = nullptr);
    ~SessionController() override;

    /** The side files' path without extension; the recent list and unsaved copies go beside them. */
    void setSideFileBase(const QString &base) { m_sideFileBase = base; }

    /** The file the editor shows: its path, identity, form, watch, journal and anchors. */
    EditedFile *editedFile() const { return m_file; }
    /** The open files, in the order of their tabs. */
    const QList<EditedFile *> &openFiles() const { return m_files; }
    /** The tab of the file at `path`, -1 when it is not open. */
    int fileTabOf(const QString &path) const;
    /** Shows the file of tab `index`: "Fichier", the caption and the anchors follow it (fileShown). */
    void showFileTab(int index);
    /** Closes tab `index`, first asking when its text holds unsaved changes; false when it stays. */
    bool closeFileTab(int index);
    /** Ctrl+W: closes the current tab. */
    void closeCurrentTab();
    /** Ctrl+PageDown (`step` 1) and Ctrl+PageUp (-1): the next or previous tab, round the strip. */
    void showNeighbourTab(int step);
    /** Each tab's caption: the file's name, "*" first while it holds unsaved changes. */
    void labelFileTabs();

    /**
     * A file chosen as in the file list: its tab when it is open (read again when its
     * untouched text is no longer what the file holds), else a tab of its own, or the
     * empty tab. A file closed before comes back with its caret, view and anchors.
     * Throws OndrelError when the file cannot be read; the tabs stay as they were.
     */
    void chooseFile(const QString &path);
    /** Loads `path` into the current tab as its file, watched for changes by other programs. */
    void loadEditedFile(const QString &path);

    /**
     * Before the editor's text is replaced: when it was changed since it was last
     * loaded or saved, asks whether to save it to "Fichier" first. False when the user
     * cancels (or the save fails): keep everything as it is.
     */
    bool mayDropEditorText();
    /**
     * Closing the window: when texts hold unsaved changes, asks once, naming each
     * file. False when the user cancels (or a save fails).
     */
    bool mayCloseFiles();
    /**
     * The one save of the edited file, used by the preview, the save key and the
     * unsaved-text question: writes the editor's text to "Fichier". Before writing it
     * asks when "Fichier" names another existing file than the text's own, and when
     * another program changed the file since it was loaded or saved (`knownDisk` is
     * what the file on disk is when the caller has just read it); a binary file is
     * never written. False when the user cancelled: nothing was written. Throws
     * OndrelError with the French message when the file cannot be written. After a
     * save to a named file, `saved` is emitted.
     */
    bool saveEditedFile(const FileIdentity *knownDisk = nullptr);

    /**
     * Writes the journal of unsaved text at once, on the calling thread, and keeps
     * every journal when the run ends (for a stop that must not ask). False when it
     * could not be written.
     */
    bool journalNow();
    /** At start-up: offers back the unsaved text that a run which did not end cleanly left. */
    void offerRecovery();
    /**
     * The emergency copy of the editor's text, when it must be dropped without
     * asking: written beside the side files, named after the edited file. Returns
     * the copy's path; throws OndrelError when it cannot be written anywhere.
     */
    QString keepUnsavedText();
    /**
     * A stop signal: the editor's unsaved text is journaled and copied beside the side
     * files (each step told on stderr), and every tab's journal stays for the next
     * start. False when the copy could not be written.
     */
    bool keepTextsForStop();
    /** The end of the run: each file's journal goes (unless kept) and the files are let go. */
    void endRun();

    /** The recent files, open or closed, most recent first (Ctrl+E). */
    const QList<RecentFile> &recentFiles() const { return m_recentFiles; }
    /** The paths of the recent list, most recent first. */
    QStringList recentPaths() const;
    /**
     * At start: the tabs and the pinned page of the last run, each file read as a
     * choice in the file list would; what could not come back, or changed since, is
     * told in a notice. False when no tab came back.
     */
    bool restoreTabs();
    /**
     * At the end: the recent list, with the open tabs (the first one first) and the
     * pinned page. Nothing is written when start-up never read the list. Throws
     * OndrelError when the file cannot be written.
     */
    void writeRecentFiles();
    /** The pinned page (absolute, empty for none), kept with the recent list and shown by the tab strip. */
    void setPinnedPage(const QString &path);

    /**
     * Files handed over by a launch: the first is opened (openRequested) once no
     * dialog is open; while one is, the last file handed over waits for it.
     */
    void openFromCommandLine(const QStringList &files);

signals:
    /** The editor is about to show another file's text. */
    void editedFileLeaving();
    /** Another file's text is in the editor now: its anchors, "Fichier" and the caption follow. */
    void fileShown(EditedFile *file);
    /** The editor's text was replaced by a file's (or is no file's any more). */
    void editedFileLoaded();
    /** The edited file was saved under another path. */
    void editedFileRenamed();
    /** A file was written (by any save); `path` is its absolute path. */
    void fileWritten(const QString &path);
    /** The current file's anchors changed as a whole (a closed file came back). */
    void anchorsChanged(EditedFile *file);
    /** `path` became the edited file as a choice in the file list makes it: "Fichier", URL, caption follow. */
    void fileChosen(const QString &path);
    /** A save of the edited file to a named file succeeded. */
    void saved();
    /** The current file's pause of typing is over: saving while typing may save. */
    void autoSaveDue();
    /** The tab strip is worth showing: several tabs, or a pinned page. */
    void tabStripWanted(bool shown);
    /** The pinned page of the last run came back at start. */
    void pinnedPageRestored(const QString &path);
    /** A line for the editor page's notice; empty hides it. */
    void notice(const QString &text);
    /** A launch's file to open, now that no dialog is open. */
    void openRequested(const QString &path);

private:
    /** Runs a handler of the tab strip: an error that escapes it is shown in the error box. */
    void guarded(const std::function<void()> &handler);
    /** A tab for a new, empty text, made the current one. */
    void addFileTab();
    void bindFile(EditedFile *file);
    /** What the recent list keeps of `file` now: its caret, view and anchors. */
    RecentFile recentEntryOf(const EditedFile *file) const;
    /** `file` goes first in the recent list, as it is now. */
    void noteRecentFile(const EditedFile *file);
    /** The file just opened in a tab of its own takes the caret, view and anchors it was left with. */
    void restoreRecentPlace();
    QString recentFilesPath() const;

    RichEdit *m_editor;
    QTabBar *m_tabs;
    QLineEdit *m_fileField;
    QWidget *m_boxParent;
    QString m_sideFileBase;
    EditedFile *m_file = nullptr; // the file the editor shows
    QList<EditedFile *> m_files;  // every open file, in the order of the tabs
    QList<RecentFile> m_recentFiles; // most recent first
    bool m_recentRead = false;       // start-up read the recent list: the end may write it
    QString m_pinnedPage;            // absolute; empty: none
    bool m_keepJournal = false;      // the run ends without asking: the journals stay
    QString m_pathToOpen;            // a launch's file, waiting for a dialog to close
};
