#include "io/recovery.h"

#include "io/recoverypaths.h"
#include "io/readfile.h"
#include "io/savefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kMagic = QByteArrayLiteral("ONDREL-JOURNAL 1\n");
// A journal being written: its name until it is complete (never "*.journal").
const char kTempInfix[] = ".tmp-";

QByteArray bootId()
{
    static const QByteArray id = readWholeFile(QStringLiteral("/proc/sys/kernel/random/boot_id"), 256).bytes.trimmed();
    return id;
}

QByteArray baseLine(const FileIdentity &base)
{
    if (!base.known)
        return QByteArrayLiteral("base=none");
    return "base=" + QByteArray::number(base.stamp.size) + ':' + QByteArray::number(base.hash, 16);
}

bool parseBase(const QByteArray &value, FileIdentity *base)
{
    *base = {};
    if (value == "none")
        return true;
    const QList<QByteArray> parts = value.split(':');
    bool sizeOk = false, hashOk = false;
    if (parts.size() != 2)
        return false;
    base->stamp.size = parts[0].toLongLong(&sizeOk);
    base->hash = parts[1].toULongLong(&hashOk, 16);
    base->known = sizeOk && hashOk && base->stamp.size >= 0;
    return base->known;
}

/** True when another open file holds the lock of the file open as `fd`. */
bool lockHeld(int fd)
{
    while (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        if (errno != EINTR)
            return errno == EWOULDBLOCK;
    }
    ::flock(fd, LOCK_UN);
    return false;
}

/** True when the file at `path` is locked by a live writer; false also when it cannot be opened. */
bool lockedByWriter(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    const bool held = lockHeld(fd);
    ::close(fd);
    return held;
}

/** An older journal, with no lock: its writer lives when its process does, in this boot. */
bool oldWriterAlive(const Journal &journal)
{
    if (journal.bootId != bootId())
        return false;
    if (journal.pid == ::getpid())
        return true;
    return ::kill(pid_t(journal.pid), 0) == 0 || errno != ESRCH;
}

/** Journals whose write was cut short by the end of their process: nothing holds their lock. */
void removeDeadTemps(const QDir &folder)
{
    const QString pattern = QStringLiteral("*.journal") + QLatin1String(kTempInfix) + QLatin1Char('*');
    for (const QFileInfo &entry : folder.entryInfoList({pattern}, QDir::Files | QDir::Hidden)) {
        if (!lockedByWriter(entry.filePath()))
            QFile::remove(entry.filePath());
    }
}

/**
 * Writes `bytes` as the file `path`, whole or not at all: a temporary file beside it is
 * locked (flock, exclusive) while it has no name anyone looks at, written, flushed and
 * renamed over `path`. Returns the open descriptor, which holds the lock, or -1 with errno.
 */
int writeLocked(const QString &path, const QByteArray &bytes)
{
    QByteArray temp = QFile::encodeName(path) + kTempInfix + "XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return -1;
    int error = 0;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fchmod(fd, 0600) != 0 || !writeAll(fd, bytes)
        || ::fsync(fd) != 0 || ::rename(temp.constData(), QFile::encodeName(path).constData()) != 0)
        error = errno;
    if (error == 0)
        return fd;
    ::unlink(temp.constData());
    ::close(fd);
    errno = error;
    return -1;
}

} // namespace

QByteArray journalBytes(const QString &path, const QByteArray &text, const FileIdentity &base)
{
    QByteArray out = kMagic;
    out += "pid=" + QByteArray::number(::getpid()) + '\n';
    out += "boot=" + bootId() + '\n';
    out += "lock=flock\n";
    out += baseLine(base) + '\n';
    out += "path=" + QFile::encodeName(path).toPercentEncoding() + '\n';
    out += '\n';
    out += text;
    return out;
}

