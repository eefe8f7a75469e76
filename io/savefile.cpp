#include "io/savefile.h"

#include "io/readfile.h"
#include "io/recoverypaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

bool fail(QString *why, const QString &reason)
{
    if (why)
        *why = reason;
    return false;
}

QString errnoText()
{
    return saveFailureReason(errno);
}

/**
 * The process's umask, read from /proc/self/status: umask() can only be read by
 * setting it, and a save on one thread would then leave another thread's files
 * (the journal's, say) created under a umask of 0 for a moment, or for good when
 * two such reads cross. Where the line cannot be read, 077: a new file is then
 * never more open than the user's own umask would make it.
 */
mode_t currentUmask()
{
    const ReadResult status = readWholeFile(QStringLiteral("/proc/self/status"), 64 * 1024);
    if (status.ok()) {
        for (const QByteArray &line : status.bytes.split('\n')) {
            if (!line.startsWith("Umask:"))
                continue;
            bool ok = false;
            const uint value = line.mid(6).trimmed().toUInt(&ok, 8);
            if (ok && value <= 0777)
                return static_cast<mode_t>(value);
        }
    }
    return 077;
}

/** The file a write to `path` must replace: the end of a chain of links, or the path itself. */
QString writeTarget(const QString &path)
{
    QFileInfo info(path);
    if (!info.isSymLink())
        return info.absoluteFilePath();
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    // A dangling link: create the file it names.
    QString target = info.symLinkTarget();
    for (int hops = 0; hops < 40 && QFileInfo(target).isSymLink(); ++hops)
        target = QFileInfo(target).symLinkTarget();
    return target;
}

struct TempFile
{
    int fd = -1;
    QByteArray name; // empty while the file has no name (O_TMPFILE)
};

/** Start of the names of the temporary files of saves of `base`: ".<base>.ondrel-<pid>-…". */
QByteArray tempPrefix(const QByteArray &base)
{
    return "." + base + ".ondrel-";
}

/**
 * A save killed between naming its temporary file and renaming it over the target
 * leaves that file behind. The name holds the saving process's id: remove the ones
 * of `base` whose process no longer runs, so a site folder does not collect them.
 * A process that still runs (or that we may not signal) keeps its file.
 */
void removeStaleTemps(const QByteArray &folder, const QByteArray &base)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const QByteArray prefix = tempPrefix(base);
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (std::strncmp(name, prefix.constData(), size_t(prefix.size())) != 0)
            continue;
        const char *digits = name + prefix.size();
        char *after = nullptr;
        errno = 0;
        const long pid = std::strtol(digits, &after, 10);
        if (after == digits || *after != '-' || errno != 0 || pid <= 0 || pid == ::getpid())
            continue;
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(::dirfd(dir), name, 0);
    }
    ::closedir(dir);
}

TempFile openTemp(const QByteArray &folder, const QByteArray &base, mode_t mode)
{
    TempFile t;
#ifdef O_TMPFILE
    t.fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (t.fd >= 0)
        return t;
#endif
    // The process id in the name lets a later save tell a file left by a killed save.
    QByteArray templ = folder + "/" + tempPrefix(base) + QByteArray::number(::getpid()) + "-XXXXXX";
    t.fd = ::mkostemp(templ.data(), O_CLOEXEC);
    if (t.fd >= 0)
        t.name = templ;
    return t;
}

/**
 * Copies every extended attribute of `source` to the open file `fd`: POSIX ACLs
 * live there too (system.posix_acl_*), and setting them after the mode puts the
 * ACL mask back. False when one could not be copied.
 */
