#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <atomic>

/**
 * The files of the site, for opening a file by name, finding in files and the
 * definition index.
 *
 * The site is "Racine" when it is set and holds the edited file, else the edited
 * file's folder. It never widens by itself to the home folder or "/": when the
 * edited file lies directly there (and that folder is not "Racine"), the site is
 * that folder's own files only, without its subfolders.
 *
 * Listed: every regular file below the site's folder, except inside hidden
 * folders (a name starting with ".") and `node_modules` (`vendor` is kept: its
 * definitions matter), and except what the site's `.ondrelignore` excludes
 * (the patterns of a `.gitignore`). Links to folders are not followed (no loop,
 * no walk out of the site); links to files are listed.
 */
struct Site
{
    QString root;          // absolute folder, without a final "/" (except "/" itself)
    bool recursive = true; // false: the folder's own files only
    bool isValid() const { return !root.isEmpty(); }
    bool operator==(const Site &) const = default;
};

/**
 * The site for `racine` (the field "Racine", may be empty) and `editedFile` (an
 * absolute path, may be empty). `home` is the user's home folder. Invalid when
 * neither names a folder.
 */
Site siteFor(const QString &racine, const QString &editedFile, const QString &home);

/** The patterns of a `.gitignore`, matched against paths relative to the site. */
class IgnoreRules
{
public:
    IgnoreRules() = default;
    /** Reads the patterns of `text` (one per line; "#" comments, "!" negations, "\" escapes). */
    explicit IgnoreRules(const QString &text);

    /** Whether `relativePath` ("a/b/c.php", "/"-separated) is ignored; `isFolder` for folders. */
    bool ignores(QStringView relativePath, bool isFolder) const;
    bool isEmpty() const { return m_rules.isEmpty(); }

private:
    struct Rule
    {
        QRegularExpression pattern;
        bool negated = false;
        bool foldersOnly = false;
    };
    QList<Rule> m_rules;
};

struct SiteListing
{
    QStringList files; // paths relative to the site's folder, "/"-separated, sorted
    bool truncated = false; // the limit was reached: the rest was not listed
    /**
     * The files of `files` whose path is not UTF-8, as the file list shows them
     * (U+FFFD for each byte that is not), with the path's own bytes below the site.
     */
    QHash<QString, QByteArray> rawPaths;
    qsizetype unreadableFiles = 0;   // names that could not be told apart once shown (two the same)
    qsizetype unreadableFolders = 0; // folders that could not be opened (mode 000…), their files unlisted

    /** The bytes of the path of `file` (one of `files`) below the site's `root`, for reading it. */
    QByteArray encodedPath(const QString &root, const QString &file) const;
};

/** "3 fichiers illisibles, 1 dossier illisible"; empty when both are 0. */
QString unreadableCountText(qsizetype files, qsizetype folders);

/** The most files listed: a site bigger than this is listed up to it. */
constexpr qsizetype kMaxSiteFiles = 500000;

/**
 * Lists the site's files (see above). Stops early, with what it has, when
 * `cancel` becomes true. A folder that cannot be read is skipped and counted.
 */
SiteListing listSiteFiles(const Site &site, const std::atomic<bool> *cancel = nullptr,
                          qsizetype limit = kMaxSiteFiles);
