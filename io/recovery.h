#pragma once

#include "io/recoverypaths.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThreadPool>

#include <atomic>

/** A journal read back: the edited file's path, the process that wrote it and the text. */
struct Journal
{
    QString file;      // the journal itself
    QString path;      // the edited file ("" for text that belonged to no file)
    qint64 pid = 0;
    QByteArray bootId; // the boot the writing process ran in
    QByteArray text;   // the editor's bytes
};

QByteArray journalBytes(const QString &path, const QByteArray &text);
bool parseJournal(const QByteArray &bytes, Journal *out);

/**
 * The journals in the recovery folder left by runs that did not end cleanly (their
 * process is gone, or the machine was restarted since), newest first.
 */
QList<Journal> leftJournals();

/**
 * Writes journals off the calling thread, one at a time. A write scheduled before a
 * removal (or before a later write) never lands after it.
 */
class JournalWriter
{
public:
    JournalWriter();
    ~JournalWriter();
    /** Journals `text` for `path` on the writer's thread; returns at once. */
    void schedule(const QString &path, const QByteArray &text);
    /** Journals at once on the calling thread; false when it could not be written. */
    bool writeNow(const QString &path, const QByteArray &text);
    /** Removes the journal of `path`; a scheduled write not yet done is dropped. */
    void remove(const QString &path);
    /** Waits until no write is running or waiting. */
    void wait();

private:
    bool write(const QString &path, const QByteArray &text);
    QThreadPool m_pool;
    QMutex m_mutex; // held while a journal file is written or removed
    std::atomic<quint64> m_generation{0};
};
