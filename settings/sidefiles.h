#pragma once

#include "settings/profile.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

/** The three side files of one side-file base ("…/ondrel" gives ondrel.ini, .php and .qry). */
struct SideFilePaths
{
    QString settings; // the settings file, INI format
    QString keywords; // the keyword list: the text of the memo mAide
    QString history;  // the query history: the items of the query box
};
SideFilePaths sideFilePaths(const QString &base);

/**
 * Where the side files live: beside the executable and named after it (its path
 * without extension), or, for an installed copy, in `configFolder`/ondrel/
 * under the executable's name.
 */
QString sideFileBaseFor(const QString &executablePath, const QString &configFolder, bool installedCopy);
/** The folder the build installs the executable to ("/usr/bin" for the package). */
QString installFolder();
/** An executable in the folder it is installed to, or in a folder the user may not write. */
bool isInstalledCopy(const QString &executablePath);
/** sideFileBaseFor the executable at `executablePath`, with the user's configuration folder; creates nothing. */
QString sideFileBaseOf(const QString &executablePath);
/** sideFileBaseOf this process's executable; creates ~/.config/ondrel when used. */
QString defaultSideFileBase();

/**
 * The keyword list file read as the memo's text: CR LF, a lone CR and a lone LF
 * each end a line; lines are joined with "\n" (a final line break leaves a last,
 * empty line).
 */
QString keywordTextFromFile(const QByteArray &bytes);
/** The keyword list file of the memo's lines: joined by CR LF, no break after the last. */
QByteArray keywordFileFromLines(const QStringList &lines);

/**
 * The items of a query history file: one per line, cut at each CR LF, lone CR or
 * lone LF; empty lines are items too, and a final line break adds none. Inside a
 * line, U+2028 stands for a LF and U+2029 for a CR of a multi-line statement.
 */
QStringList historyFromFile(const QByteArray &bytes);
/**
 * The query history file of `items`: each one on a line of its own followed by
 * CR LF, the last one too; the line breaks inside a statement are written as
 * U+2028 (LF) and U+2029 (CR), so that the file keeps one statement per line.
 * Statements that may hold a password (isSecretStatement) are left out.
 */
QByteArray historyFileFromItems(const QStringList &items);
/**
 * A statement that matches IDENTIFIED or PASSWORD, letter case ignored: it may
 * hold a password, so it stays in the list while Ondrel runs but is never written.
 */
bool isSecretStatement(const QString &statement);
/** The mode a new query history file is created with: owner only. */
inline constexpr unsigned kHistoryFileMode = 0600;
/**
 * The history to store at shut-down, merged with what another copy of the
 * program may have written meanwhile: the items of the file now (`disk`), less
 * those this run removed, then the run's new items in their order, each left out
 * when the list already holds it, letter case ignored. The run's changes are
 * read from `loaded` (the items start-up read) and `now` (the run's list), which
 * only loses items and gains new ones at its end.
 */
QStringList mergedHistory(const QStringList &disk, const QStringList &loaded, const QStringList &now);

/** One value the settings file keeps: its section, its key, and the window's value as text. */
struct StoredSetting
{
    QString section;
    QString key;
    QString value;
};

/**
 * What start-up loaded from the side files, so that shut-down writes only what
 * this run changed, merged with what another copy of the program wrote to the
 * same files in the meantime. A value start-up never reached (it stopped at a
 * start folder that is gone) still holds its design value: it counts as not
 * loaded, and is written only when the user changed it.
 */
struct SideFileState
{
    /** Settings by "Section/Key": the value the window held after start-up (or before, when not loaded). */
    QHash<QString, QString> settingsAtStart;
    QSet<QString> settingsLoaded;
    /**
     * The history items start-up read, and the file's bytes when they are exactly
     * those items (so that a file nobody changed is not parsed again);
     * `historyLoaded` is false when the file could not be read.
     */
    QStringList historyAtStart;
    std::optional<QByteArray> historyFileAtStart;
    bool historyLoaded = false;
    /** Whether the keyword list was loaded, the digest of its file then (empty: no file), and typing since. */
    bool keywordsLoaded = false;
    QByteArray keywordsDigest;
    bool keywordsEdited = false;
    /** The window's place as it was when the window was closed, still on screen; empty before. */
    QList<StoredSetting> placementAtClose;

    /** Records `values` as they are now, as loaded (or as design values when `loaded` is false). */
    void noteSettings(const QList<StoredSetting> &values, bool loaded);
    /** After a save: the values written (changed, or loaded) are what later changes count from. */
    void noteSaved(const QList<StoredSetting> &values);
    /** Whether the run changed the value since start-up. */
    bool changed(const StoredSetting &setting) const;
    /**
     * Applies the run's values to `disk`, the settings file as it is now: each value
     * the run changed is written; a loaded value the file lacks is added; every
     * other key keeps the file's value, byte for byte. The section `wholeSection`
     * is left holding nothing but its keys of `values`.
     */
    void mergeSettings(ProfileFile &disk, const QList<StoredSetting> &values, QStringView wholeSection) const;
};

/** A digest of a side file's bytes, to tell whether the file changed on disk since it was read. */
QByteArray sideFileDigest(const QByteArray &bytes);

/**
 * Takes the permission bits of group and others off the file at `path` (a link is
 * followed), as a file holding a password must be. False, with the reason in
 * French in `why`, when that fails.
 */
bool keepOwnerOnly(const QString &path, QString *why = nullptr);

/**
 * What shut-down has to tell the user: the failures, one message each (each side
 * file is written on its own, so one failure does not stop the others), and the
 * notices of what it did besides (a copy kept aside).
 */
struct SideFileReport
{
    QStringList failures;
    QStringList notices;
};