bool copyAttributes(const QByteArray &source, int fd)
{
    ssize_t size = ::listxattr(source.constData(), nullptr, 0);
    if (size < 0)
        return errno == ENOTSUP;
    if (size == 0)
        return true;
    QByteArray names(size, Qt::Uninitialized);
    size = ::listxattr(source.constData(), names.data(), size_t(names.size()));
    if (size < 0)
        return false;
    names.truncate(size);
    for (const QByteArray &name : names.split('\0')) {
        if (name.isEmpty())
            continue;
        const ssize_t length = ::getxattr(source.constData(), name.constData(), nullptr, 0);
        if (length < 0)
            return false;
        QByteArray value(length, Qt::Uninitialized);
        const ssize_t got = ::getxattr(source.constData(), name.constData(), value.data(), size_t(value.size()));
        if (got < 0 || ::fsetxattr(fd, name.constData(), value.constData(), size_t(got), 0) != 0)
            return false;
    }
    return true;
}

bool writeAllAt(int fd, const QByteArray &data)
{
    return ::lseek(fd, 0, SEEK_SET) == 0 && writeAll(fd, data) && ::ftruncate(fd, data.size()) == 0;
}

/**
 * Keeps `old` safe in the first place of safeCopyPathsFor(`target`) that takes it; the
 * copy's path, or empty with the reasons of each place in `why`.
 */
QString keepSafeCopy(const QString &target, const QByteArray &old, QString *why)
{
    QStringList reasons;
    const QStringList places = safeCopyPathsFor(target);
    for (const QString &copy : places) {
        const QString folder = QFileInfo(copy).absolutePath();
        const bool made = !QFileInfo::exists(folder);
        if (made && QDir().mkpath(folder))
            ::chmod(QFile::encodeName(folder).constData(), 0700); // a folder of our own: ours alone
        QString copyWhy;
        if (replaceFileAtomically(copy, old, 0600, &copyWhy))
            return copy;
        reasons << QStringLiteral("%1 : %2").arg(copy, copyWhy);
    }
    *why = reasons.join(QStringLiteral(" ; "));
    return {};
}

/**
 * Writes `data` into the existing file itself, so that its inode, and with it its
 * other hard links, attributes and place in a folder we may not write, stay. Its old
 * content is first kept safe (see keepSafeCopy); where that is possible nowhere, the
 * write is refused unless `withoutCopy`. A failed write puts the old content back.
 */
bool writeInPlace(const QString &target, const QByteArray &targetBytes, const QByteArray &data,
                  const SaveOptions &options, QString *why)
{
    const ReadResult old = readWholeFile(target, kMaxFileBytes);
    if (!old.ok())
        return fail(why, QStringLiteral("Lecture de l'ancien contenu impossible"));
    QString copyWhy;
    const QString copy = keepSafeCopy(target, old.bytes, &copyWhy);
    if (copy.isEmpty() && !options.inPlaceWithoutCopy) {
        if (options.noSafeCopy)
            *options.noSafeCopy = true;
        return fail(why, QStringLiteral("Copie de sécurité impossible (%1)").arg(copyWhy));
    }
    auto dropCopy = [&] {
        if (!copy.isEmpty())
            ::unlink(QFile::encodeName(copy).constData());
    };

    const int fd = ::open(targetBytes.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const QString reason = errnoText();
        dropCopy();
        return fail(why, reason);
    }
    if (writeAllAt(fd, data) && ::fsync(fd) == 0) {
        ::close(fd);
        dropCopy();
        return true;
    }
    const QString reason = errnoText();
    const bool restored = writeAllAt(fd, old.bytes) && ::fsync(fd) == 0;
    ::close(fd);
    if (restored || copy.isEmpty()) {
        dropCopy();
        return fail(why, reason);
    }
    return fail(why, QStringLiteral("%1 ; l'ancien contenu est dans %2").arg(reason, copy));
}

} // namespace

