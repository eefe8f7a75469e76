#include "db/dbworker.h"

#include "db/mysqlclient.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

namespace {

/** The worker's thread and an object living on it; both live as long as the process. */
QObject *workerContext()
{
    static QObject *context = [] {
        mysqlLibraryStart(); // before any other thread calls the library
        auto *thread = new QThread;
        thread->setObjectName(QStringLiteral("ondrel-mysql"));
        auto *object = new QObject;
        object->moveToThread(thread);
        thread->start();
        return object;
    }();
    return context;
}

} // namespace

void DbWorker::post(std::function<void()> job)
{
    QMetaObject::invokeMethod(workerContext(), std::move(job), Qt::QueuedConnection);
}

void DbWorker::reply(const QPointer<QObject> &receiver, std::function<void()> done)
{
    // The guard is only read on the user-interface thread, where the receiver lives.
    QPointer<QObject> guard(receiver);
    QCoreApplication *application = QCoreApplication::instance();
    if (!application)
        return; // the program is ending: nobody is left to show the outcome
    QMetaObject::invokeMethod(
        application,
        [guard, done = std::move(done)] {
            if (guard)
                done();
        },
        Qt::QueuedConnection);
}
