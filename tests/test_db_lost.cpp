// A server that dies under an open connection: the console reports it, shows "Go" again and reconnects later.
// This program runs its own server, since it kills it.
#include "support/qtmain.h"

#include "app/main.h"
#include "pages/databasepage.h"
#include "widgets/widgets.h"
#include "db/dbconsole.h"
#include "db/stringgrid.h"
#include "support/dbserver.h"
#include "support/testsupport.h"

#include <QFile>
#include <QLabel>
#include <QTest>

#include <csignal>

namespace {

bool processGone(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return true;
    return status.readAll().contains("State:\tZ"); // killed, not yet reaped
}

TEST(DbLostServer, KilledServerGivesAnErrorAndGoBackThenGoReconnects)
{
    TempFolder serverFolder;
    const QString dir = serverFolder.path(QStringLiteral("server"));
    ASSERT_TRUE(DbServer::runScript(QStringLiteral("start"), dir));
    const auto cleanup = qScopeGuard([&] { DbServer::runScript(QStringLiteral("stop"), dir); });
    DbServer server;
    ASSERT_TRUE(server.read(dir));
    DbServer::useForLibrary(server); // before this program's first library call

    TempFolder folder;
    auto window = makeWindow(folder.dir.path());
    ModalWatcher watcher;
    openConnection(*window, server);
    ASSERT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Stop"));
    runStatement(*window, QStringLiteral("SELECT 1 AS one"));
    ASSERT_EQ(window->databasePage->sg->cell(0, 1), QStringLiteral("1"));

    const qint64 pid = server.pid();
    ASSERT_GT(pid, 0);
    ::kill(pid_t(pid), SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor([&] { return processGone(pid); }, 30000)) << "server " << pid << " still running";

    // The statement that meets the dead link says so and puts the console back to "Go".
    runStatement(*window, QStringLiteral("SELECT 2"));
    EXPECT_TRUE(window->databasePage->sg->isHidden());
    EXPECT_TRUE(window->databasePage->mysqlErr->text() == QStringLiteral("Lost connection to server during query")
                || window->databasePage->mysqlErr->text() == QStringLiteral("Server has gone away"))
        << qPrintable(window->databasePage->mysqlErr->text());
    EXPECT_FALSE(window->databasePage->console()->isConnected());
    EXPECT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Go"));
    runStatement(*window, QStringLiteral("SELECT 2"));
    EXPECT_EQ(window->databasePage->mysqlErr->text(), QStringLiteral("Non connecté"));

    ASSERT_TRUE(DbServer::runScript(QStringLiteral("start"), dir)); // same folder, port and password
    window->databasePage->sbConnected->click();
    waitForConsole(*window);
    EXPECT_TRUE(watcher.boxes.isEmpty()) << qPrintable(watcher.boxes.value(0).text);
    EXPECT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Stop"));
    runStatement(*window, QStringLiteral("SELECT 3 AS three"));
    EXPECT_FALSE(window->databasePage->sg->isHidden());
    EXPECT_EQ(window->databasePage->sg->cell(0, 1), QStringLiteral("3"));
    closeConnection(*window);
}

} // namespace

ONDREL_QT_TEST_MAIN
