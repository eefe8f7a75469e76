#pragma once

#include <QLockFile>
#include <QObject>
#include <QStringList>

#include <memory>
#include <sys/types.h>

class QLocalSocket;
class QSocketNotifier;

/**
 * The running window's side of the hand-over (app/handover.h): serves the local
 * socket and reports the files each later launch hands over.
 *
 * Start-up takes the socket's lock before it looks for a running window and
 * keeps it until it serves (or knows it will not), so that two launches at the
 * same moment still give one window. It serves before the window is made, so
 * that a box shown while the window starts never keeps a later launch waiting:
 * what is handed over meanwhile is kept until deliver().
 *
 * It answers only processes of the same user, holds at most kMaxClients
 * connections at once (a new one pushes out the oldest), and drops one that
 * has not sent its whole message within kMessageMs. It removes a socket file
 * only when it is its own (at the end) or a socket of this user that nothing
 * listens on (left by a window that was killed).
 */
class InstanceServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxClients = 32;
    static constexpr int kMessageMs = 1000;

    explicit InstanceServer(const QString &socketPath, QObject *parent = nullptr);
    ~InstanceServer() override;

    /** Waits (at most a few seconds) for a launch that is starting at the same moment. */
    void lock();
    /** Serves the socket unless another window already answers on it; then releases the lock. */
    void serve();
    /** Whether this object listens on the socket. */
    bool isServing() const { return m_fd >= 0; }
    /** From now on filesHandedOver() is emitted, first for what came before (from the event loop). */
    void deliver();
    /** The connections held now. */
    int clientCount() const { return m_clients.size(); }

Q_SIGNALS:
    /** A later launch handed over `files` (absolute paths; maybe none: just come to the front). */
    void filesHandedOver(const QStringList &files);

private:
    void accept();
    void receive(QLocalSocket *socket);
    void drop(QLocalSocket *socket);
    void handOver(const QStringList &files);

    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    int m_fd = -1;
    dev_t m_device = 0; // the socket file this object made
    ino_t m_inode = 0;
    QSocketNotifier *m_notifier = nullptr;
    QList<QLocalSocket *> m_clients; // oldest first
    bool m_delivering = false;
    QList<QStringList> m_waiting; // hand-overs that came before deliver()
};
