#pragma once

#include "git/gitrepository.h"

#include <QObject>

#include <functional>
#include <memory>

/**
 * The Git work of a window, off the window's thread: finding the repository of
 * a path, the status of its tree with its branch, and the blame of a line.
 *
 * Each kind of request runs on a thread of its own, one at a time: a request
 * made while one of its kind runs waits, and a newer one replaces it, so that
 * a disk that hangs holds one thread, never the window, and never piles up
 * work. Results come back as signals on the window's thread, each carrying
 * what was asked so that a late answer can be told from a current one.
 *
 * The threads are never waited for: destroying the object (or ending the
 * program) while one still reads a slow disk drops its answer.
 */
class GitJobs : public QObject
{
    Q_OBJECT
public:
    explicit GitJobs(QObject *parent = nullptr);
    ~GitJobs() override;

    /** Looks for the repository holding `path` (a file or a folder); answers with opened(). */
    void open(const QString &path);
    /** Reads the tree's status and branch; answers with statusRead(). */
    void readStatus(const GitRepository &repository);
    /** Who last changed line `line` (0-based) of `edited`, `file`'s text now; answers with blamed(). */
    void blame(const GitRepository &repository, const QString &file, const QByteArray &edited, int line);

signals:
    void opened(const QString &path, const GitRepository &repository);
    void statusRead(const GitRepository &repository, const GitBranch &branch, const GitStatus &status);
    void blamed(const QString &file, int line, const GitBlame &blame);

private:
    struct Link;
    enum Lane { OpenLane, StatusLane, BlameLane, LaneCount };
    /** A job runs `work` on a thread and returns what delivers its answer on the window's thread. */
    using Job = std::function<std::function<void()>()>;

    void start(Lane lane, Job job);
    void finish(Lane lane);

    std::shared_ptr<Link> m_link;
    bool m_busy[LaneCount] = {};
    Job m_waiting[LaneCount];
};
