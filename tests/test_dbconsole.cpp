// The database console object without a window, against the real MariaDB server
// of the tests: its states, every result set of a CALL, the refresh's rule, and a
// cancel that cannot reach the server.
#include "support/qtmain.h"

#include "db/dbconsole.h"
#include "support/dbserver.h"
#include "support/testsupport.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

namespace {

/** Every signal of one console, in the order they came. */
struct Recorder
{
    explicit Recorder(DbConsole &console)
    {
        QObject::connect(&console, &DbConsole::connected, [this](const ConnectOutcome &o) { opens.append(o); });
        QObject::connect(&console, &DbConsole::statementFinished, [this](const StatementOutcome &o, bool refresh) {
            finished.push_back(o);
            fromRefresh.append(refresh);
        });
        QObject::connect(&console, &DbConsole::connectionLost, [this](const QString &e) { lost.append(e); });
        QObject::connect(&console, &DbConsole::cancelFailed, [this](const QString &e, bool reachable) {
            cancelErrors.append(e);
            cancelReachable.append(reachable);
        });
        QObject::connect(&console, &DbConsole::nothingToRepeat, [this] { ++nothingToRepeat; });
    }
    QList<ConnectOutcome> opens;
    std::vector<StatementOutcome> finished;
    QList<bool> fromRefresh;
    QStringList lost;
    QStringList cancelErrors;
    QList<bool> cancelReachable;
    int nothingToRepeat = 0;
};

/** The cells of one result set's row, decoded. */
QStringList rowOf(const ResultSet &set, int row)
{
    QStringList cells;
    for (int k = 0; k < set.columnCount(); ++k)
        cells.append(QString::fromUtf8(set.rows->cell(row, k).toByteArray()));
    return cells;
}

class ConsoleObject : public ::testing::Test
{
protected:
    void SetUp() override { server = &DbServer::fixture(); }
    void TearDown() override
    {
        console.setRefresh(false, 0);
        waitIdle();
        console.close();
    }

    ConnectRequest request(const QByteArray &user = "root", QByteArray password = {}) const
    {
        ConnectRequest r;
        r.host = "127.0.0.1";
        r.user = user;
        r.password = password.isNull() ? server->password.toUtf8() : password;
        r.database = "ondrel_test";
        return r;
    }
    void waitIdle() { ASSERT_TRUE(QTest::qWaitFor([&] { return !console.isBusy(); }, 60000)); }
    void open(const ConnectRequest &r)
    {
        console.open(r);
        waitIdle();
        ASSERT_TRUE(console.isConnected()) << qPrintable(record.opens.value(0).error);
    }
    /** Runs one statement to its end and returns its outcome. */
    StatementOutcome run(const QString &statement)
    {
        const size_t before = record.finished.size();
        EXPECT_NE(console.run(statement), DbConsole::Start::Busy);
        waitIdle();
        EXPECT_EQ(record.finished.size(), before + 1);
        return record.finished.empty() ? StatementOutcome() : record.finished.back();
    }

