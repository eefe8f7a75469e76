#pragma once

#include "debug/socketowner.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <vector>

class QTcpServer;
class DbgpSession;

/**
 * Where Xdebug connects back: a TCP listener on loopback only.
 *
 * With Ondrel's own php server, Ondrel gives php the port, so any free one
 * does: the port the user asked for (9003 by default) or, when another program
 * holds it, a free one below the kernel's ephemeral range (PortChoice::ThisOrFree).
 * With the user's own web server, its php.ini names the port, and Xdebug calls
 * whoever listens there: the listener takes that port on 127.0.0.1 and on ::1
 * (where "localhost" may lead first) or nothing (PortChoice::ThisOnly).
 *
 * Anyone on this machine can open a connection to a loopback port, so a
 * connection becomes a session only when
 *  - the kernel's socket table shows its peer, from any loopback address, and
 *    says it runs as this same user, or as an account the user allowed (a web
 *    server's, see allowAccount()); a peer the table does not show is refused;
 *  - its init packet carries the IDE key made afresh at each start: the value of
 *    the trigger Ondrel's own requests carry (XDEBUG_TRIGGER=key), which Xdebug
 *    reports as "idekey".
 * Until its init packet has come, a connection may send at most kMaxInitBytes,
 * and at most kMaxWaiting connections wait for theirs; others are closed at
 * once. Every connection closed without a session is told through refused().
 * A peer that sends no init within the init time-out, or garbage, is closed
 * too; nothing here ever blocks.
 */
class DbgpListener : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultPort = 9003;
    /** The largest init packet taken; Xdebug's is under 1 KB. */
    static constexpr qsizetype kMaxInitBytes = 64 * 1024;
    /** How many connections may wait for their init packet at once. */
    static constexpr int kMaxWaiting = 8;

    enum class PortChoice { ThisOrFree, ThisOnly };

    explicit DbgpListener(QObject *parent = nullptr);
    ~DbgpListener() override;

    /**
     * Listens on `port` as `choice` says. Listening already, with another port
     * or choice, it closes first. False when no port could be had; with
     * ThisOnly, takenPortMessage() then says who holds it.
     */
    bool listen(int port = kDefaultPort, PortChoice choice = PortChoice::ThisOrFree);
    void close();
    bool isListening() const;
    int port() const;
    /** "Le port 9003 est pris par un autre programme (compte X) : le débogage est arrêté" */
    QString takenPortMessage(int port) const;
    /** The secret IDE key (also the trigger's value), 32 hexadecimal digits. */
    QString ideKey() const { return m_ideKey; }
    void setInitTimeout(int ms) { m_initTimeoutMs = ms; }
    void setReplyTimeout(int ms) { m_replyTimeoutMs = ms; }

    /**
     * Whether a connection with this start's key from another account is put
     * to the user (accountApprovalNeeded()) instead of refused: for the user's
     * own web server, which runs under an account of its own.
     */
    void setAskAboutOtherAccounts(bool ask) { m_askAboutOthers = ask; }
    /** Takes the sessions of `uid` from now on, and starts the one waiting for this answer. */
    void allowAccount(int uid);
    /** Refuses the session waiting for the user's answer about `uid`. */
    void refuseAccount(int uid);
    QList<int> allowedAccounts() const { return m_allowed.values(); }

    /** For tests: the kernel's socket tables as another account would have them. */
    void setSocketTableReader(const SocketTableReader &reader) { m_tables = reader; }
    /** Connections accepted that have not yet sent their init packet. */
    int waitingCount() const { return int(m_waiting.size()); }

Q_SIGNALS:
    /**
     * A checked session, paused on its first line. The receiver owns it from
     * now on (the listener stays its parent until the receiver reparents it).
     */
    void sessionStarted(DbgpSession *session);
    /** A connection closed without a session, with the reason in French. */
    void refused(const QString &reason);
    /**
     * A page of Ondrel's own (its key is right) calls from account `uid`: it
     * waits until allowAccount() or refuseAccount() answers; only one waits.
     */
    void accountApprovalNeeded(int uid, const QString &account);

private:
    bool listenOn(int port);
    void accept();
    void startSession(class QTcpSocket *socket, int uid);
    void onInitialized(DbgpSession *session, int uid);
    void refuseSocket(class QTcpSocket *socket, const QString &reason);

    std::vector<QTcpServer *> m_servers;
    PortChoice m_choice = PortChoice::ThisOrFree;
    int m_asked = 0;
    QString m_ideKey;
    int m_initTimeoutMs;
    int m_replyTimeoutMs;
    SocketTableReader m_tables;
    bool m_askAboutOthers = false;
    QSet<int> m_allowed;
    QSet<DbgpSession *> m_waiting;
    QPointer<DbgpSession> m_awaitingApproval;
    int m_awaitingUid = -1;
};
