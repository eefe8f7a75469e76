// Blame of one line. Ondrel follows the line down the first parents itself,
// reading only the commits where the file's content changed, and hands over to
// libgit2's blame (which follows renames) where the file came from elsewhere
// or a merge changed it: libgit2's blame of the line alone compares every
// commit's version of the file in full, five times slower on a long history.
#include "git/gitrepository.h"

#include "git/changebars.h"
#include "git/libgit2.h"
#include "io/textbytes.h"

#include <QTimeZone>

namespace {

/** The id of the blob at `path` in `commit`'s tree; false when there is none. */
bool blobIdAt(const Libgit2 *git, const git_commit *commit, const QByteArray &path, git_oid *id)
{
    git_tree *rawTree = nullptr;
    if (git->git_commit_tree(&rawTree, commit) < 0)
        return false;
    const Owned<git_tree> tree(rawTree, git->git_tree_free);
    git_tree_entry *rawEntry = nullptr;
    if (git->git_tree_entry_bypath(&rawEntry, tree.get(), path.constData()) < 0)
        return false;
    const Owned<git_tree_entry> entry(rawEntry, git->git_tree_entry_free);
    if (git->git_tree_entry_type(entry.get()) != GIT_OBJECT_BLOB)
        return false;
    *id = *git->git_tree_entry_id(entry.get());
    return true;
}

/**
 * Where line `line` of `text` stands in `older`; -1 when `text` added or changed
 * it, or when `older` is binary (the text came in place of a binary file).
 */
int lineBefore(const QByteArray &older, QByteArrayView text, int line)
{
    const ChangeBars bars(older);
    if (bars.baseIsBinary())
        return -1;
    int mapped = line;
    for (const LineChange &change : bars.compare(text)) {
        if (change.line > line)
            break;
        if (line < change.line + change.lineCount)
            return -1;
        mapped += change.oldLineCount - change.lineCount;
    }
    return mapped;
}

/** The commit that last changed line `line` of `path`, from `newest` down, by libgit2's blame. */
bool blameFrom(const Libgit2 *git, git_repository *repo, const QByteArray &path, const git_oid &newest, int line,
               git_oid *found, QString *error)
{
    git_blame_options options;
    git->git_blame_options_init(&options, GIT_BLAME_OPTIONS_VERSION);
    options.newest_commit = newest;
    options.min_line = size_t(line) + 1;
    options.max_line = size_t(line) + 1;
    git_blame *raw = nullptr;
    if (git->git_blame_file(&raw, repo, path.constData(), &options) < 0) {
        *error = lastError(git);
        return false;
    }
    const Owned<git_blame> blame(raw, git->git_blame_free);
    const git_blame_hunk *hunk = git->git_blame_get_hunk_byline(blame.get(), size_t(line) + 1);
    if (!hunk || git->git_oid_is_zero(&hunk->final_commit_id)) {
        *error = QStringLiteral("no commit for the line");
        return false;
    }
    *found = hunk->final_commit_id;
    return true;
}

/** Fills in who made commit `id`, when, and the first line of its message (names through .mailmap). */
void describe(const Libgit2 *git, git_repository *repo, const git_oid &id, GitBlame *out)
{
    git_commit *raw = nullptr;
    if (git->git_commit_lookup(&raw, repo, &id) < 0) {
        out->error = lastError(git);
        return;
    }
    const Owned<git_commit> commit(raw, git->git_commit_free);
    git_mailmap *rawMailmap = nullptr;
    git->git_mailmap_from_repository(&rawMailmap, repo); // none is no error: names as written
    const Owned<git_mailmap> mailmap(rawMailmap, git->git_mailmap_free);
    git_signature *rawWho = nullptr;
    if (git->git_commit_author_with_mailmap(&rawWho, commit.get(), mailmap.get()) == 0) {
        const Owned<git_signature> who(rawWho, git->git_signature_free);
        out->author = QString::fromUtf8(who->name);
        out->email = QString::fromUtf8(who->email);
        out->when = QDateTime::fromSecsSinceEpoch(qint64(who->when.time), QTimeZone(who->when.offset * 60));
    }
    char text[GIT_OID_HEXSZ + 1] = {};
    git->git_oid_tostr(text, sizeof text, &id);
    out->commitId = QString::fromLatin1(text);
    out->summary = QString::fromUtf8(git->git_commit_summary(commit.get()));
    out->committed = true;
}

} // namespace

