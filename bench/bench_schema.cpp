// The schema tree and the completion of the statement line on a database of 500
// tables of 20 columns: from the connect to the tables listed, one table's
// columns on unfolding it, and one more letter typed with 10,000 names known.
// Runs its own throwaway MariaDB server (tests/servers/mariadb.sh).
#include "benchmain.h"

#include "db/dbconsole.h"
#include "db/schematree.h"
#include "db/sqlline.h"
#include "db/statementcompletion.h"
#include "support/dbserver.h"

#include <QCompleter>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <cstdio>
#include <memory>

namespace {

constexpr int kTables = 500;
constexpr int kColumns = 20;
const QString kBase = QStringLiteral("bench_schema");

DbServer server;
std::unique_ptr<QTemporaryDir> serverFolder;

struct Page
{
    DbConsole console;
    QLineEdit line;
    SchemaTree tree{&console, &line};
};

ConnectRequest request()
{
    ConnectRequest r;
    r.host = "127.0.0.1";
    r.port = unsigned(server.port);
    r.user = "root";
    r.password = server.password.toUtf8();
    r.database = kBase.toUtf8();
    return r;
}

QTreeWidgetItem *databaseItem(QTreeWidget *tree)
{
    for (int d = 0; d < tree->topLevelItemCount(); ++d)
        if (tree->topLevelItem(d)->text(0) == kBase)
            return tree->topLevelItem(d);
    return nullptr;
}

bool tablesListed(QTreeWidget *tree)
{
    QTreeWidgetItem *database = databaseItem(tree);
    return database && database->childCount() == kTables;
}

/** Runs the event loop until `done`, without sleeping between checks. */
template <typename Done>
bool spinUntil(Done done, int timeoutMs = 60000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return true;
}

void openPage(Page &page)
{
    page.console.open(request());
    spinUntil([&] { return !page.console.isConnecting() && tablesListed(page.tree.tree()); });
}

void closePage(Page &page)
{
    page.console.close();
    spinUntil([&] { return page.tree.tree()->topLevelItemCount() == 0; });
}

// From "Go" to the 500 tables of the current database in the tree (a new connection each time).
void BM_SchemaTree_ConnectToTablesListed(benchmark::State &state)
{
    Page page;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        page.console.open(request());
        if (!spinUntil([&] { return tablesListed(page.tree.tree()); })) {
            state.SkipWithError("the tables never came");
            return;
        }
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        state.PauseTiming();
        closePage(page);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SchemaTree_ConnectToTablesListed)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// Unfolding one table (a different one each time, never read before) to its columns shown.
void BM_SchemaTree_ColumnsOfOneTable(benchmark::State &state)
{
    Page page;
    openPage(page);
    if (!tablesListed(page.tree.tree())) {
        state.SkipWithError("the tables never came");
        return;
    }
    QTreeWidgetItem *database = databaseItem(page.tree.tree());
    int next = 0;
    for (auto _ : state) {
        QTreeWidgetItem *table = database->child(next++ % kTables);
        QElapsedTimer clock;
        clock.start();
        table->setExpanded(true);
        if (!spinUntil([&] { return table->childCount() >= kColumns; })) {
            state.SkipWithError("the columns never came");
            return;
        }
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
    closePage(page);
}
BENCHMARK(BM_SchemaTree_ColumnsOfOneTable)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(50);

// One more letter typed in the statement line with 10,000 column names (and the 500 tables) known.
// `first`: the first letter after the tree changed, when the sorted list of names is made again.
void completionLetter(benchmark::State &state, bool first)
{
    Page page;
    openPage(page);
    if (!tablesListed(page.tree.tree())) {
        state.SkipWithError("the tables never came");
        return;
    }
    QTreeWidgetItem *database = databaseItem(page.tree.tree());
    for (int t = 0; t < kTables; ++t)
        database->child(t)->setExpanded(true);
    spinUntil([&] { return !page.tree.isLoading(); });
    if (page.tree.names().size() < kTables * kColumns / 10) {
        state.SkipWithError("the names were not read");
        return;
    }
    auto *completion = page.tree.findChild<StatementCompletion *>();
    if (!completion)
        completion = new StatementCompletion(&page.line, &page.tree);
    page.line.show();
    for (auto _ : state) {
        state.PauseTiming();
        page.line.setText(QStringLiteral("SELECT t123_c"));
        page.line.setCursorPosition(page.line.text().size());
        if (first)
            Q_EMIT page.tree.loaded(); // as after a read
        state.ResumeTiming();
        QTest::keyClick(&page.line, Qt::Key_1);
        state.PauseTiming();
        if (!completion->completer()->popup()->isVisible())
            state.SkipWithError("nothing was offered");
        completion->completer()->popup()->hide();
        state.ResumeTiming();
    }
    closePage(page);
}
void BM_Completion_FirstLetterAfterARead(benchmark::State &state) { completionLetter(state, true); }
void BM_Completion_OneMoreLetter(benchmark::State &state) { completionLetter(state, false); }
BENCHMARK(BM_Completion_FirstLetterAfterARead)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_Completion_OneMoreLetter)->Unit(benchmark::kMillisecond)->Iterations(200);

void startServer()
{
    const QString scripts = QFileInfo(QStringLiteral(__FILE__)).absolutePath() + QStringLiteral("/../tests/servers");
    qputenv("ONDREL_TEST_SCRIPTS", QFile::encodeName(scripts));
    serverFolder = std::make_unique<QTemporaryDir>();
    if (!DbServer::runScript(QStringLiteral("start"), serverFolder->path()) || !server.read(serverFolder->path())) {
        std::fprintf(stderr, "bench_schema: the MariaDB server did not start\n");
        std::exit(1);
    }
    DbServer::useForLibrary(server);
    server.sql(QStringLiteral("DROP DATABASE IF EXISTS bench_schema; CREATE DATABASE bench_schema;"));
    // Aria tables: made in a few milliseconds each, where InnoDB takes far longer on a busy machine.
    for (int first = 0; first < kTables; first += 50) {
        QString sql = QStringLiteral("USE bench_schema;");
        for (int t = first; t < first + 50; ++t) {
            sql += QStringLiteral("CREATE TABLE t%1 (").arg(t);
            for (int c = 0; c < kColumns; ++c)
                sql += QStringLiteral("%1t%2_c%3 %4")
                           .arg(c ? QStringLiteral(", ") : QString())
                           .arg(t)
                           .arg(c)
                           .arg(c == 0 ? QStringLiteral("INT PRIMARY KEY") : QStringLiteral("VARCHAR(40) NULL"));
            sql += QStringLiteral(") ENGINE=Aria;");
        }
        server.sql(sql);
    }
}

// A 100 KB statement put in the statement line (pasted, or chosen from the
// history), a different one each time: the line as it is, and coloured.
void BM_StatementLine_SetText100KB(benchmark::State &state)
{
    const bool coloured = state.range(0) == 1;
    QLineEdit line;
    if (coloured)
        colourSqlAsTyped(&line);
    line.show();
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QString text;
        while (text.size() < 100 * 1024)
            text += QStringLiteral("SELECT `t%1`.nom, 'pomme %1', 42.5 FROM t%1 WHERE a = %1 -- n%1\n").arg(n++);
        state.ResumeTiming();
        if (state.range(0) == 2)
            benchmark::DoNotOptimize(sqlFormats(text));
        else
            line.setText(text);
    }
}
BENCHMARK(BM_StatementLine_SetText100KB)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char **argv)
{
    const int result = runQtBenchmarks(argc, argv, [] { startServer(); });
    DbServer::runScript(QStringLiteral("stop"), serverFolder->path());
    return result;
}
