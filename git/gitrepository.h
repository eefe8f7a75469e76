#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

/** How a file stands in Git, against HEAD and the index together. */
enum class GitMark : quint8 {
    Unchanged,
    Modified,   // changed in the index or the work tree (a type change too)
    New,        // untracked, or added to the index since HEAD
    Deleted,
    Renamed,    // `oldPath` tells from where
    Ignored,
    Conflicted, // a merge left it unresolved
};

/** One file (or folder, `path` ending in "/") that differs from HEAD, or is ignored. */
struct GitStatusEntry
{
    QString path;    // relative to the work tree, "/" separators
    GitMark mark = GitMark::Unchanged;
    QString oldPath; // for Renamed (staged renames only, as Git finds them): its path in HEAD
    bool staged = false; // the index differs from HEAD for it
    bool operator==(const GitStatusEntry &other) const = default;
};

/**
 * The status of a whole work tree: every file that differs from HEAD or the
 * index, every untracked and every ignored one. A folder whose files are all
 * untracked, or all ignored, is one entry ending in "/", as `git status` shows
 * it, and markOf() gives its mark to each file below it.
 */
struct GitStatus
{
    QList<GitStatusEntry> entries; // in the order of their paths; not to be changed once looked up
    QString error;                 // why there is no status (unreadable disk...); empty otherwise

    /** The mark of a file or folder (path relative to the work tree); Unchanged when not listed. */
    GitMark markOf(const QString &path) const;
    /** The entry of a path, or nullptr. */
    const GitStatusEntry *entry(const QString &path) const;

private:
    mutable QHash<QString, qsizetype> m_byPath; // built at the first look-up
};

/** The branch HEAD names. */
struct GitBranch
{
    QString name;          // "main"; for a detached HEAD, the short id of the commit
    bool detached = false;
    bool unborn = false;   // no commit yet on it
    bool operator==(const GitBranch &other) const = default;
};

/** Who last changed a line, and when. */
struct GitBlame
{
    bool committed = false; // false: the line is not in HEAD as it stands (new or edited)
    QString commitId;       // full hexadecimal id
    QString author;
    QString email;
    QDateTime when;         // with the author's own offset from UTC
    QString summary;        // the first line of the commit's message
    QString error;          // why there is no answer; empty otherwise
};

/**
 * A Git work tree found for a path, or the reason there is none.
 *
 * open() looks upward from a file or folder for a repository (the way Git does,
 * stopping at a file system's boundary). "No Git" is a value, never an error:
 * no repository, libgit2 missing, a bare repository, a work tree linked to
 * another repository by a `.git` file (`git worktree`), or a repository that
 * could not be read (another owner, a damaged HEAD) give an object whose
 * isValid() is false and whose absence() says why. A submodule is a repository
 * of its own.
 *
 * The object holds paths only and may be copied to any thread; every call but
 * the accessors opens the repository afresh and reads the disk, so it may block
 * on a slow disk: the window runs them through GitJobs. Nothing here writes to
 * the repository: not the index, not HEAD, not the config.
 */
class GitRepository
{
public:
    enum class Absence { None, NotARepository, NoLibrary, Bare, LinkedWorkTree, Unreadable };

    static GitRepository open(const QString &path);

    bool isValid() const { return m_absence == Absence::None; }
    Absence absence() const { return m_absence; }
    /** The reason in libgit2's or the loader's words, for a log; empty when valid. */
    const QString &reason() const { return m_reason; }
    /** The top of the work tree, without a final "/". */
    const QString &workTree() const { return m_workTree; }

    /** The path of `file` relative to the work tree; empty when it lies outside. */
    QString relativePath(const QString &file) const;

    GitBranch branch() const;
    /** The whole tree's status (untracked and ignored files included). */
    GitStatus status() const;
    /** The bytes the index holds for `file` (an absolute path); nullopt when it holds none. */
    std::optional<QByteArray> indexContent(const QString &file) const;
    /** The bytes HEAD holds for `file`; nullopt when it holds none (no commit yet, a new file). */
    std::optional<QByteArray> headContent(const QString &file) const;
    /**
     * Who last changed line `line` (0-based) of `edited`, the text of `file` as
     * the editor holds it now: the line is found in HEAD's version first, so that
     * lines above it added or removed since do not shift the answer.
     */
    GitBlame blameLine(const QString &file, const QByteArray &edited, int line) const;

private:
    Absence m_absence = Absence::NotARepository;
    QString m_reason;
    QString m_workTree;
};
