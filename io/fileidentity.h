#pragma once

#include "io/readfile.h"

#include <QByteArray>
#include <QString>

/**
 * What a file was when the editor last read or wrote it: where it lives (device,
 * inode), its size and modification time, and a hash of its bytes. The time alone
 * cannot tell two writes apart within the file system's clock tick, so a change is
 * decided by the bytes.
 */
struct FileIdentity
{
    bool known = false; // false: no file (nothing loaded, or the file was missing)
    FileStamp stamp;
    quint64 hash = 0;

    /** The same bytes as `other` (wherever they live now). */
    bool sameContent(const FileIdentity &other) const
    {
        return known == other.known && (!known || (stamp.size == other.stamp.size && hash == other.hash));
    }
};

/** XXH3, 64 bits. */
quint64 contentHash(const char *data, qsizetype size);
inline quint64 contentHash(const QByteArray &bytes) { return contentHash(bytes.constData(), bytes.size()); }

/** The identity of what a read gave; unknown when it failed. */
FileIdentity identityOf(const ReadResult &read);

/** Reads the file at `path` now (bounded as every read) and gives its identity. */
FileIdentity diskIdentity(const QString &path);

/** The stamp of the file at `path` by stat alone, following links; false when it cannot be taken. */
bool statStamp(const QString &path, FileStamp *stamp);
