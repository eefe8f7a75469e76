#include "git/gitjobs.h"

#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>

#include <thread>

/** What a job's thread shares with the object: the object, until it is destroyed. */
struct GitJobs::Link
{
    QMutex mutex;
    GitJobs *owner = nullptr;
};

GitJobs::GitJobs(QObject *parent)
    : QObject(parent)
    , m_link(std::make_shared<Link>())
{
    m_link->owner = this;
}

GitJobs::~GitJobs()
{
    // A thread that has taken the mutex has posted its answer to this object,
    // and QObject's destructor drops the posted events: once this returns,
    // no answer reaches the object.
    QMutexLocker lock(&m_link->mutex);
    m_link->owner = nullptr;
}

void GitJobs::open(const QString &path)
{
    start(OpenLane, [this, path] {
        const GitRepository repository = GitRepository::open(path);
        return std::function<void()>([this, path, repository] { emit opened(path, repository); });
    });
}

void GitJobs::readStatus(const GitRepository &repository)
{
    start(StatusLane, [this, repository] {
        const GitBranch branch = repository.branch();
        const GitStatus status = repository.status();
        return std::function<void()>([this, repository, branch, status] { emit statusRead(repository, branch, status); });
    });
}

void GitJobs::blame(const GitRepository &repository, const QString &file, const QByteArray &edited, int line)
{
    start(BlameLane, [this, repository, file, edited, line] {
        const GitBlame answer = repository.blameLine(file, edited, line);
        return std::function<void()>([this, file, line, answer] { emit blamed(file, line, answer); });
    });
}

void GitJobs::start(Lane lane, Job job)
{
    if (m_busy[lane]) {
        m_waiting[lane] = std::move(job);
        return;
    }
    m_busy[lane] = true;
    std::thread([link = m_link, lane, job = std::move(job)] {
        std::function<void()> deliver = job();
        QMutexLocker lock(&link->mutex);
        if (!link->owner)
            return;
        QMetaObject::invokeMethod(
            link->owner,
            [owner = QPointer<GitJobs>(link->owner), lane, deliver = std::move(deliver)] {
                deliver();
                if (owner) // a receiver of the answer may have destroyed it
                    owner->finish(lane);
            },
            Qt::QueuedConnection);
    }).detach();
}

void GitJobs::finish(Lane lane)
{
    m_busy[lane] = false;
    if (m_waiting[lane]) {
        Job next = std::move(m_waiting[lane]);
        m_waiting[lane] = nullptr;
        start(lane, std::move(next));
    }
}
