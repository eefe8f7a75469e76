// The MySQL server killed under the console, in the middle of a statement and while
// the refresh timer runs, then restarted; and a statement slower than the refresh
// period. This program runs its own server, since it kills it.
#include "support/qtmain.h"

#include "app/main.h"
#include "pages/databasepage.h"
#include "widgets/widgets.h"
#include "db/dbconsole.h"
#include "db/simplecombo.h"
#include "db/stringgrid.h"
#include "support/dbserver.h"
#include "support/testsupport.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>

#include <chrono>
#include <csignal>
#include <thread>

namespace {

bool processGone(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return true;
    return status.readAll().contains("State:\tZ");
}

/** Rows of the "runs" table: one per execution of the refreshed statement. */
int runCount(const DbServer &server)
{
    const QList<QByteArray> lines = server.sql(QStringLiteral("SELECT COUNT(*) FROM runs")).split('\n');
    return lines.value(1).toInt();
}

class DbFaults : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        serverDir = new TempFolder;
        ASSERT_TRUE(DbServer::runScript(QStringLiteral("start"), dir()));
        ASSERT_TRUE(server.read(dir()));
        DbServer::useForLibrary(server); // before this program's first library call
    }
    static void TearDownTestSuite()
    {
        DbServer::runScript(QStringLiteral("stop"), dir());
        delete serverDir;
    }
    static QString dir() { return serverDir->path(QStringLiteral("server")); }

    void SetUp() override
    {
        window = makeWindow(folder.dir.path());
        openConnection(*window, server);
        ASSERT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Stop"));
    }
    void TearDown() override { closeConnection(*window); }

    /** Kills the server with SIGKILL, now or after `delayMs` from another thread. */
    static std::thread killServer(int delayMs)
    {
        const qint64 pid = server.pid();
        return std::thread([pid, delayMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            ::kill(pid_t(pid), SIGKILL);
        });
    }
    static bool waitUntilGone(qint64 pid) { return QTest::qWaitFor([&] { return processGone(pid); }, 30000); }

    void expectLibraryMessage(const QString &statement)
    {
        runStatement(*window, statement);
        EXPECT_TRUE(window->databasePage->sg->isHidden()) << qPrintable(statement);
        EXPECT_FALSE(window->databasePage->mysqlErr->text().isEmpty()) << qPrintable(statement);
    }

    static inline TempFolder *serverDir = nullptr;
    static inline DbServer server;
    TempFolder folder;
    std::unique_ptr<TfmMain> window;
    ModalWatcher watcher;
};

TEST_F(DbFaults, KilledInTheMiddleOfStatementsThenRestartedFiveTimes)
{
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        const qint64 pid = server.pid();
        // Killed while a statement waits for its answer, at a different moment each round.
        std::thread killer = killServer(200 + 150 * round);
        runStatement(*window, QStringLiteral("SELECT SLEEP(5)"));
        killer.join();
        EXPECT_TRUE(window->databasePage->sg->isHidden());
        const QString message = window->databasePage->mysqlErr->text();
        EXPECT_FALSE(message.isEmpty());
        std::printf("round %d, killed during a statement: %s\n", round, qPrintable(message));
        ASSERT_TRUE(waitUntilGone(pid)) << "server " << pid << " still running";
        expectLibraryMessage(QStringLiteral("SELECT 1"));

        ASSERT_TRUE(DbServer::runScript(QStringLiteral("start"), dir()));
        // Nothing reconnects behind the user's back: the console shows "Go" until it is clicked.
        expectLibraryMessage(QStringLiteral("SELECT 2"));
        EXPECT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Go"));
        window->databasePage->sbConnected->click();
        waitForConsole(*window);
        EXPECT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Stop"));
        runStatement(*window, QStringLiteral("SELECT 3 AS three"));
        EXPECT_FALSE(window->databasePage->sg->isHidden());
        EXPECT_EQ(window->databasePage->sg->cell(0, 1), QStringLiteral("3"));
    }
    EXPECT_TRUE(watcher.boxes.isEmpty()) << qPrintable(watcher.boxes.value(0).text);
}

