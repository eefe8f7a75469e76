#pragma once
// Git repositories made by the tests and benchmarks, through libgit2 itself
// (linked directly here, not loaded as Ondrel loads it). Any failure throws.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <git2.h>

#include <stdexcept>
#include <string>

inline void gitCheck(int rc, const char *what)
{
    if (rc < 0) {
        const git_error *error = git_error_last();
        throw std::runtime_error(std::string(what) + ": " + (error ? error->message : "?"));
    }
}

/** A repository with a work tree (or a bare one), its first branch "main". */
class MadeRepo
{
public:
    /** `gitDir`, when given, holds the repository, and `top` gets a `.git` file leading to it. */
    explicit MadeRepo(const QString &top, bool bare = false, const QString &gitDir = {})
        : m_top(QDir::cleanPath(top))
    {
        git_libgit2_init();
        git_repository_init_options options;
        git_repository_init_options_init(&options, GIT_REPOSITORY_INIT_OPTIONS_VERSION);
        options.flags = GIT_REPOSITORY_INIT_MKPATH | (bare ? GIT_REPOSITORY_INIT_BARE : 0);
        options.initial_head = "main";
        const QByteArray workTree = QFile::encodeName(m_top);
        if (!gitDir.isEmpty())
            options.workdir_path = workTree.constData();
        gitCheck(git_repository_init_ext(&m_repo, QFile::encodeName(gitDir.isEmpty() ? m_top : gitDir).constData(),
                                         &options),
                 "init");
    }
    ~MadeRepo()
    {
        git_repository_free(m_repo);
        git_libgit2_shutdown();
    }
    MadeRepo(const MadeRepo &) = delete;
    MadeRepo &operator=(const MadeRepo &) = delete;

    git_repository *repo() const { return m_repo; }
    QString path(const QString &relative) const { return m_top + u'/' + relative; }

    /** Writes a file of the work tree (folders made as needed). */
    QString write(const QString &relative, const QByteArray &bytes) const
    {
        const QString file = path(relative);
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size())
            throw std::runtime_error("cannot write " + file.toStdString());
        return file;
    }
    /** Puts the work tree's file into the index (`git add`). */
    void stage(const QString &relative) const { withIndex([&](git_index *index) {
        gitCheck(git_index_add_bypath(index, QFile::encodeName(relative).constData()), "add");
    }); }
    /** Takes a file out of the index (`git rm --cached`). */
    void unstage(const QString &relative) const { withIndex([&](git_index *index) {
        gitCheck(git_index_remove_bypath(index, QFile::encodeName(relative).constData()), "remove");
    }); }
    /** Stages every file of the work tree (`git add -A`). */
    void stageAll() const { withIndex([&](git_index *index) {
        gitCheck(git_index_add_all(index, nullptr, GIT_INDEX_ADD_DEFAULT, nullptr, nullptr), "add all");
    }); }
    /** Writes and stages. */
    QString add(const QString &relative, const QByteArray &bytes) const
    {
        const QString file = write(relative, bytes);
        stage(relative);
        return file;
    }
    /** `git mv`: the file moves on disk and in the index. */
    void move(const QString &from, const QString &to) const
    {
        QDir().mkpath(QFileInfo(path(to)).absolutePath());
        if (!QFile::rename(path(from), path(to)))
            throw std::runtime_error("cannot rename");
        unstage(from);
        stage(to);
    }
    /** Commits the index on HEAD; `when` in seconds since the epoch, `offset` in minutes east of UTC. */
    QString commit(const char *message, const char *author = "Ana Martin", qint64 when = 1765000000,
                   int offset = 60) const
    {
        git_oid treeId;
        withIndex([&](git_index *index) { gitCheck(git_index_write_tree(&treeId, index), "write tree"); });
        git_tree *tree = nullptr;
        gitCheck(git_tree_lookup(&tree, m_repo, &treeId), "tree");
        git_signature *who = nullptr;
        gitCheck(git_signature_new(&who, author, "dev@example.org", when, offset), "signature");
        git_commit *parent = nullptr;
        git_oid headId;
        const bool hasParent = git_reference_name_to_id(&headId, m_repo, "HEAD") == 0;
        if (hasParent)
            gitCheck(git_commit_lookup(&parent, m_repo, &headId), "parent");
        git_oid id;
        const git_commit *parents[] = {parent};
        gitCheck(git_commit_create(&id, m_repo, "HEAD", who, who, nullptr, message, tree, hasParent ? 1 : 0,
                                   parents),
                 "commit");
        git_commit_free(parent);
        git_signature_free(who);
        git_tree_free(tree);
        char text[GIT_OID_HEXSZ + 1] = {};
        git_oid_tostr(text, sizeof text, &id);
        return QString::fromLatin1(text);
    }
    /** Makes HEAD point at the commit itself rather than a branch. */
    void detachHead() const
    {
        git_oid headId;
        gitCheck(git_reference_name_to_id(&headId, m_repo, "HEAD"), "head");
        gitCheck(git_repository_set_head_detached(m_repo, &headId), "detach");
    }
    /** A linked work tree at `where` (`git worktree add`). */
    void addWorkTree(const char *name, const QString &where) const
    {
        git_worktree *tree = nullptr;
        gitCheck(git_worktree_add(&tree, m_repo, name, QFile::encodeName(where).constData(), nullptr), "worktree");
        git_worktree_free(tree);
    }
    /**
     * A submodule at `relative` as `git submodule add` leaves it: its repository
     * under .git/modules, a `.git` file in its folder, a first commit of
     * `index.php`, and the parent's .gitmodules and index naming that commit
     * (staged, not committed). Made by hand: libgit2's own submodule set-up
     * loses memory.
     */
    void addSubmodule(const QString &relative) const
    {
        MadeRepo sub(path(relative), false, m_top + QStringLiteral("/.git/modules/") + relative);
        sub.add(QStringLiteral("index.php"), "<?php\necho 1;\n");
        const QByteArray commitId = sub.commit("Première version").toLatin1();
        const QByteArray name = QFile::encodeName(relative);
        add(QStringLiteral(".gitmodules"),
            "[submodule \"" + name + "\"]\n\tpath = " + name + "\n\turl = ../" + name + "\n");
        withIndex([&](git_index *index) {
            git_index_entry entry{};
            entry.mode = GIT_FILEMODE_COMMIT;
            gitCheck(git_oid_fromstr(&entry.id, commitId.constData()), "submodule id");
            entry.path = name.constData();
            gitCheck(git_index_add(index, &entry), "submodule entry");
        });
    }

private:
    template <typename F>
    void withIndex(F f) const
    {
        git_index *index = nullptr;
        gitCheck(git_repository_index(&index, m_repo), "index");
        f(index);
        gitCheck(git_index_write(index), "write index");
        git_index_free(index);
    }

    QString m_top;
    git_repository *m_repo = nullptr;
};
