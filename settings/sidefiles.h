#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

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
/** `stored` followed by the items of `added` that it does not hold already (letter case ignored). */
QStringList mergedHistory(const QStringList &stored, const QStringList &added);

/**
 * What start-up has not (yet) loaded from the side files. A value that was not
 * loaded still holds its design value, and shut-down must not write it over the
 * stored one: it is written only when the user changed it during the run.
 */
struct SideFileState
{
    /** Settings not loaded, "Section/Key" → the value the window held when loading began. */
    QHash<QString, QString> settingsNotLoaded;
    bool historyLoaded = false;
    bool keywordsLoaded = false;
    QString keywordsBeforeLoading;

    /** Whether shut-down writes `value` for the key: loaded, or changed since. */
    bool mustWrite(const QString &section, const QString &key, const QString &value) const
    {
        const auto it = settingsNotLoaded.constFind(section + u'/' + key);
        return it == settingsNotLoaded.cend() || *it != value;
    }
};
