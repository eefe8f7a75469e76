#include "files/listing.h"

#include "files/urlrules.h"

#include <QFile>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

/** Whether an entry is of `kind`; the type in the entry is used when the file system gives one. */
bool isOfKind(int folderFd, const dirent *entry, EntryKind kind)
{
    unsigned char type = entry->d_type;
    if (type == DT_UNKNOWN || type == DT_LNK) {
        struct stat st {};
        if (::fstatat(folderFd, entry->d_name, &st, 0) != 0)
            return false; // dangling link, or gone meanwhile
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
    }
    return kind == EntryKind::Folders ? type == DT_DIR : type == DT_REG;
}

bool matchesOneMask(QStringView name, QStringView mask)
{
    if (mask == u"*.*" || mask == u"*")
        return true;
    // Greedy match with one backtrack point: the last "*" seen.
    qsizetype n = 0, m = 0, starMask = -1, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == u'*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size()
                   && (mask[m] == u'?' || mask[m].toCaseFolded() == name[n].toCaseFolded())) {
            ++m;
            ++n;
        } else if (starMask >= 0) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == u'*')
        ++m;
    return m == mask.size();
}

} // namespace

bool readFolder(const QString &folder, EntryKind kind, QStringList *names)
{
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return false;
    const int fd = ::dirfd(dir);
    QStringList found;
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue; // hidden, and "." and ".."
        if (isOfKind(fd, entry, kind))
            found.append(QFile::decodeName(entry->d_name));
    }
    ::closedir(dir);
    *names = std::move(found);
    return true;
}

bool matchesMask(QStringView name, QStringView mask)
{
    for (QStringView one : mask.split(u';')) {
        one = one.trimmed();
        if (!one.isEmpty() && matchesOneMask(name, one))
            return true;
    }
    return false;
}

void sortWithoutCase(QStringList &names)
{
    // Fold each name once rather than at every comparison.
    std::vector<std::pair<QString, QString>> keyed;
    keyed.reserve(names.size());
    for (QString &name : names)
        keyed.emplace_back(name.toCaseFolded(), std::move(name));
    std::sort(keyed.begin(), keyed.end());
    for (qsizetype i = 0; i < names.size(); ++i)
        names[i] = std::move(keyed[i].second);
}

bool listFiles(const QString &folder, const QString &mask, QStringList *names)
{
    QStringList all;
    if (!readFolder(folder, EntryKind::Files, &all))
        return false;
    all.removeIf([&mask](const QString &name) { return !matchesMask(name, mask); });
    sortWithoutCase(all);
    *names = std::move(all);
    return true;
}

QStringList folderAncestors(const QString &folder)
{
    QStringList chain;
    QString path = folder;
    while (!path.isEmpty()) {
        chain.prepend(path);
        if (path == u"/")
            break;
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        path = slash <= 0 ? QStringLiteral("/") : path.left(slash);
    }
    return chain;
}

QString folderCaption(const QString &folder)
{
    return folder == u"/" ? folder : fileNamePart(folder);
}
