#include "io/readfile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

ReadError errorFor(int code)
{
    switch (code) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
        return ReadError::Missing;
    case EISDIR:
        return ReadError::NotRegular;
    default:
        return ReadError::Unreadable;
    }
}

} // namespace

ReadResult readWholeFile(const QString &path, qint64 limit)
{
    if (path.isEmpty())
        return {{}, ReadError::Missing, {}};
    if (isLossyFileName(path))
        return {{}, ReadError::BadName, {}};
    return readWholeFileAt(QFile::encodeName(path), limit);
}

ReadResult readWholeFileAt(const QByteArray &encodedPath, qint64 limit)
{
    if (encodedPath.isEmpty())
        return {{}, ReadError::Missing, {}};
    const int fd = ::open(encodedPath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return {{}, errorFor(errno), {}};
    struct FdCloser
    {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};

    struct stat st{};
    if (::fstat(fd, &st) != 0)
        return {{}, ReadError::Unreadable, {}};
    if (!S_ISREG(st.st_mode))
        return {{}, ReadError::NotRegular, {}};
    if (st.st_size > limit)
        return {{}, ReadError::TooLarge, {}};
    const FileStamp stamp{quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
                          qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, quint64(st.st_nlink)};

    QByteArray bytes;
    // The stated size is a hint only: a file may grow while it is read, and /proc files say 0.
    qint64 capacity = std::max<qint64>(st.st_size, 4096);
    bytes.resize(std::min(capacity, limit) + 1);
    qint64 filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > limit)
                return {{}, ReadError::TooLarge, {}};
            bytes.resize(std::min<qint64>(bytes.size() * 2, limit + 1));
        }
        const ssize_t got = ::read(fd, bytes.data() + filled, size_t(bytes.size() - filled));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return {{}, ReadError::Unreadable, {}};
        }
        if (got == 0)
            break;
        filled += got;
    }
    if (filled > limit)
        return {{}, ReadError::TooLarge, {}};
    bytes.truncate(filled);
    return {std::move(bytes), ReadError::None, stamp};
}

ReadError checkReadable(const QString &path, qint64 limit)
{
    if (isLossyFileName(path))
        return ReadError::BadName;
    struct stat st{};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return ReadError::Missing;
    if (!S_ISREG(st.st_mode))
        return ReadError::NotRegular;
    return st.st_size > limit ? ReadError::TooLarge : ReadError::None;
}

bool isExistingFile(const QString &path)
{
    struct stat st{};
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

QString readFailureMessage(const QString &path, ReadError error)
{
    switch (error) {
    case ReadError::TooLarge:
        return QStringLiteral("Fichier trop volumineux : %1").arg(path);
    case ReadError::NotRegular:
        return QStringLiteral("Ce n'est pas un fichier ordinaire : %1").arg(path);
    case ReadError::BadName:
        return QStringLiteral("Nom de fichier illisible (octets hors UTF-8) : %1").arg(path);
    default:
        return {};
    }
}

bool isLossyFileName(const QString &path)
{
    return path.contains(QChar(QChar::ReplacementCharacter));
}
