#pragma once

#include <QByteArray>
#include <QString>

/** The largest file Ondrel reads: the editor and the side files stay quick well below it. */
constexpr qint64 kMaxFileBytes = qint64(256) << 20;

/** Why a whole-file read gave nothing. */
enum class ReadError {
    None,
    Missing,    // no such file (a dangling link too)
    NotRegular, // a folder, a FIFO, a device, a socket
    TooLarge,   // more bytes than the caller's limit
    Unreadable, // no permission, an I/O error
};

struct ReadResult
{
    QByteArray bytes;
    ReadError error = ReadError::None;
    bool ok() const { return error == ReadError::None; }
};

/**
 * The whole of a regular file, read with at most `limit` bytes. The open never
 * blocks (a FIFO put in the file's place is refused, not waited on), and a file
 * that claims a size of 0, as /proc files do, is still read only up to the limit.
 */
ReadResult readWholeFile(const QString &path, qint64 limit);

/** True only for an existing file, never for a folder or an empty path. */
bool isExistingFile(const QString &path);
