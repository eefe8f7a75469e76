#pragma once

#include "debug/dbgpprotocol.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <map>

class QTcpSocket;

/**
 * One connection from Xdebug: the script of one request, stopped or running.
 *
 * Everything is asynchronous on the thread that owns the object: a command is
 * written and its answer comes to the callback later; nothing ever waits on the
 * socket. The engine first sends an init packet; until it has, no command may
 * be sent, and when none comes within the init time-out the connection is
 * dropped. An answer that does not come within the reply time-out (not counting
 * the continuation commands, which answer only when the script stops again), a
 * packet that is not XML or is larger than the reader allows, or a connection
 * closed in the middle of a packet end the session with a French reason.
 *
 * When the session ends, the callbacks still waiting are called with ok = false,
 * then ended() is emitted once; the reason is empty when the script simply ran
 * to its end or was stopped on request.
 */
class DbgpSession : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultInitTimeoutMs = 5000;
    static constexpr int kDefaultReplyTimeoutMs = 10000;

    enum class State {
        AwaitingInit, // connected, no init packet yet
        Paused,       // the script is stopped: commands may inspect it
        Running,      // a continuation command is under way
        Ended,
    };

    struct Reply
    {
        bool ok = false;
        QString error; // French, when !ok
        DbgpNode node; // the <response> element
    };
    using Callback = std::function<void(const Reply &)>;

    /** Takes over `socket` (it becomes a child of the session). */
    explicit DbgpSession(QTcpSocket *socket, QObject *parent = nullptr,
                         qsizetype maxPacket = DbgpPacketReader::kDefaultMaxPacket);
    ~DbgpSession() override;

    void setInitTimeout(int ms);
    /**
     * Until the init packet has come, packets over `bytes` end the session and
     * the socket holds no more than that; the limit given to the constructor
     * applies after.
     */
    void setInitLimit(qsizetype bytes);
    void setReplyTimeout(int ms) { m_replyTimeoutMs = ms; }

    State state() const { return m_state; }
    bool isPaused() const { return m_state == State::Paused; }
    const DbgpNode &initPacket() const { return m_init; }
    QString ideKey() const { return m_init.attribute(QStringLiteral("idekey")); }
    /** The local path of the script the request started with. */
    QString startFile() const { return dbgpLocalPath(m_init.attribute(QStringLiteral("fileuri"))); }
    /** The peer's port, for the listener's checks. */
    quint16 peerPort() const;

    /**
     * Sends a command that answers at once (breakpoint_set, stack_get,
     * context_get, property_get, eval…). `data` goes after "--" in base64.
     * Returns the transaction id, or -1 (and calls nothing) when the session
     * is not paused or has ended.
     */
    int send(const QString &command, const QStringList &args, const Callback &callback = {},
             const QByteArray &data = QByteArray());

    /**
     * "run", "step_into", "step_over" or "step_out": the script goes on; paused()
     * follows when it stops again, or ended() when it ends. False when the
     * session is not paused.
     */
    bool resume(const QString &command);
    /** Ends the script at once ("stop"); ended() follows. */
    void stop();
    /** Lets the script run to its end without the debugger ("detach"), and closes. */
    void detach();
    /** Closes the connection at once, without a word to the engine (a peer refused). */
    void drop(const QString &reason);

Q_SIGNALS:
    void initialized();
    void paused(const DbgpStop &stop);
    void ended(const QString &reason);

private:
    struct Pending
    {
        Callback callback;
        bool continuation = false;
    };

    int write(const QString &command, const QStringList &args, const QByteArray &data,
              const Callback &callback, bool continuation);
    void readPackets();
    void handlePacket(const QByteArray &xml);
    void handleContinuation(const Reply &reply);
    void onDisconnected();
    void armReplyTimer();
    void finish(const QString &reason);

    QPointer<QTcpSocket> m_socket;
    DbgpPacketReader m_reader;
    qsizetype m_maxPacket;
    DbgpNode m_init;
    State m_state = State::AwaitingInit;
    int m_nextId = 1;
    std::map<int, Pending> m_pending;
    QTimer m_initTimer;
    QTimer m_replyTimer;
    int m_replyTimeoutMs = kDefaultReplyTimeoutMs;
    bool m_stopRequested = false;
};
