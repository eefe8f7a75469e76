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
#include <unistd.h>

namespace {

const QByteArray kMagic = QByteArrayLiteral("ONDREL-JOURNAL 1\n");

QByteArray bootId()
{
    static const QByteArray id = readWholeFile(QStringLiteral("/proc/sys/kernel/random/boot_id"), 256).bytes.trimmed();
    return id;
}

} // namespace

QByteArray journalBytes(const QString &path, const QByteArray &text)
{
    QByteArray out = kMagic;
    out += "pid=" + QByteArray::number(::getpid()) + '\n';
    out += "boot=" + bootId() + '\n';
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
    const QFileInfoList entries = folder.entryInfoList({QStringLiteral("*.journal")}, QDir::Files, QDir::Time);
    for (const QFileInfo &entry : entries) {
        Journal journal;
        const ReadResult read = readWholeFile(entry.filePath(), kMaxFileBytes * 2);
        if (!read.ok() || !parseJournal(read.bytes, &journal))
            continue;
        const bool sameBoot = journal.bootId == bootId();
        if (sameBoot && journal.pid == ::getpid())
            continue; // this run's own
        if (sameBoot && (::kill(pid_t(journal.pid), 0) == 0 || errno != ESRCH))
            continue; // another Ondrel still running owns it
        journal.file = entry.filePath();
        found.append(journal);
    }
    return found;
}

JournalWriter::JournalWriter()
{
    m_pool.setMaxThreadCount(1);
}

JournalWriter::~JournalWriter()
{
    wait();
}

bool JournalWriter::write(const QString &path, const QByteArray &text)
{
    QDir().mkpath(recoveryFolder());
    QFile::setPermissions(recoveryFolder(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return replaceFileAtomically(journalPathFor(path), journalBytes(path, text), 0600);
}

void JournalWriter::schedule(const QString &path, const QByteArray &text)
{
    const quint64 generation = ++m_generation;
    m_pool.start([this, generation, path, text] {
        QMutexLocker lock(&m_mutex);
        if (generation == m_generation.load())
            write(path, text);
    });
}

bool JournalWriter::writeNow(const QString &path, const QByteArray &text)
{
    ++m_generation;
    QMutexLocker lock(&m_mutex);
    return write(path, text);
}

void JournalWriter::remove(const QString &path)
{
    ++m_generation;
    QMutexLocker lock(&m_mutex);
    QFile::remove(journalPathFor(path));
}

void JournalWriter::wait()
{
    m_pool.waitForDone();
}
