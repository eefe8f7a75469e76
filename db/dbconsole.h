#pragma once

#include "db/mysqlclient.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>

class QTimer;

/**
 * The database console without its window: the one connection to a MySQL
 * server, the statement running on it, and the automatic refresh.
 *
 * Every call on the connection runs on the database worker (db/dbworker.h), so
 * nothing here blocks: open(), run() and cancel() return at once and their
 * outcomes come back as signals, on the thread the console lives on (the
 * user-interface thread). There is one connection record per process, so one
 * console at a time.
 *
 * States: closed, connecting, connected; while connected, at most one statement
 * runs. A statement entered while another runs is refused (Busy); a refresh tick
 * that falls due meanwhile is skipped, never stacked.
 *
 * The refresh repeats only a statement that is safe to repeat: the last one
 * run() was given, when it gave rows. A tick with nothing of the kind does
 * nothing and says so once (nothingToRepeat), until that changes.
 */
class DbConsole : public QObject
{
    Q_OBJECT
public:
    explicit DbConsole(QObject *parent = nullptr);
    /** Closes an open connection (after the statement that runs, if any). */
    ~DbConsole() override;

    bool isConnecting() const { return m_state == State::Connecting; }
    bool isConnected() const { return m_state == State::Connected; }
    bool isRunning() const { return m_running; }
    /** A connect or a statement is on the worker. */
    bool isBusy() const { return isConnecting() || m_running; }
    /** Milliseconds since the running statement was sent; 0 when none runs. */
    qint64 runningMs() const;
    /** What the refresh repeats: the last statement run() was given, if it gave rows; else empty. */
    QString repeatedStatement() const { return m_repeated; }
    /** The statement that finished last (Enter's or a tick's), as it was sent. */
    QString lastStatement() const { return m_last; }

    /** Opens the connection; connected() tells the outcome. Ignored unless closed. */
    void open(const ConnectRequest &request);
    /**
     * Closes the connection. A running statement is cancelled first and still
     * finishes (statementFinished); the close follows it on the worker.
     */
    void close();

    enum class Start { Started, NotConnected, Busy };
    /**
     * Runs a statement the user entered, sent whole and unchanged. Without a
     * connection it finishes at once with the error "Non connecté"; while
     * another statement runs it is refused (Busy) and nothing is sent.
     */
    Start run(const QString &statement);
    /**
     * Asks the server to stop the running statement (KILL QUERY over a second
     * connection, off the user-interface thread). When that fails,
     * cancelFailed() says why.
     */
    void cancel();
    /**
     * Drops the connection under the running statement: the statement ends at
     * once with a lost connection (connectionLost), and the server, finding its
     * client gone, ends it too. For when cancel() could not reach the server.
     */
    void abortConnection();

    /** The refresh timer (object name "Timer1"); its ticks repeat repeatedStatement(). */
    QTimer *refreshTimer() const { return m_refresh; }
    /** Starts the refresh with a period in milliseconds, or stops it (`on` false, or a period ≤ 0). */
    void setRefresh(bool on, int periodMs);

Q_SIGNALS:
    /** The open is over: `outcome.opened` tells whether the connection is now open. */
    void connected(const ConnectOutcome &outcome);
    void statementStarted();
    /**
     * A statement is over: its result sets (rows), its affected rows, or its
     * error. `fromRefresh` for a tick's statement. The result sets' rows are the
     * receiver's to take. After a lost connection, connectionLost() comes first.
     */
    void statementFinished(const StatementOutcome &outcome, bool fromRefresh);
    /** The server went away under a statement: the console is closed. */
    void connectionLost(const QString &error);
    /** The connection is closed: by close(), or after it was lost. */
    void closed();
    /**
     * cancel() could not stop the statement. `reachable` false: the second
     * connection could not be made (abortConnection() is then the way out).
     */
    void cancelFailed(const QString &error, bool reachable);
    /** A refresh tick found nothing safe to repeat; said once until that changes. */
    void nothingToRepeat();

private:
    enum class State { Closed, Connecting, Connected };

    void start(const QString &statement, bool fromRefresh);
    void finish(StatementOutcome &outcome, const QString &statement, bool fromRefresh);
    void refreshTick();

    State m_state = State::Closed;
    bool m_running = false;
    bool m_cancelAsked = false;
    QElapsedTimer m_runClock;
    std::shared_ptr<ConnectRequest> m_request; // of the open connection, for KILL QUERY
    quint64 m_threadId = 0;
    QString m_repeated;
    QString m_last;
    bool m_toldNothingToRepeat = false;
    QTimer *m_refresh;
};
