#include "editor/findjob.h"

#include <QDeadlineTimer>
#include <QThread>

namespace {

constexpr uint kStackBytes = 64u << 20; // the engine's compiler and interpreter need little; room to spare
constexpr int kWaitAtEndMs = 2000;

} // namespace

struct FindJob::Task
{
    FindRequest request;
    FindResult result;
    FindProgress progress;
};

FindJob::FindJob(QObject *parent)
    : QObject(parent)
{
}

FindJob::~FindJob()
{
    cancel();
    const QDeadlineTimer deadline(kWaitAtEndMs);
    for (QThread *thread : std::as_const(m_threads)) {
        if (thread->wait(deadline))
            delete thread;
        else // a single match of the engine still busy: it ends on its own, and its memory with the process
            QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    }
}

void FindJob::start(FindRequest request)
{
    cancel();
    auto task = std::make_shared<Task>();
    task->request = std::move(request);
    QThread *thread = QThread::create([task] { task->result = runFind(task->request, task->progress); });
    thread->setStackSize(kStackBytes);
    connect(thread, &QThread::finished, this, [this, task, thread] {
        m_threads.removeOne(thread);
        thread->deleteLater();
        if (task != m_current)
            return;
        m_current.reset();
        Q_EMIT finished(task->request, task->result);
    });
    m_threads.append(thread);
    m_current = task;
    thread->start();
}

void FindJob::cancel()
{
    if (m_current)
        m_current->progress.cancel = true;
    m_current.reset();
}

int FindJob::permille() const
{
    return m_current ? m_current->progress.permille.load() : 0;
}
