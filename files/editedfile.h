#pragma once

#include "editor/richedit.h"
#include "io/fileidentity.h"
#include "io/textform.h"

#include <Qsci/qscidocument.h>

#include <QObject>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QString>

#include <array>
#include <memory>
#include <optional>

class JournalWriter;
class QFileSystemWatcher;
class QTimer;
struct Journal;

/**
 * What a save may have to ask the user. The window asks with message boxes;
 * tests answer directly.
 */
class SaveQuestions
{
public:
    enum class OnDisk { Overwrite, Reload, Cancel };
    /** "Remplacer le fichier %1 ?": true to write over that other, existing file. */
    virtual bool replaceOtherFile(const QString &path) = 0;
    /**
     * The file must be written in place and its old content can be kept safe nowhere
     * (`message` says where): true to write it all the same.
     */
    virtual bool writeWithoutSafeCopy(const QString &message) = 0;
    /** The file was changed by another program since it was loaded or saved. */
    virtual OnDisk changedOnDisk(const QString &path) = 0;

    enum class NotLoaded { Overwrite, SaveAs, Cancel };
    /**
     * The path no longer names the file that was loaded or last saved: another file
     * took its place, or (`nowALink`) a symbolic link did. A link is never written
     * through: Overwrite is then taken as Cancel, and not to be offered.
     */
    virtual NotLoaded notTheLoadedFile(const QString &path, bool nowALink) = 0;
    /** "Enregistrer sous…": where to save the text instead of `path`; empty when the user gave up. */
    virtual QString saveAsPath(const QString &path) = 0;
    /** Another program deleted the file since it was loaded or saved: true to create it again. */
    virtual bool recreateDeleted(const QString &path) = 0;

protected:
    ~SaveQuestions() = default;
};

/**
 * One file open in Ondrel: its text (a document the editor control shows), the
 * path it was loaded from or saved to, what the file was then (its identity), the
 * form its bytes take on disk (encoding, line breaks), the watch on changes other
 * programs make to it, the journal that keeps its unsaved text through a crash,
 * its five line anchors, and whether the user saved it since Ondrel started.
 *
 * The text is read and written through the editor control while it shows this
 * file's document; every load and save here does.
 */
class EditedFile : public QObject
{
    Q_OBJECT
public:
    /** The file of the text `editor` shows now (no file yet). */
    explicit EditedFile(RichEdit *editor, QObject *parent = nullptr);
    /** A file with a new, empty text of its own, not shown yet (`editor` will show it). */
    struct NewText {};
    EditedFile(RichEdit *editor, NewText, QObject *parent = nullptr);
    ~EditedFile() override;

    RichEdit *editor() const { return m_editor; }
    /** The text, as a document an editor control can show. */
    const QsciDocument &document() const { return m_document; }

    /** The file the text was loaded from or last saved to; empty when it belongs to none. */
    QString path() const { return m_path; }
    /** What that file was when it was loaded or last saved. */
    const FileIdentity &identity() const { return m_identity; }
    /**
     * The text stems from the file as it was at `identity` (a recovered journal's): a
     * save asks before writing over a file that is not that any more.
     */
    void setIdentity(const FileIdentity &identity) { m_identity = identity; }
    const TextForm &form() const { return m_form; }
    /** True for a file with a NUL byte or a UTF-16/32 mark: shown read-only, never written. */
    bool isBinary() const { return m_form.binary; }
    /** True for a file that is not UTF-8, shown and written as Windows-1252. */
    bool isWindows1252() const { return m_form.windows1252; }
    /** True while the text holds changes not yet saved. */
    bool isModified() const;

    /** True while the editor shows this file's text; only then can it be loaded, saved or journaled. */
    bool isShown() const { return m_shown; }
    /**
     * The editor shows this file's text, as it was left. A change another program
     * made to the file while it was not shown is taken in now.
     */
    void show();
    /** The editor is about to show another text: the journal is brought up to date and the view kept. */
    void hide();

    /** Saving while typing: autoSaveDue() comes after a pause of typing; each call restarts the wait. */
    void autoSaveAfterPause();
    /** No save while typing is due (the text was saved, or saving while typing is off). */
    void cancelAutoSave();

    /**
     * Reads `path` into the text: throws "Impossible d'ouvrir le fichier %s" (or the
     * reason the user can act on: too large, not a regular file, a name that is not
     * UTF-8) and leaves the text as it was. A binary file is shown read-only.
     */
    void load(const QString &path);
    /** load, and the file becomes the one watched and journaled (a journal of the text before goes). */
    void open(const QString &path);
    /** The text no longer belongs to its file (it was replaced by one that belongs to none). */
    void forget();
    /**
     * Writes the text to `path`, each line with its own break as loaded (new lines
     * take the file's first style) and in the file's encoding; throws "Impossible de
     * créer le fichier %s". A binary file is never written.
     */
    void write(const QString &path, bool inPlaceWithoutCopy = false);
    /** The bytes `write` would write; throws when the text has no form in the file's encoding. */
    QByteArray fileBytes() const;

