#pragma once

#include "editor/findtask.h"

#include <QObject>

#include <memory>

class QThread;

/**
 * Runs the find bar's tasks one at a time on a thread of their own, with a stack
 * large enough for any expression the engine accepts. A new task replaces the
 * running one, whose result is dropped. `finished` comes on the owner's thread.
 */
class FindJob : public QObject
{
    Q_OBJECT
public:
    explicit FindJob(QObject *parent = nullptr);
    /** Asks the running task to stop and waits a little for it; one still busy is left to end alone. */
    ~FindJob() override;

    void start(FindRequest request);
    /** Drops the running task at once (it stops at its next check); no `finished` follows. */
    void cancel();
    bool isRunning() const { return m_current != nullptr; }
    /** How far the running task is, 0 to 1000. */
    int permille() const;

Q_SIGNALS:
    void finished(const FindRequest &request, const FindResult &result);

private:
    struct Task;
    std::shared_ptr<Task> m_current;
    QList<QThread *> m_threads; // still running, the dropped ones included
};
