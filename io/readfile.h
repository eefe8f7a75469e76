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
    BadName,    // a name that is not valid UTF-8 (see isLossyFileName)
};

/** What the file system says of a file, taken from the descriptor the bytes were read through. */
struct FileStamp
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 mtimeNs = 0; // modification time in nanoseconds since the epoch
    quint64 links = 0;
    bool operator==(const FileStamp &) const = default;
};

struct ReadResult
{
    QByteArray bytes;
    ReadError error = ReadError::None;
    FileStamp stamp;
    bool ok() const { return error == ReadError::None; }
};

/**
 * The whole of a regular file, read with at most `limit` bytes. The open never
 * blocks (a FIFO put in the file's place is refused, not waited on), and a file
 * that claims a size of 0, as /proc files do, is still read only up to the limit.
 */
ReadResult readWholeFile(const QString &path, qint64 limit);
/** readWholeFile for a path given as the file system's bytes, a name that is not UTF-8 included. */
ReadResult readWholeFileAt(const QByteArray &encodedPath, qint64 limit);

/**
 * What readWholeFile would refuse before reading a byte: a name that is not UTF-8,
 * something that is not a regular file, a size above `limit`. None when it looks readable.
 */
ReadError checkReadable(const QString &path, qint64 limit);

/** True only for an existing file, never for a folder or an empty path. */
bool isExistingFile(const QString &path);

/**
 * The French reason of a failed read that the user can act on ("Fichier trop
 * volumineux : %s", a file that is not a regular one, a name that is not valid
 * UTF-8); empty for the other failures, which read "Impossible d'ouvrir le fichier %s".
 */
QString readFailureMessage(const QString &path, ReadError error);

/**
 * True when `path` came from a file name that is not valid UTF-8: its QString holds
 * U+FFFD in place of the bytes, so it would name another file. Such names are refused.
 */
bool isLossyFileName(const QString &path);