    /**
     * The one save of the file to `target` (eFile): asks `questions` when `target`
     * names another existing file than the text's own, and when another program
     * changed the file since it was loaded or saved ("Recharger" reads it again,
     * keeping the caret's line). `knownDisk` is what the file on disk is when the
     * caller has just read it. A binary file is never written. False when the user
     * cancelled; throws OndrelError when the file cannot be written.
     */
    bool save(const QString &target, SaveQuestions &questions, const FileIdentity *knownDisk = nullptr);

    /** After an edit: the journal is written after a pause. */
    void noteEdit();
    /** Writes the journal now, on the calling thread; false when it could not be written. */
    bool journalNow();
    /**
     * Takes a journal's text as this file's unsaved text (its own path, when it names
     * one, is loaded first); with `overNewerFile`, the text keeps the identity the file
     * had when the journal was taken, so that a save asks first.
     */
    void recover(const Journal &journal, bool overNewerFile = false);
    /** After a write: the journal goes, the watch follows the file, `written` is told. */
    void afterSave();
    /** At the end of the run: waits for the journal, and removes it unless `keep`. */
    void endRun(bool keep);

    /** Anchor `index` (0 to 4): the 1-based line number it holds as text, "0" when unset. */
    QString anchor(int index) const { return m_anchors.at(static_cast<size_t>(index)); }
    void setAnchor(int index, const QString &line) { m_anchors.at(static_cast<size_t>(index)) = line; }

    /**
     * An error the server reported on 0-based `line` of this file: marked at once
     * while the text is shown, else when it is shown next.
     */
    void markServerError(int line, const QString &message);
    /** The page is fetched again: errors of an earlier fetch waiting to be marked go. */
    void dropWaitingServerErrors() { m_waitingServerErrors.clear(); }

    /** Where the caret and the view were when the text was last hidden (while it is not shown). */
    qsizetype hiddenCaret() const { return m_state.caret; }
    int hiddenFirstLine() const { return m_state.firstLine; }

    /** The absolute path the user saved the text to since Ondrel started (saving while typing excluded). */
    QString savedByUser() const { return m_savedByUser; }
    void setSavedByUser(const QString &path) { m_savedByUser = path; }

signals:
    /** The text was replaced by a file's (a file read again too) or is no file's any more (forget). */
    void loaded();
    /** The text was saved under another path: it is that file's now. */
    void renamed();
    /** The file was written by a save; `path` is its path. */
    void written(const QString &path);
    /** Something the user should read without a box (a binary file, a change on disk…); empty clears it. */
    void notice(const QString &text);
    /** A pause of typing ended in this text: the window saves it if saving while typing may. */
    void autoSaveDue();

private:
    EditedFile(RichEdit *editor, bool shown, QObject *parent);
    void watch();
    void checkDisk();
    void journalSoon();
    /**
     * save's first question when `target` is the text's own file: whether it is
     * still that file, and what the user says when it is not (or is gone); none
     * when there was nothing to ask.
     */
    std::optional<SaveQuestions::NotLoaded> checkOwnFile(const QString &target, const FileIdentity &disk,
                                                         SaveQuestions &questions);
    /** write, asking `questions` before a write in place that nothing keeps safe; false on no. */
    bool writeAsking(const QString &target, SaveQuestions &questions);

    QPointer<RichEdit> m_editor;
    bool m_shown = true;
    bool m_modifiedWhenHidden = false;
    bool m_diskChangedWhenHidden = false;
    EditorDocuments::ShownState m_state; // the view of the text while another is shown
    QsciDocument m_document;
    TextForm m_form;
    QString m_path;
    FileIdentity m_identity;
    bool m_pathIsLink = false; // m_path was a symbolic link when loaded or saved: writes go through it
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer *m_watchDelay = nullptr;
    QTimer *m_journalDelay = nullptr;
    QTimer *m_autoSaveDelay = nullptr;
    std::unique_ptr<JournalWriter> m_journal;
    QString m_journalFor; // the path whose journal may exist
    std::array<QString, 5> m_anchors{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")}; // "0": none set
    QString m_savedByUser;
    QList<QPair<int, QString>> m_waitingServerErrors; // reported while the text was not shown
};