bool parseJournal(const QByteArray &bytes, Journal *out)
{
    if (!bytes.startsWith(kMagic))
        return false;
    const qsizetype end = bytes.indexOf("\n\n", kMagic.size() - 1);
    if (end < 0)
        return false;
    for (const QByteArray &line : bytes.mid(kMagic.size(), end - kMagic.size()).split('\n')) {
        if (line.startsWith("pid="))
            out->pid = line.mid(4).toLongLong();
        else if (line.startsWith("boot="))
            out->bootId = line.mid(5);
        else if (line == "lock=flock")
            out->locked = true;
        else if (line.startsWith("base="))
            out->hasBase = parseBase(line.mid(5), &out->base);
        else if (line.startsWith("path="))
            out->path = QFile::decodeName(QByteArray::fromPercentEncoding(line.mid(5)));
    }
    out->text = bytes.mid(end + 2);
    return out->pid > 0;
}

QList<Journal> leftJournals()
{
    QList<Journal> found;
    const QDir folder(recoveryFolder());
    removeDeadTemps(folder);
    const QFileInfoList entries = folder.entryInfoList({QStringLiteral("*.journal")}, QDir::Files, QDir::Time);
    for (const QFileInfo &entry : entries) {
        if (lockedByWriter(entry.filePath()))
            continue; // its writer runs: this window's own, or another Ondrel's
        Journal journal;
        const ReadResult read = readWholeFile(entry.filePath(), kMaxFileBytes * 2);
        if (!read.ok() || !parseJournal(read.bytes, &journal))
            continue;
        if (!journal.locked && oldWriterAlive(journal))
            continue;
        journal.file = entry.filePath();
        journal.writtenNs = read.stamp.mtimeNs;
        found.append(journal);
    }
    return found;
}

bool fileChangedSince(const Journal &journal, const FileIdentity &disk)
{
    if (!disk.known)
        return false;
    if (journal.hasBase)
        return !disk.sameContent(journal.base);
    return disk.stamp.mtimeNs > journal.writtenNs;
}

QString recoveredCopyPath(const QString &path)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const bool hasSuffix = dot > 0; // ".htaccess" is a name, not a suffix
    const QString stem = hasSuffix ? name.left(dot) : name;
    const QString suffix = hasSuffix ? name.mid(dot) : QString();
    for (int n = 1;; ++n) {
        const QString mark = n == 1 ? QStringLiteral(" (récupéré)") : QStringLiteral(" (récupéré %1)").arg(n);
        const QString candidate = info.dir().filePath(stem + mark + suffix);
        if (!QFileInfo::exists(candidate) && !QFileInfo(candidate).isSymLink())
            return candidate;
    }
}

JournalWriter::JournalWriter()
{
    m_pool.setMaxThreadCount(1);
}

JournalWriter::~JournalWriter()
{
    wait();
    for (const int fd : std::as_const(m_held))
        ::close(fd); // the journals stay, no longer held: the next start offers them
}

bool JournalWriter::write(const QString &path, const QByteArray &text, const FileIdentity &base)
{
    const QString folder = recoveryFolder();
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString journal = journalPathFor(path);
    const int fd = writeLocked(journal, journalBytes(path, text, base));
    if (fd < 0) {
        const QString reason = saveFailureReason(errno);
        if (!m_told.exchange(true))
            Q_EMIT cannotWrite(QStringLiteral("Le texte non enregistré n'est pas conservé en cas d'arrêt : "
                                              "le dossier %1 ne peut pas être écrit (%2).").arg(folder, reason));
        return false;
    }
    const int before = m_held.value(journal, -1);
    if (before >= 0)
        ::close(before); // its file was replaced by the rename
    m_held.insert(journal, fd);
    return true;
}

void JournalWriter::schedule(const QString &path, const QByteArray &text, const FileIdentity &base)
{
    const quint64 generation = ++m_generation;
    m_pool.start([this, generation, path, text, base] {
        QMutexLocker lock(&m_mutex);
        if (generation == m_generation.load())
            write(path, text, base);
    });
}

bool JournalWriter::writeNow(const QString &path, const QByteArray &text, const FileIdentity &base)
{
    ++m_generation;
    QMutexLocker lock(&m_mutex);
    return write(path, text, base);
}

void JournalWriter::remove(const QString &path)
{
    ++m_generation;
    QMutexLocker lock(&m_mutex);
    const QString journal = journalPathFor(path);
    QFile::remove(journal);
    const auto held = m_held.constFind(journal);
    if (held != m_held.constEnd()) {
        ::close(*held);
        m_held.erase(held);
    }
}

void JournalWriter::wait()
{
    m_pool.waitForDone();
}
