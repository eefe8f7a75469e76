#pragma once

#include <QLockFile>
#include <QObject>
#include <QStringList>

#include <memory>

class QLocalServer;
class QLocalSocket;

/**
 * The running window's side of the hand-over (app/handover.h): serves the local
 * socket and reports the files each later launch hands over.
 *
 * Start-up takes the socket's lock before it looks for a running window and
 * keeps it until it serves (or knows it will not), so that two launches at the
 * same moment still give one window.
 */
class InstanceServer : public QObject
{
    Q_OBJECT
public:
    explicit InstanceServer(const QString &socketPath, QObject *parent = nullptr);
    ~InstanceServer() override;

    /** Waits (at most a few seconds) for a launch that is starting at the same moment. */
    void lock();
    /** Serves the socket unless another window already answers on it; then releases the lock. */
    void serve();

Q_SIGNALS:
    /** A later launch handed over `files` (absolute paths; maybe none: just come to the front). */
    void filesHandedOver(const QStringList &files);

private:
    void accept();
    void receive(QLocalSocket *socket);

    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};
