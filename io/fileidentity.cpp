#include "io/fileidentity.h"

#include <QFile>

#include <sys/stat.h>
#include <xxhash.h>

quint64 contentHash(const char *data, qsizetype size)
{
    return XXH3_64bits(data, size_t(size));
}

FileIdentity identityOf(const ReadResult &read)
{
    if (!read.ok())
        return {};
    return {true, read.stamp, contentHash(read.bytes)};
}

FileIdentity diskIdentity(const QString &path)
{
    return identityOf(readWholeFile(path, kMaxFileBytes));
}

bool statStamp(const QString &path, FileStamp *stamp)
{
    struct stat st{};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    *stamp = {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
              qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, quint64(st.st_nlink)};
    return true;
}
