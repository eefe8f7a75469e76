// The database console's state and the worker jobs behind it; the window only
// shows what its signals report.
#include "db/dbconsole.h"

#include "db/dbworker.h"

#include <QPointer>
#include <QThreadPool>
#include <QTimer>

namespace {

const QString kNotConnected = QStringLiteral("Non connecté");

} // namespace

DbConsole::DbConsole(QObject *parent)
    : QObject(parent)
    , m_refresh(new QTimer(this))
{
    m_refresh->setObjectName(QStringLiteral("Timer1"));
    m_refresh->setInterval(1000);
    connect(m_refresh, &QTimer::timeout, this, &DbConsole::refreshTick);
}

DbConsole::~DbConsole()
{
    if (m_state != State::Closed) // the record is the process's: leave it ready for the next console
        DbWorker::post([] { mysqlClose(); });
}

qint64 DbConsole::runningMs() const
{
    return m_running ? m_runClock.elapsed() : 0;
}

void DbConsole::open(const ConnectRequest &request)
{
    if (m_state != State::Closed)
        return;
    m_state = State::Connecting;
    auto shared = std::make_shared<ConnectRequest>(request);
    const QPointer<QObject> self(this);
    DbWorker::post([self, shared] {
        const ConnectOutcome outcome = mysqlOpen(*shared);
        DbWorker::reply(self, [self, shared, outcome] {
            auto *console = static_cast<DbConsole *>(self.data());
            console->m_state = outcome.opened ? State::Connected : State::Closed;
            console->m_request = outcome.opened ? shared : nullptr;
            console->m_threadId = outcome.threadId;
            Q_EMIT console->connected(outcome);
        });
    });
}

void DbConsole::close()
{
    if (m_state != State::Connected)
        return; // a connect under way cannot be stopped; its outcome comes
    if (m_running)
        cancel(); // the close waits for the statement, which the cancel shortens
    DbWorker::post([] { mysqlClose(); });
    m_state = State::Closed;
    m_request.reset();
    Q_EMIT closed();
}

DbConsole::Start DbConsole::run(const QString &statement)
{
    if (isBusy())
        return Start::Busy;
    m_repeated.clear(); // until this one has given rows
    m_toldNothingToRepeat = false;
    if (!isConnected()) {
        StatementOutcome outcome;
        outcome.error = kNotConnected;
        Q_EMIT statementFinished(outcome, false);
        return Start::NotConnected;
    }
    start(statement, false);
    return Start::Started;
}

void DbConsole::start(const QString &statement, bool fromRefresh)
{
    m_running = true;
    m_cancelAsked = false;
    m_runClock.start();
    Q_EMIT statementStarted();
    const QPointer<QObject> self(this);
    const QByteArray bytes = statement.toUtf8(); // whole, line breaks and all
    DbWorker::post([self, bytes, statement, fromRefresh] {
        auto outcome = std::make_shared<StatementOutcome>(mysqlRun(bytes));
        DbWorker::reply(self, [self, outcome, statement, fromRefresh] {
            static_cast<DbConsole *>(self.data())->finish(*outcome, statement, fromRefresh);
        });
    });
}

void DbConsole::finish(StatementOutcome &outcome, const QString &statement, bool fromRefresh)
{
    m_running = false;
    m_last = statement;
    if (!fromRefresh && outcome.hasResult())
        m_repeated = statement;
    if (outcome.connectionLost && m_state == State::Connected) {
        m_state = State::Closed;
        m_request.reset();
        Q_EMIT connectionLost(outcome.error);
        Q_EMIT closed();
    }
    Q_EMIT statementFinished(outcome, fromRefresh);
}

void DbConsole::cancel()
{
    if (!m_running || m_cancelAsked || !m_request)
        return;
    m_cancelAsked = true;
    const std::shared_ptr<ConnectRequest> request = m_request;
    const quint64 threadId = m_threadId;
    const QPointer<QObject> self(this);
    // A second, short-lived connection asks the server to stop the statement.
    QThreadPool::globalInstance()->start([self, request, threadId] {
        const KillOutcome outcome = mysqlKillQuery(*request, threadId);
        if (outcome.error.isEmpty())
            return;
        DbWorker::reply(self, [self, outcome] {
            auto *console = static_cast<DbConsole *>(self.data());
            console->m_cancelAsked = false; // the user may try again
            if (console->m_running)
                Q_EMIT console->cancelFailed(outcome.error, outcome.connected);
        });
    });
}

void DbConsole::abortConnection()
{
    if (m_running)
        mysqlAbortConnection();
}

void DbConsole::setRefresh(bool on, int periodMs)
{
    m_toldNothingToRepeat = false;
    // A period of 0 would fire continuously and a negative one means nothing:
    // neither starts the timer.
    m_refresh->setInterval(std::max(periodMs, 0));
    if (on && periodMs > 0)
        m_refresh->start();
    else
        m_refresh->stop();
}

void DbConsole::refreshTick()
{
    if (isBusy())
        return; // the statement of an earlier tick (or of Enter) still runs: this tick is skipped
    if (m_repeated.isEmpty()) {
        if (!m_toldNothingToRepeat)
            Q_EMIT nothingToRepeat();
        m_toldNothingToRepeat = true;
        return;
    }
    if (!isConnected()) {
        StatementOutcome outcome;
        outcome.error = kNotConnected;
        Q_EMIT statementFinished(outcome, true);
        return;
    }
    start(m_repeated, true);
}
