#include "git/gitrepository.h"

#include "git/changebars.h"
#include "git/libgit2.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <memory>

namespace {

/** A path of the file system as Qt names it, from libgit2's bytes. */
QString fromGitPath(const char *path)
{
    return path ? QFile::decodeName(path) : QString();
}

/** `path` with its symbolic links resolved, as far as it exists; cleaned and absolute. */
QString canonicalOf(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    const QString folder = info.absoluteDir().canonicalPath();
    return folder.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : folder + u'/' + info.fileName();
}

/** Whether `folder` or a folder below it holds a file (or a link); links to folders are not followed. */
bool holdsAFile(const QString &folder)
{
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isSymLink() || !info.isDir())
            return true;
    }
    return false;
}

QString shortId(const Libgit2 *git, const git_oid *id)
{
    char text[8] = {};
    git->git_oid_tostr(text, sizeof text, id);
    return QString::fromLatin1(text);
}

/** The mark of one status entry; flags of the index and the work tree together. */
GitMark markOf(unsigned flags)
{
    if (flags & GIT_STATUS_CONFLICTED)
        return GitMark::Conflicted;
    if (flags & GIT_STATUS_IGNORED)
        return GitMark::Ignored;
    if (flags & (GIT_STATUS_WT_NEW | GIT_STATUS_INDEX_NEW))
        return GitMark::New;
    if (flags & (GIT_STATUS_INDEX_RENAMED | GIT_STATUS_WT_RENAMED))
        return GitMark::Renamed;
    if (flags & (GIT_STATUS_INDEX_DELETED | GIT_STATUS_WT_DELETED))
        return GitMark::Deleted;
    if (flags & (GIT_STATUS_INDEX_MODIFIED | GIT_STATUS_WT_MODIFIED | GIT_STATUS_INDEX_TYPECHANGE
                 | GIT_STATUS_WT_TYPECHANGE | GIT_STATUS_WT_UNREADABLE))
        return GitMark::Modified;
    return GitMark::Unchanged;
}

GitStatusEntry entryOf(const git_status_entry &status)
{
    GitStatusEntry entry;
    const unsigned flags = status.status;
    entry.mark = markOf(flags);
    entry.staged = flags & (GIT_STATUS_INDEX_NEW | GIT_STATUS_INDEX_MODIFIED | GIT_STATUS_INDEX_DELETED
                            | GIT_STATUS_INDEX_RENAMED | GIT_STATUS_INDEX_TYPECHANGE);
    const git_diff_delta *last = status.index_to_workdir ? status.index_to_workdir : status.head_to_index;
    entry.path = fromGitPath(last->new_file.path ? last->new_file.path : last->old_file.path);
    if (entry.mark == GitMark::Renamed) {
        const git_diff_delta *first = (flags & GIT_STATUS_INDEX_RENAMED) ? status.head_to_index
                                                                         : status.index_to_workdir;
        entry.oldPath = fromGitPath(first->old_file.path);
    }
    return entry;
}

} // namespace

GitMark GitStatus::markOf(const QString &path) const
{
    if (const GitStatusEntry *own = entry(path))
        return own->mark;
    // An untracked or ignored folder listed whole gives its mark to what it holds.
    for (qsizetype slash = path.indexOf(u'/'); slash > 0; slash = path.indexOf(u'/', slash + 1)) {
        if (const GitStatusEntry *folder = entry(path.left(slash + 1)))
            return folder->mark;
    }
    return GitMark::Unchanged;
}

const GitStatusEntry *GitStatus::entry(const QString &path) const
{
    if (m_byPath.isEmpty() && !entries.isEmpty()) {
        m_byPath.reserve(entries.size());
        for (qsizetype i = 0; i < entries.size(); ++i)
            m_byPath.insert(entries[i].path, i);
    }
    const auto found = m_byPath.constFind(path);
    return found == m_byPath.cend() ? nullptr : &entries[*found];
}

GitRepository GitRepository::open(const QString &path)
{
    GitRepository out;
    const Libgit2 *git = libgit2();
    if (!git) {
        out.m_absence = Absence::NoLibrary;
        out.m_reason = QString::fromLocal8Bit(libgit2LoadError());
        return out;
    }
    const QFileInfo info(path);
    const QString start = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    git_repository *raw = nullptr;
    const int rc = git->git_repository_open_ext(&raw, QFile::encodeName(start).constData(), 0, nullptr);
    if (rc < 0) {
        out.m_absence = rc == GIT_ENOTFOUND ? Absence::NotARepository : Absence::Unreadable;
        out.m_reason = lastError(git);
        return out;
    }
    const Owned<git_repository> repo(raw, git->git_repository_free);
    if (git->git_repository_is_bare(repo.get()) || !git->git_repository_workdir(repo.get())) {
        out.m_absence = Absence::Bare;
        out.m_reason = fromGitPath(git->git_repository_path(repo.get()));
        return out;
    }
    if (git->git_repository_is_worktree(repo.get())) {
        out.m_absence = Absence::LinkedWorkTree;
        out.m_reason = fromGitPath(git->git_repository_path(repo.get()));
        return out;
    }
    QString workTree = canonicalOf(fromGitPath(git->git_repository_workdir(repo.get())));
    while (workTree.size() > 1 && workTree.endsWith(u'/'))
        workTree.chop(1);
    out.m_workTree = workTree;
    out.m_absence = Absence::None;
    return out;
}

QString GitRepository::relativePath(const QString &file) const
{
    if (!isValid())
        return {};
    const QString canonical = canonicalOf(file);
    const QString top = m_workTree == QStringLiteral("/") ? QString() : m_workTree;
    if (canonical.size() <= top.size() + 1 || !canonical.startsWith(top) || canonical.at(top.size()) != u'/')
        return {};
    return canonical.mid(top.size() + 1);
}