GitBlame GitRepository::blameLine(const QString &file, const QByteArray &edited, int line) const
{
    GitBlame out;
    const Libgit2 *git = libgit2();
    const QString relative = relativePath(file);
    if (!git || relative.isEmpty()) {
        out.error = isValid() ? QStringLiteral("outside the work tree") : m_reason;
        return out;
    }
    const Owned<git_repository> repo = openAt(git, m_workTree, &out.error);
    if (!repo)
        return out;
    const QByteArray path = QFile::encodeName(relative);
    git_reference *rawHead = nullptr;
    if (git->git_repository_head(&rawHead, repo.get()) < 0)
        return out; // no commit yet: nothing is committed
    const Owned<git_reference> head(rawHead, git->git_reference_free);
    git_object *rawCommit = nullptr;
    if (git->git_reference_peel(&rawCommit, head.get(), GIT_OBJECT_COMMIT) < 0) {
        out.error = lastError(git);
        return out;
    }
    Owned<git_commit> commit(reinterpret_cast<git_commit *>(rawCommit), git->git_commit_free);
    git_oid blob;
    if (!blobIdAt(git, commit.get(), path, &blob))
        return out; // a file HEAD does not hold: every line is new
    QByteArray text = blobBytes(git, repo.get(), &blob).value_or(QByteArray());
    if (isBinaryContent(text)) {
        out.error = QStringLiteral("binary file");
        return out;
    }
    // The line's place in HEAD's version, past the lines added or removed above it since.
    int at = lineBefore(text, edited, line);
    if (at < 0)
        return out;
    if (line < 0 || at >= int(ChangeBars::splitLines(text).size())) {
        out.error = QStringLiteral("no such line");
        return out;
    }
    // Down the history while the line stays: a commit that left the file as its
    // parent had it passes the line on without a look at the text.
    for (;;) {
        const unsigned parents = git->git_commit_parentcount(commit.get());
        if (parents == 0) {
            describe(git, repo.get(), *git->git_commit_id(commit.get()), &out);
            return out;
        }
        Owned<git_commit> older(nullptr, git->git_commit_free); // the one parent whose text is compared
        git_oid olderBlob;
        bool passed = false;
        for (unsigned p = 0; p < parents && !passed; ++p) {
            git_commit *raw = nullptr;
            if (git->git_commit_parent(&raw, commit.get(), p) < 0)
                continue;
            Owned<git_commit> parent(raw, git->git_commit_free);
            git_oid id;
            const bool holds = blobIdAt(git, parent.get(), path, &id);
            if (holds && git->git_oid_equal(&id, &blob)) {
                commit = std::move(parent);
                passed = true;
            } else if (holds && parents == 1) {
                older = std::move(parent);
                olderBlob = id;
            }
        }
        if (passed)
            continue;
        if (!older) {
            // Changed by a merge, or brought from another path (a rename): libgit2 follows those.
            git_oid found;
            if (blameFrom(git, repo.get(), path, *git->git_commit_id(commit.get()), at, &found, &out.error))
                describe(git, repo.get(), found, &out);
            return out;
        }
        const QByteArray olderText = blobBytes(git, repo.get(), &olderBlob).value_or(QByteArray());
        const int before = lineBefore(olderText, text, at);
        if (before < 0) {
            describe(git, repo.get(), *git->git_commit_id(commit.get()), &out);
            return out;
        }
        at = before;
        text = olderText;
        blob = olderBlob;
        commit = std::move(older);
    }
}
