#pragma once

#include <QObject>
#include <QString>

class QTcpServer;
class DbgpSession;

/**
 * Where Xdebug connects back: a TCP listener on 127.0.0.1 only, on the port the
 * user asked for (9003 by default) or, when another program holds it, on a free
 * one below the kernel's ephemeral range.
 *
 * Anyone on this machine can open a connection to a loopback port, so a
 * connection becomes a session only when
 *  - the kernel's socket table says the peer runs as this same user (when the
 *    table can be read), and
 *  - its init packet carries the IDE key made afresh at each start: the value of
 *    the trigger Ondrel's own requests carry (XDEBUG_TRIGGER=key), which Xdebug
 *    reports as "idekey".
 * Others are closed and told through refused(). A peer that sends no init within
 * the init time-out, or garbage, is closed too; nothing here ever blocks.
 */
class DbgpListener : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultPort = 9003;

    explicit DbgpListener(QObject *parent = nullptr);
    ~DbgpListener() override;

    /** Listens on `preferredPort` or, when it is taken, another free port. False when none could be had. */
    bool listen(int preferredPort = kDefaultPort);
    void close();
    bool isListening() const;
    int port() const;
    /** The secret IDE key (also the trigger's value), 32 hexadecimal digits. */
    QString ideKey() const { return m_ideKey; }
    void setInitTimeout(int ms) { m_initTimeoutMs = ms; }
    void setReplyTimeout(int ms) { m_replyTimeoutMs = ms; }

Q_SIGNALS:
    /**
     * A checked session, paused on its first line. The receiver owns it from
     * now on (the listener stays its parent until the receiver reparents it).
     */
    void sessionStarted(DbgpSession *session);
    /** A connection closed without a session, with the reason in French. */
    void refused(const QString &reason);

private:
    void accept();

    QTcpServer *m_server;
    QString m_ideKey;
    int m_initTimeoutMs;
    int m_replyTimeoutMs;
};

/**
 * The user id owning the TCP socket at 127.0.0.1:`peerPort` connected to
 * 127.0.0.1:`localPort`, from the kernel's table (/proc/net/tcp); -1 when the
 * table does not show it.
 */
int loopbackPeerUid(quint16 peerPort, quint16 localPort);
