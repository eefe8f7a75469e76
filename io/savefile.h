#pragma once

#include <QByteArray>
#include <QString>
#include <sys/types.h>

/**
 * Replaces the file at `path` whole with `data`, or leaves it exactly as it was.
 *
 * The data goes to an unnamed temporary file in the same folder, is flushed to
 * disk, and only then takes the old file's place by a rename, so a crash, a kill
 * or a full disk never leaves a half-written file. A symbolic link is written
 * through (the file it points to is replaced, the link stays a link); the old
 * file's permission bits, and where the process may, its owner and group, are
 * kept, and its extended attributes and POSIX ACLs are copied. A new file gets
 * `newFileMode` (less the umask). The temporary files that earlier saves of the same
 * file left when their process was killed are removed.
 *
 * A file with more than one hard link, a file in a folder the process may not
 * write, and a file whose attributes cannot be given to a new file are written in
 * place instead, after their old content is kept safe: in the recovery folder, else
 * beside the file, else in `$XDG_RUNTIME_DIR` (see io/recoverypaths.h). When it can be
 * kept nowhere, the write is refused (`options.noSafeCopy` says so) unless
 * `options.inPlaceWithoutCopy`. A failed in-place write puts the old content back.
 *
 * Fails, returning false with the reason in French in `why`, when the path is empty, names
 * a folder, lies in a missing folder, or names a file that is read-only for its
 * owner (even for root, who could otherwise write it).
 */
struct SaveOptions
{
    bool inPlaceWithoutCopy = false; // the user agreed to a write in place with no copy of the old content
    bool *noSafeCopy = nullptr;      // set when the save was refused for want of a place for that copy
    bool followLink = true;          // false: a path that is a symbolic link is refused, never written through
};

bool replaceFileAtomically(const QString &path, const QByteArray &data,
                           mode_t newFileMode = 0666, QString *why = nullptr,
                           const SaveOptions &options = {});

/** Writes all of `data` to `fd`, going on after interrupted or partial writes; false on an error (errno). */
bool writeAll(int fd, const QByteArray &data);

/** Why a save failed, in French, for an errno value ("Disque plein", "Permission refusée", …). */
QString saveFailureReason(int error);