TEST_F(DbFaults, RefreshTicksOnADeadServerReportAndResumeAfterReconnecting)
{
    server.sql(QStringLiteral("DROP TABLE IF EXISTS runs; CREATE TABLE runs (id INT AUTO_INCREMENT PRIMARY KEY)"));
    // The refresh repeats only statements that give rows: this one gives a row and notes its run.
    runStatement(*window, QStringLiteral("CREATE OR REPLACE FUNCTION note_run() RETURNS INT MODIFIES SQL DATA "
                                         "BEGIN INSERT INTO runs () VALUES (); RETURN 1; END"));
    runStatement(*window, QStringLiteral("SELECT note_run() AS r"));
    ASSERT_FALSE(window->databasePage->sg->isHidden()) << qPrintable(window->databasePage->mysqlErr->text());
    window->databasePage->tempo->setText(QStringLiteral("50"));
    window->databasePage->cbTempo->click();
    ASSERT_TRUE(window->databasePage->Timer1->isActive());
    ASSERT_TRUE(QTest::qWaitFor([&] { return runCount(server) >= 2; }, 30000));

    const qint64 pid = server.pid();
    std::thread killer = killServer(0);
    killer.join();
    ASSERT_TRUE(waitUntilGone(pid)) << "server " << pid << " still running";
    // Ticks go on: the first meets the dead link and puts the console back to "Go", the next say "Non connecté".
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->databasePage->mysqlErr->text() == QStringLiteral("Non connecté"); }, 30000))
        << qPrintable(window->databasePage->mysqlErr->text());
    EXPECT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Go"));
    QTest::qWait(300);
    EXPECT_TRUE(window->databasePage->Timer1->isActive());
    EXPECT_TRUE(window->databasePage->sg->isHidden());

    ASSERT_TRUE(DbServer::runScript(QStringLiteral("start"), dir()));
    const int before = runCount(server);
    window->databasePage->sbConnected->click(); // Go
    ASSERT_TRUE(QTest::qWaitFor([&] { return runCount(server) >= before + 2; }, 30000));
    waitForConsole(*window);
    // The tick's rows and time, no error.
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^\d+ lignes? \(\d+,\d\d s\)$)")).match(window->databasePage->mysqlErr->text()).hasMatch())
        << qPrintable(window->databasePage->mysqlErr->text());
    window->databasePage->cbTempo->click();
    EXPECT_FALSE(window->databasePage->Timer1->isActive());
    EXPECT_TRUE(watcher.boxes.isEmpty()) << qPrintable(watcher.boxes.value(0).text);
}

TEST_F(DbFaults, AStatementSlowerThanThePeriodNeverPilesUpRuns)
{
    server.sql(QStringLiteral("DROP TABLE IF EXISTS runs;"
                              " CREATE TABLE runs (id INT AUTO_INCREMENT PRIMARY KEY, started DATETIME(6), finished DATETIME(6))"));
    // A statement that gives a row, takes a second and notes when it started and finished.
    runStatement(*window, QStringLiteral(
        "CREATE OR REPLACE FUNCTION slow_run() RETURNS INT MODIFIES SQL DATA BEGIN DECLARE t DATETIME(6) DEFAULT SYSDATE(6);"
        " DO SLEEP(1); INSERT INTO runs (started, finished) VALUES (t, SYSDATE(6)); RETURN 1; END"));
    runStatement(*window, QStringLiteral("SELECT slow_run() AS r"));
    ASSERT_FALSE(window->databasePage->sg->isHidden()) << qPrintable(window->databasePage->mysqlErr->text());
    window->databasePage->tempo->setText(QStringLiteral("100"));
    window->databasePage->cbTempo->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return runCount(server) >= 3; }, 60000));
    window->databasePage->cbTempo->click();
    EXPECT_FALSE(window->databasePage->Timer1->isActive());
    waitForConsole(*window); // the run under way ends; none follows it
    const int runs = runCount(server);
    QTest::qWait(2500); // runs queued behind the slow ones would come now
    EXPECT_EQ(runCount(server), runs);

    // One run at a time: each starts after the one before it has finished.
    const QList<QByteArray> rows = server.sql(QStringLiteral("SELECT started, finished FROM runs ORDER BY id")).split('\n');
    QDateTime previousEnd;
    int checked = 0;
    for (const QByteArray &row : rows.mid(1)) {
        const QList<QByteArray> cells = row.split('\t');
        if (cells.size() != 2)
            continue;
        // "2026-12-07 08:30:01.123456": milliseconds are enough here.
        auto at = [](const QByteArray &cell) {
            return QDateTime::fromString(QString::fromLatin1(cell.left(23)), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        };
        const QDateTime started = at(cells[0]);
        const QDateTime finished = at(cells[1]);
        ASSERT_TRUE(started.isValid() && finished.isValid()) << row.constData();
        EXPECT_GE(started.msecsTo(finished), 1000) << row.constData();
        if (previousEnd.isValid()) {
            EXPECT_GE(previousEnd.msecsTo(started), 0) << "a run started before the previous one finished";
        }
        previousEnd = finished;
        ++checked;
    }
    EXPECT_EQ(checked, runs);
    EXPECT_TRUE(watcher.boxes.isEmpty());
}

} // namespace

ONDREL_QT_TEST_MAIN