GitBranch GitRepository::branch() const
{
    GitBranch out;
    const Libgit2 *git = libgit2();
    QString error;
    if (!isValid() || !git)
        return out;
    const Owned<git_repository> repo = openAt(git, m_workTree, &error);
    if (!repo)
        return out;
    git_reference *raw = nullptr;
    const int rc = git->git_repository_head(&raw, repo.get());
    if (rc == 0) {
        const Owned<git_reference> head(raw, git->git_reference_free);
        if (git->git_repository_head_detached(repo.get()) == 1) {
            out.detached = true;
            if (const git_oid *id = git->git_reference_target(head.get()))
                out.name = shortId(git, id);
        } else {
            out.name = QString::fromUtf8(git->git_reference_shorthand(head.get()));
        }
    } else if (rc == GIT_EUNBORNBRANCH && git->git_reference_lookup(&raw, repo.get(), "HEAD") == 0) {
        const Owned<git_reference> head(raw, git->git_reference_free);
        out.unborn = true;
        QString target = QString::fromUtf8(git->git_reference_symbolic_target(head.get()));
        if (target.startsWith(QStringLiteral("refs/heads/")))
            target.remove(0, 11);
        out.name = target;
    }
    return out;
}

GitStatus GitRepository::status() const
{
    GitStatus out;
    const Libgit2 *git = libgit2();
    if (!isValid() || !git) {
        out.error = m_reason;
        return out;
    }
    const Owned<git_repository> repo = openAt(git, m_workTree, &out.error);
    if (!repo)
        return out;
    git_status_options options;
    git->git_status_options_init(&options, GIT_STATUS_OPTIONS_VERSION);
    options.show = GIT_STATUS_SHOW_INDEX_AND_WORKDIR;
    // What `git status` shows, ignored files besides; the index is never written.
    // Renames are looked for between HEAD and the index only, as Git does: in the
    // work tree, a small new file would pass for any small deleted one.
    // Submodules are left out: libgit2 1.5 loses memory at each look into one
    // (about 20 KB a status), and a submodule's files get their marks from its
    // own repository, which open() finds for them.
    options.flags = GIT_STATUS_OPT_INCLUDE_UNTRACKED | GIT_STATUS_OPT_INCLUDE_IGNORED
        | GIT_STATUS_OPT_RENAMES_HEAD_TO_INDEX | GIT_STATUS_OPT_EXCLUDE_SUBMODULES
        | GIT_STATUS_OPT_SORT_CASE_SENSITIVELY;
    git_status_list *raw = nullptr;
    if (git->git_status_list_new(&raw, repo.get(), &options) < 0) {
        out.error = lastError(git);
        return out;
    }
    const Owned<git_status_list> list(raw, git->git_status_list_free);
    const size_t count = git->git_status_list_entrycount(list.get());
    out.entries.reserve(qsizetype(count));
    for (size_t i = 0; i < count; ++i) {
        const git_status_entry *status = git->git_status_byindex(list.get(), i);
        if (!status || (!status->index_to_workdir && !status->head_to_index) || status->status == GIT_STATUS_CURRENT)
            continue;
        GitStatusEntry entry = entryOf(*status);
        // libgit2 lists a folder that holds no file at all (as ignored); Git, which
        // keeps files only, does not.
        if ((entry.mark == GitMark::New || entry.mark == GitMark::Ignored) && entry.path.endsWith(u'/')
            && !holdsAFile(m_workTree + u'/' + entry.path))
            continue;
        out.entries.push_back(std::move(entry));
    }
    return out;
}

std::optional<QByteArray> GitRepository::indexContent(const QString &file) const
{
    const Libgit2 *git = libgit2();
    const QString relative = relativePath(file);
    QString error;
    if (!git || relative.isEmpty())
        return std::nullopt;
    const Owned<git_repository> repo = openAt(git, m_workTree, &error);
    if (!repo)
        return std::nullopt;
    git_index *raw = nullptr;
    if (git->git_repository_index(&raw, repo.get()) < 0)
        return std::nullopt;
    const Owned<git_index> index(raw, git->git_index_free);
    const git_index_entry *entry = git->git_index_get_bypath(index.get(), QFile::encodeName(relative).constData(), 0);
    if (!entry)
        return std::nullopt; // not in the index, or in conflict (no stage 0)
    return blobBytes(git, repo.get(), &entry->id);
}

std::optional<QByteArray> GitRepository::headContent(const QString &file) const
{
    const Libgit2 *git = libgit2();
    const QString relative = relativePath(file);
    QString error;
    if (!git || relative.isEmpty())
        return std::nullopt;
    const Owned<git_repository> repo = openAt(git, m_workTree, &error);
    if (!repo)
        return std::nullopt;
    git_reference *rawHead = nullptr;
    if (git->git_repository_head(&rawHead, repo.get()) < 0)
        return std::nullopt; // no commit yet
    const Owned<git_reference> head(rawHead, git->git_reference_free);
    git_object *rawTree = nullptr;
    if (git->git_reference_peel(&rawTree, head.get(), GIT_OBJECT_TREE) < 0)
        return std::nullopt;
    const Owned<git_object> tree(rawTree, git->git_object_free);
    git_tree_entry *rawEntry = nullptr;
    if (git->git_tree_entry_bypath(&rawEntry, reinterpret_cast<git_tree *>(tree.get()),
                                   QFile::encodeName(relative).constData())
        < 0)
        return std::nullopt;
    const Owned<git_tree_entry> entry(rawEntry, git->git_tree_entry_free);
    if (git->git_tree_entry_type(entry.get()) != GIT_OBJECT_BLOB)
        return std::nullopt;
    return blobBytes(git, repo.get(), git->git_tree_entry_id(entry.get()));
}
