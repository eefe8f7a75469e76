#pragma once
// libgit2, loaded at run time. Only git/ includes this file.
//
// Ondrel opens libgit2 with dlopen the first time a folder is looked at for
// Git, rather than linking it: the window's start does not wait for it and
// its own libraries (TLS, SSH, HTTP), and a system without it has no Git view
// instead of a program that does not start.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <git2.h>

#include <memory>
#include <optional>

#define ONDREL_LIBGIT2_FUNCTIONS(X)                                                                \
    X(git_libgit2_init)                                                                            \
    X(git_libgit2_opts)                                                                            \
    X(git_error_last)                                                                              \
    X(git_repository_open_ext)                                                                     \
    X(git_repository_free)                                                                         \
    X(git_repository_is_bare)                                                                      \
    X(git_repository_is_worktree)                                                                  \
    X(git_repository_workdir)                                                                      \
    X(git_repository_path)                                                                         \
    X(git_repository_head)                                                                         \
    X(git_repository_head_detached)                                                                \
    X(git_repository_index)                                                                        \
    X(git_reference_lookup)                                                                        \
    X(git_reference_shorthand)                                                                     \
    X(git_reference_symbolic_target)                                                               \
    X(git_reference_target)                                                                        \
    X(git_reference_peel)                                                                          \
    X(git_reference_free)                                                                          \
    X(git_index_get_bypath)                                                                        \
    X(git_index_free)                                                                              \
    X(git_tree_entry_bypath)                                                                       \
    X(git_tree_entry_id)                                                                           \
    X(git_tree_entry_type)                                                                         \
    X(git_tree_entry_free)                                                                         \
    X(git_object_free)                                                                             \
    X(git_blob_lookup)                                                                             \
    X(git_blob_rawcontent)                                                                         \
    X(git_blob_rawsize)                                                                            \
    X(git_blob_free)                                                                               \
    X(git_status_options_init)                                                                     \
    X(git_status_list_new)                                                                         \
    X(git_status_list_entrycount)                                                                  \
    X(git_status_byindex)                                                                          \
    X(git_status_list_free)                                                                        \
    X(git_blame_options_init)                                                                      \
    X(git_blame_file)                                                                              \
    X(git_blame_get_hunk_byline)                                                                   \
    X(git_blame_free)                                                                              \
    X(git_commit_lookup)                                                                           \
    X(git_commit_summary)                                                                          \
    X(git_commit_free)                                                                             \
    X(git_commit_id)                                                                               \
    X(git_commit_parentcount)                                                                      \
    X(git_commit_parent)                                                                           \
    X(git_commit_tree)                                                                             \
    X(git_commit_author_with_mailmap)                                                              \
    X(git_tree_free)                                                                               \
    X(git_mailmap_from_repository)                                                                 \
    X(git_mailmap_free)                                                                            \
    X(git_signature_free)                                                                          \
    X(git_oid_equal)                                                                               \
    X(git_oid_tostr)                                                                               \
    X(git_oid_is_zero)

/** The functions of libgit2 that Ondrel calls, resolved from the loaded library. */
struct Libgit2
{
#define ONDREL_LIBGIT2_MEMBER(name) decltype(&::name) name = nullptr;
    ONDREL_LIBGIT2_FUNCTIONS(ONDREL_LIBGIT2_MEMBER)
#undef ONDREL_LIBGIT2_MEMBER
};

/**
 * libgit2, loaded and initialised at the first call (from any thread), then
 * the same table for the process' life; nullptr when it cannot be loaded or
 * lacks a function. The library is the one Ondrel was built against
 * (ONDREL_LIBGIT2_SONAME), or the file named by the environment variable
 * ONDREL_LIBGIT2 when it is set.
 */
const Libgit2 *libgit2();

/** Why libgit2() is nullptr, in the dynamic loader's words; empty when it is loaded. */
const char *libgit2LoadError();

// Helpers of the files of git/ over the table.

/** A libgit2 object freed by its own function when it goes out of scope. */
template <typename T>
using Owned = std::unique_ptr<T, void (*)(T *)>;

/** libgit2's message for the last failure of this thread. */
inline QString lastError(const Libgit2 *git)
{
    const git_error *error = git->git_error_last();
    return error && error->message ? QString::fromUtf8(error->message) : QStringLiteral("libgit2 error");
}

/** The repository whose work tree is `workTree`, opened without searching. */
inline Owned<git_repository> openAt(const Libgit2 *git, const QString &workTree, QString *error)
{
    git_repository *raw = nullptr;
    if (git->git_repository_open_ext(&raw, QFile::encodeName(workTree).constData(), GIT_REPOSITORY_OPEN_NO_SEARCH,
                                     nullptr)
        < 0) {
        *error = lastError(git);
        return {nullptr, git->git_repository_free};
    }
    return {raw, git->git_repository_free};
}

inline std::optional<QByteArray> blobBytes(const Libgit2 *git, git_repository *repo, const git_oid *id)
{
    git_blob *raw = nullptr;
    if (git->git_blob_lookup(&raw, repo, id) < 0)
        return std::nullopt; // a submodule's commit, or a damaged object
    const Owned<git_blob> blob(raw, git->git_blob_free);
    return QByteArray(static_cast<const char *>(git->git_blob_rawcontent(blob.get())),
                      qsizetype(git->git_blob_rawsize(blob.get())));
}
