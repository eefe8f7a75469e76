#pragma once

#include "io/fileidentity.h"
#include "io/recoverypaths.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>

/**
 * A journal read back: the edited file's path, the process that wrote it, what the
 * file was when the text was taken from it, and the text.
 */
struct Journal
{
    QString file;      // the journal itself
    QString path;      // the edited file ("" for text that belonged to no file)
    qint64 pid = 0;
    QByteArray bootId; // the boot the writing process ran in
    bool locked = false; // written under a flock held while its writer lives (older journals were not)
    bool hasBase = false; // the journal says what the file was (older journals do not)
    FileIdentity base;    // the file the text was loaded from or last saved to; unknown: there was none
    qint64 writtenNs = 0; // the journal's own modification time, set by leftJournals
    QByteArray text;   // the editor's bytes
};

/** The bytes of the journal of `text`, edited from the file `path` that was `base` when loaded or last saved. */
QByteArray journalBytes(const QString &path, const QByteArray &text, const FileIdentity &base);
bool parseJournal(const QByteArray &bytes, Journal *out);

/**
 * The journals in the recovery folder left by runs that did not end cleanly, newest
 * first. A journal is left when no process holds its lock (the writer holds it as long
 * as it lives, so a process that took the writer's id after a restart, in a PID
 * namespace say, does not count); a journal of an older version, which has no lock, when
 * its process is gone or the machine was restarted since.
 */
QList<Journal> leftJournals();

/**
 * True when the file of `journal`, which is `disk` now, changed after the journal's text
 * was taken from it, so that writing the text there would lose another program's work.
 * A file gone since is no change (writing it back loses nothing). A journal that does not
 * say what the file was counts a file written after the journal as changed.
 */
bool fileChangedSince(const Journal &journal, const FileIdentity &disk);

/**
 * A name beside `path` for keeping a recovered text as a file of its own:
 * "page (récupéré).php", then "page (récupéré 2).php"… the first that does not exist.
 */
QString recoveredCopyPath(const QString &path);

/**
 * Writes journals off the calling thread, one at a time. A write scheduled before a
 * removal (or before a later write) never lands after it. Each journal is locked
 * (flock) before it gets its name, and the lock is held until the journal is removed or
 * the writer ends: that tells its writer is alive.
 */
class JournalWriter : public QObject
{
    Q_OBJECT
public:
    JournalWriter();
    ~JournalWriter() override;
    /** Journals `text` for `path` (whose file was `base` when loaded or saved) on the writer's thread; returns at once. */
    void schedule(const QString &path, const QByteArray &text, const FileIdentity &base);
    /** Journals at once on the calling thread; false when it could not be written. */
    bool writeNow(const QString &path, const QByteArray &text, const FileIdentity &base);
    /** Removes the journal of `path`; a scheduled write not yet done is dropped. */
    void remove(const QString &path);
    /** Waits until no write is running or waiting. */
    void wait();

Q_SIGNALS:
    /**
     * Emitted once in the writer's life, from its thread, at the first journal that could
     * not be written: `notice` tells the user in French that unsaved text is not kept.
     */
    void cannotWrite(const QString &notice);

private:
    bool write(const QString &path, const QByteArray &text, const FileIdentity &base);
    QThreadPool m_pool;
    QMutex m_mutex; // held while a journal file is written or removed
    QHash<QString, int> m_held; // journal path -> the open descriptor that holds its lock
    std::atomic<quint64> m_generation{0};
    std::atomic<bool> m_told{false};
};