    const DbServer *server = nullptr;
    DbConsole console;
    Recorder record{console};
};

TEST_F(ConsoleObject, StatesFromClosedToConnectedAndBack)
{
    EXPECT_EQ(console.run(QStringLiteral("SELECT 1")), DbConsole::Start::NotConnected);
    ASSERT_EQ(record.finished.size(), 1u);
    EXPECT_EQ(record.finished[0].error, QStringLiteral("Non connecté"));

    console.open(request("root", "wrong"));
    EXPECT_TRUE(console.isConnecting());
    waitIdle();
    ASSERT_EQ(record.opens.size(), 1);
    EXPECT_FALSE(record.opens[0].opened);
    EXPECT_TRUE(record.opens[0].error.startsWith(QStringLiteral("Access denied"))) << qPrintable(record.opens[0].error);
    EXPECT_FALSE(console.isConnected());

    open(request());
    EXPECT_TRUE(record.opens[1].opened && record.opens[1].databaseSelected);
    const StatementOutcome rows = run(QStringLiteral("SELECT 1 AS a, NULL AS b"));
    ASSERT_EQ(rows.results.size(), 1u);
    EXPECT_EQ(rowOf(rows.results[0], 0), (QStringList{"a", "b"}));
    EXPECT_TRUE(rows.results[0].rows->cell(1, 1).isNull());
    EXPECT_TRUE(rows.error.isEmpty());

    console.close();
    EXPECT_FALSE(console.isConnected());
    EXPECT_EQ(console.run(QStringLiteral("SELECT 1")), DbConsole::Start::NotConnected);
    EXPECT_TRUE(record.lost.isEmpty());
}

TEST_F(ConsoleObject, ASecondStatementWhileOneRunsIsRefusedAndNotSent)
{
    server->sql(QStringLiteral("DROP TABLE IF EXISTS o_busy; CREATE TABLE o_busy (v INT);"));
    open(request());
    ASSERT_EQ(console.run(QStringLiteral("SELECT SLEEP(1) AS s")), DbConsole::Start::Started);
    EXPECT_EQ(console.run(QStringLiteral("INSERT INTO o_busy VALUES (1)")), DbConsole::Start::Busy);
    waitIdle();
    ASSERT_EQ(record.finished.size(), 1u);
    EXPECT_EQ(server->sql(QStringLiteral("SELECT COUNT(*) FROM o_busy")).split('\n').value(1), QByteArray("0"));
}

// A CALL answers with each SELECT of the procedure, then the procedure's own
// status: everything is read, so the connection stays in step for what follows.
TEST_F(ConsoleObject, ACallGivesEveryResultSetAndTheConnectionStaysInStep)
{
    server->sql(QStringLiteral(
        "DROP TABLE IF EXISTS o_call; CREATE TABLE o_call (v INT); INSERT INTO o_call VALUES (1), (2), (3);"));
    open(request());
    // One statement each: the command-line client would cut a procedure's body at its ";".
    run(QStringLiteral("CREATE OR REPLACE PROCEDURE two_sets() BEGIN"
                       " SELECT v FROM o_call ORDER BY v; SELECT 'x' AS lettre; UPDATE o_call SET v = v + 10; END"));
    run(QStringLiteral("CREATE OR REPLACE PROCEDURE fails_after_one() BEGIN SELECT 1 AS un; SELECT * FROM no_such_table; END"));

    const StatementOutcome call = run(QStringLiteral("CALL two_sets()"));
    EXPECT_TRUE(call.error.isEmpty()) << qPrintable(call.error);
    ASSERT_EQ(call.results.size(), 2u);
    EXPECT_EQ(call.results[0].rowCount(), 3);
    EXPECT_EQ(rowOf(call.results[0], 3), QStringList{"3"});
    EXPECT_EQ(call.results[1].rowCount(), 1);
    EXPECT_EQ(rowOf(call.results[1], 0), QStringList{"lettre"});
    EXPECT_EQ(server->sql(QStringLiteral("SELECT SUM(v) FROM o_call")).split('\n').value(1), QByteArray("36"));

    const StatementOutcome failed = run(QStringLiteral("CALL fails_after_one()"));
    EXPECT_EQ(failed.results.size(), 1u);
    EXPECT_TRUE(failed.error.contains(QStringLiteral("no_such_table"))) << qPrintable(failed.error);

    for (const char *next : {"SELECT 7 AS sept", "CALL two_sets()", "SELECT 8 AS huit"}) {
        const StatementOutcome after = run(QString::fromLatin1(next));
        EXPECT_TRUE(after.error.isEmpty()) << next << ": " << qPrintable(after.error);
        EXPECT_FALSE(after.results.empty()) << next;
    }
    EXPECT_TRUE(console.isConnected());
}

TEST_F(ConsoleObject, TheRefreshRepeatsOnlyTheLastStatementThatGaveRowsAndSaysOnceWhenThereIsNone)
{
    server->sql(QStringLiteral("DROP TABLE IF EXISTS o_tick; CREATE TABLE o_tick (v INT);"));
    open(request());

    console.setRefresh(true, 20); // always allowed, even with nothing to repeat yet
    ASSERT_TRUE(console.refreshTimer()->isActive());
    QTest::qWait(200);
    EXPECT_EQ(record.nothingToRepeat, 1);
    EXPECT_TRUE(record.finished.empty());

    // Not run(): a tick may repeat the statement before the wait for its end looks.
    EXPECT_EQ(console.run(QStringLiteral("SELECT COUNT(*) AS n FROM o_tick")), DbConsole::Start::Started);
    ASSERT_TRUE(QTest::qWaitFor([&] { return record.fromRefresh.count(true) >= 3; }, 5000));
    EXPECT_EQ(console.repeatedStatement(), QStringLiteral("SELECT COUNT(*) AS n FROM o_tick"));

    // An INSERT is never repeated: the ticks go back to saying, once, that there is nothing to repeat.
    console.setRefresh(false, 0);
    waitIdle();
    run(QStringLiteral("INSERT INTO o_tick VALUES (1)"));
    EXPECT_TRUE(console.repeatedStatement().isEmpty());
    const int told = record.nothingToRepeat;
    const qsizetype runs = record.finished.size();
    console.setRefresh(true, 20);
    QTest::qWait(300);
    EXPECT_EQ(record.nothingToRepeat, told + 1);
    EXPECT_EQ(record.finished.size(), size_t(runs));
    EXPECT_EQ(server->sql(QStringLiteral("SELECT COUNT(*) FROM o_tick")).split('\n').value(1), QByteArray("1"));
}

// A user allowed one connection: "Annuler" cannot open its second one. The console
// says why, and dropping the connection ends the statement on the server too.
TEST_F(ConsoleObject, ACancelThatCannotConnectSaysWhyAndDroppingTheConnectionEndsTheStatement)
{
    server->sql(QStringLiteral("DROP USER IF EXISTS 'one_conn'@'%';"
                               "CREATE USER 'one_conn'@'%' IDENTIFIED BY 'pw1' WITH MAX_USER_CONNECTIONS 1;"
                               "GRANT SELECT ON ondrel_test.* TO 'one_conn'@'%';"));
    const auto runningFor = [&] {
        return server->sql(QStringLiteral("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE USER = 'one_conn'"))
            .split('\n')
            .value(1);
    };
    open(request("one_conn", "pw1"));
    ASSERT_EQ(console.run(QStringLiteral("SELECT SLEEP(60) AS s")), DbConsole::Start::Started);
    ASSERT_TRUE(QTest::qWaitFor([&] { return runningFor() == "1"; }, 10000));

    console.cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !record.cancelErrors.isEmpty(); }, 20000));
    EXPECT_TRUE(record.cancelErrors[0].contains(QStringLiteral("max_user_connections")))
        << qPrintable(record.cancelErrors[0]);
    EXPECT_FALSE(record.cancelReachable[0]);
    EXPECT_TRUE(console.isRunning());

    QElapsedTimer clock;
    clock.start();
    console.abortConnection();
    waitIdle();
    EXPECT_LT(clock.elapsed(), 5000);
    ASSERT_EQ(record.finished.size(), 1u);
    EXPECT_TRUE(record.finished[0].connectionLost);
    EXPECT_EQ(record.lost.size(), 1);
    EXPECT_FALSE(console.isConnected());
    // The server ends the statement and frees the user's one connection.
    EXPECT_TRUE(QTest::qWaitFor([&] { return runningFor() == "0"; }, 20000)) << "the statement still runs on the server";
    open(request("one_conn", "pw1"));
}

} // namespace

ONDREL_QT_TEST_MAIN
