#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

/**
 * The database worker: one thread, started the first time it is needed and
 * kept for the whole run, that owns the connection record. Every call on the
 * record (open, close, statements) runs there, one job after the other, so the
 * window never waits for the server and two calls never overlap on the record.
 */
namespace DbWorker {

/** Runs `job` on the worker thread after the jobs posted before it. */
void post(std::function<void()> job);

/**
 * From the worker thread: runs `done` on the user-interface thread, unless the
 * object `receiver` guards (a window, say) is gone by then. The guard is made
 * on the user-interface thread, when the job is posted.
 */
void reply(const QPointer<QObject> &receiver, std::function<void()> done);

} // namespace DbWorker