QString saveFailureReason(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return QStringLiteral("Disque plein");
    case EROFS:
        return QStringLiteral("Système de fichiers en lecture seule");
    case EACCES:
    case EPERM:
        return QStringLiteral("Permission refusée");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("Dossier introuvable");
    case EISDIR:
        return QStringLiteral("C'est un dossier");
    case ENAMETOOLONG:
        return QStringLiteral("Nom trop long");
    case EIO:
        return QStringLiteral("Erreur d'entrée-sortie");
    default:
        return QStringLiteral("Erreur système %1 (%2)").arg(error).arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

bool replaceFileAtomically(const QString &path, const QByteArray &data, mode_t newFileMode,
                           QString *why, const SaveOptions &options)
{
    if (path.isEmpty())
        return fail(why, QStringLiteral("Aucun nom de fichier"));
    if (!options.followLink && QFileInfo(path).isSymLink())
        return fail(why, QStringLiteral("Le chemin est devenu un lien symbolique"));
    const QString target = options.followLink ? writeTarget(path) : QFileInfo(path).absoluteFilePath();
    const QByteArray targetBytes = QFile::encodeName(target);
    const QFileInfo targetInfo(target);
    const QByteArray folder = QFile::encodeName(targetInfo.absolutePath());
    const QByteArray base = QFile::encodeName(targetInfo.fileName());

    struct stat old {};
    const bool exists = ::stat(targetBytes.constData(), &old) == 0;
    if (exists) {
        if (!S_ISREG(old.st_mode))
            return fail(why, QStringLiteral("Ce n'est pas un fichier ordinaire"));
        if (!(old.st_mode & S_IWUSR) || ::access(targetBytes.constData(), W_OK) != 0)
            return fail(why, QStringLiteral("Fichier en lecture seule"));
    } else if (errno != ENOENT) {
        return fail(why, errnoText());
    }

    const mode_t umaskNow = currentUmask();
    const mode_t mode = exists ? (old.st_mode & 07777) : (newFileMode & ~umaskNow);

    // A file with other hard links is written in place: a new inode would leave them the old text.
    if (exists && old.st_nlink > 1)
        return writeInPlace(target, targetBytes, data, options, why);

    removeStaleTemps(folder, base);
    TempFile temp = openTemp(folder, base, mode);
    if (temp.fd < 0) {
        // A writable file in a folder we may not write: write the file itself.
        if (exists && (errno == EACCES || errno == EPERM))
            return writeInPlace(target, targetBytes, data, options, why);
        return fail(why, errnoText());
    }

    auto abandon = [&](const QString &reason) {
        ::close(temp.fd);
        if (!temp.name.isEmpty())
            ::unlink(temp.name.constData());
        return fail(why, reason);
    };

    if (!writeAll(temp.fd, data) || ::fsync(temp.fd) != 0)
        return abandon(errnoText());
    if (::fchmod(temp.fd, mode) != 0)
        return abandon(errnoText());
    if (exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()))
        (void)!::fchown(temp.fd, old.st_uid, old.st_gid); // kept where the process may
    if (exists && !copyAttributes(targetBytes, temp.fd)) {
        // An attribute or ACL that cannot be given to a new file: keep the file itself.
        ::close(temp.fd);
        if (!temp.name.isEmpty())
            ::unlink(temp.name.constData());
        return writeInPlace(target, targetBytes, data, options, why);
    }

    if (temp.name.isEmpty()) {
        // Give the unnamed file a name beside the target, then rename it over the target.
        const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(temp.fd);
        for (int attempt = 0; attempt < 100 && temp.name.isEmpty(); ++attempt) {
            const QByteArray candidate = folder + "/" + tempPrefix(base)
                + QByteArray::number(::getpid()) + "-" + QByteArray::number(attempt);
            if (::linkat(AT_FDCWD, procPath.constData(), AT_FDCWD, candidate.constData(),
                         AT_SYMLINK_FOLLOW) == 0)
                temp.name = candidate;
            else if (errno != EEXIST)
                return abandon(errnoText());
        }
        if (temp.name.isEmpty())
            return abandon(QStringLiteral("Aucun nom de fichier temporaire libre"));
    }

    if (::close(temp.fd) != 0) {
        temp.fd = -1;
        ::unlink(temp.name.constData());
        return fail(why, errnoText());
    }
    if (::rename(temp.name.constData(), targetBytes.constData()) != 0) {
        const QString reason = errnoText();
        ::unlink(temp.name.constData());
        return fail(why, reason);
    }
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool writeAll(int fd, const QByteArray &data)
{
    const char *p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(std::min<qsizetype>(left, 1 << 30)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}
