// The database page on its own, with no main window around it, against the
// test MariaDB server: the connection, statements, several result sets, the
// query history, "Base intégrée" and the import and export of a whole database.
#include "support/qtmain.h"

#include "pages/databasepage.h"
#include "db/builtindatabase.h"
#include "db/dbconsole.h"
#include "db/simplecombo.h"
#include "db/sqldump.h"
#include "db/stringgrid.h"
#include "support/dbserver.h"
#include "support/testsupport.h"
#include "widgets/widgets.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QTabBar>
#include <QTest>

namespace {

class DatabasePageAlone : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server = &DbServer::fixture();
        page.resize(760, 420);
        page.show();
    }
    void TearDown() override
    {
        ModalWatcher watcher;
        closeConnection(page);
    }

    QString status() const { return page.mysqlErr->text(); }
    /** The status without the time it ends with: "3 lignes (0,02 s)" gives "3 lignes". */
    QString statusBeforeTime() const
    {
        static const QRegularExpression time(QStringLiteral(R"( \(\d+,\d\d s\)$)"));
        const QRegularExpressionMatch match = time.match(status());
        return match.hasMatch() ? status().left(match.capturedStart()) : QStringLiteral("<no time: %1>").arg(status());
    }
    QStringList row(int r) const
    {
        QStringList cells;
        for (int k = 0; k < page.sg->colCount(); ++k)
            cells.append(page.sg->cell(k, r));
        return cells;
    }
    void clickTab(int index)
    {
        QTest::mouseClick(page.tbResultats, Qt::LeftButton, {}, page.tbResultats->tabRect(index).center());
    }

    const DbServer *server = nullptr;
    TempFolder folder;
    // Ondrel's own server, never started here: the page is only told of it.
    BuiltinDatabase database{BuiltinDatabasePaths::under(folder.path(QStringLiteral("data")),
                                                         folder.path(QStringLiteral("run")))};
    DatabasePage page{&database};
};

TEST_F(DatabasePageAlone, ConnectsRunsAStatementAndShowsItsRows)
{
    ModalWatcher watcher;
    openConnection(page, *server);
    ASSERT_TRUE(page.console()->isConnected());
    EXPECT_EQ(page.sbConnected->text(), QStringLiteral("Stop"));
    EXPECT_TRUE(page.sbConnected->isEnabled());

    runStatement(page, QStringLiteral("SELECT 'un' AS n UNION ALL SELECT 'deux'"));
    EXPECT_FALSE(page.sg->isHidden());
    EXPECT_TRUE(page.tbResultats->isHidden());
    EXPECT_EQ(row(0), QStringList{"n"});
    EXPECT_EQ(row(1), QStringList{"un"});
    EXPECT_EQ(row(2), QStringList{"deux"});
    EXPECT_EQ(statusBeforeTime(), QStringLiteral("2 lignes"));
    EXPECT_FALSE(page.sbAnnuler->isVisible()); // offered only while the statement ran

    page.sbConnected->click();
    EXPECT_FALSE(page.console()->isConnected());
    EXPECT_EQ(page.sbConnected->text(), QStringLiteral("Go"));
    EXPECT_TRUE(watcher.boxes.isEmpty());
}

TEST_F(DatabasePageAlone, SeveralResultSetsGetATabEachAndEachTabShowsItsOwnRowsAgain)
{
    struct Case
    {
        const char *statement;
        QStringList tabs;
        QStringList firstRows;  // header and first row of the first set
        QStringList secondRows; // header and first row of the second set
    };
    const Case cases[] = {
        {"SELECT 1 AS a UNION ALL SELECT 2; SELECT 'x' AS b",
         {"Résultat 1 : 2 lignes", "Résultat 2 : 1 ligne"}, {"a", "1"}, {"b", "x"}},
        {"SELECT 'p' AS c, 'q' AS d; DO 0; SELECT 7 AS e",
         {"Résultat 1 : 1 ligne", "Résultat 2 : 1 ligne"}, {"c", "d", "p", "q"}, {"e", "7"}},
    };
    ModalWatcher watcher;
    openConnection(page, *server);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.statement);
        runStatement(page, QString::fromUtf8(c.statement));
        ASSERT_FALSE(page.tbResultats->isHidden()) << qPrintable(status());
        ASSERT_EQ(page.tbResultats->count(), c.tabs.size());
        for (int k = 0; k < c.tabs.size(); ++k)
            EXPECT_EQ(page.tbResultats->tabText(k), c.tabs[k]);
        EXPECT_EQ(statusBeforeTime(), QStringLiteral("2 résultats"));
        EXPECT_EQ(row(0) + row(1), c.firstRows);
        // Each tab shows its set however often it is chosen: the grid takes a copy.
        for (int round = 0; round < 2; ++round) {
            clickTab(1);
            EXPECT_EQ(row(0) + row(1), c.secondRows);
            clickTab(0);
            EXPECT_EQ(row(0) + row(1), c.firstRows);
        }
    }
    // A statement with one result set: no tab of the last one stays.
    runStatement(page, QStringLiteral("SELECT 5 AS f"));
    EXPECT_TRUE(page.tbResultats->isHidden());
    EXPECT_EQ(page.tbResultats->count(), 0);
    EXPECT_EQ(row(0) + row(1), (QStringList{"f", "5"}));
    EXPECT_TRUE(watcher.boxes.isEmpty());
}

TEST_F(DatabasePageAlone, HistoryKeepsEachStatementOnceAndARestoredLineRunsAgain)
{
    struct Case
    {
        QStringList before;
        const char *entered;
        QStringList after;
    };
    const Case cases[] = {
        {{}, "SELECT 1", {"SELECT 1"}},
        {{"SELECT 1"}, "SELECT 2", {"SELECT 1", "SELECT 2"}},
        {{"SELECT 1"}, "select 1", {"SELECT 1"}}, // the same statement in other letters
        {{"SHOW TABLES", "SELECT 1"}, "SHOW TABLES", {"SHOW TABLES", "SELECT 1"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entered);
        page.setHistory(c.before);
        ASSERT_EQ(page.history(), c.before);
        runStatement(page, QString::fromUtf8(c.entered)); // not connected: it is kept all the same
        EXPECT_EQ(status(), QStringLiteral("Non connecté"));
        EXPECT_EQ(page.history(), c.after);
    }

    // The history read back from a file: a line chosen in it is run by Enter.
    ModalWatcher watcher;
    openConnection(page, *server);
    page.setHistory({QStringLiteral("SELECT 'a' AS premier"), QStringLiteral("SELECT 'b' AS second")});
    QListWidget *list = page.cb->list();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    EXPECT_EQ(page.cb->text(), QStringLiteral("SELECT 'b' AS second"));
    QTest::keyClick(page.cb->editLine(), Qt::Key_Return);
    waitForConsole(page);
    EXPECT_EQ(row(0) + row(1), (QStringList{"second", "b"}));
    EXPECT_EQ(page.history().size(), 2);
    EXPECT_TRUE(watcher.boxes.isEmpty());
}

TEST_F(DatabasePageAlone, OnlyLocalhostWithTheBoxTickedReachesTheBuiltInDatabase)
{
    struct Case
    {
        bool ticked;
        const char *host;
        bool uses;
    };
    const Case cases[] = {
        {true, "localhost", true},
        {true, "127.0.0.1", false},
        {true, "localhost:3307", false},
        {true, "/run/mysqld/mysqld.sock", false},
        {false, "localhost", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.host);
        page.cbBaseIntegree->setChecked(c.ticked);
        page.host->setText(QString::fromUtf8(c.host));
        EXPECT_EQ(page.usesBuiltinDatabase(), c.uses);
    }
}

TEST_F(DatabasePageAlone, AnImportOrAnExportThatCannotStartSaysWhyAndLeavesItsButton)
{
    struct Case
    {
        const char *host;
        bool builtIn;
        const char *why; // the start of the error
    };
    const Case cases[] = {
        {"localhost", true, "La base intégrée n'est pas démarrée : cliquez d'abord sur « Go »."},
        {"127.0.0.1:99999", false, ""}, // a port out of range: the address's own message
    };
    const QString dump = folder.write(QStringLiteral("dump.sql"), "SELECT 1;\n");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.host);
        page.cbBaseIntegree->setChecked(c.builtIn);
        page.host->setText(QString::fromUtf8(c.host));
        for (const bool importing : {true, false}) {
            QString error;
            try {
                if (importing)
                    page.importSqlFile(dump);
                else
                    page.exportDatabase(folder.path(QStringLiteral("out.sql")));
            } catch (const OndrelError &e) {
                error = e.message();
            }
            EXPECT_FALSE(error.isEmpty()) << (importing ? "import" : "export");
            EXPECT_TRUE(error.startsWith(QString::fromUtf8(c.why))) << qPrintable(error);
            EXPECT_TRUE(page.sbImporter->isEnabled());
            EXPECT_TRUE(page.sbExporterBase->isEnabled());
            EXPECT_FALSE(page.sbAnnulerImport->isVisible());
            EXPECT_FALSE(page.sqlImport()->isRunning());
            EXPECT_FALSE(page.sqlExport()->isRunning());
        }
    }
}

TEST_F(DatabasePageAlone, ImportThenExportThroughTheFieldsAddress)
{
    server->sql(QStringLiteral("DROP TABLE IF EXISTS p_dump"));
    ModalWatcher watcher;
    page.cbBaseIntegree->setChecked(false);
    page.host->setText(QStringLiteral("127.0.0.1:%1").arg(server->port));
    page.user->setText(QStringLiteral("root"));
    page.pass->setText(server->password);
    page.base->setText(QStringLiteral("ondrel_test"));

    const QString dump = folder.write(QStringLiteral("dump.sql"),
                                      "CREATE TABLE p_dump (n INT);\nINSERT INTO p_dump VALUES (3),(4);\n");
    page.importSqlFile(dump);
    EXPECT_FALSE(page.sbImporter->isEnabled());
    EXPECT_TRUE(page.sbAnnulerImport->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page.sqlImport()->isRunning() && page.sbImporter->isEnabled(); }, 60000));
    EXPECT_EQ(status(), QStringLiteral("Import terminé."));
    EXPECT_FALSE(page.sbAnnulerImport->isVisible());

    const QString exported = folder.path(QStringLiteral("base.sql"));
    page.exportDatabase(exported);
    EXPECT_FALSE(page.sbExporterBase->isEnabled());
    EXPECT_EQ(status(), QStringLiteral("Export de la base ondrel_test…"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page.sqlExport()->isRunning() && page.sbExporterBase->isEnabled(); }, 60000));
    const QByteArray bytes = folder.read(QStringLiteral("base.sql"));
    EXPECT_TRUE(QByteArray(bytes).replace('\n', "").contains("INSERT INTO `p_dump` VALUES(3),(4);")) << bytes.left(600).constData();
    EXPECT_TRUE(watcher.boxes.isEmpty()) << qPrintable(watcher.boxes.value(0).text);
}

TEST_F(DatabasePageAlone, CsvExportWithoutRowsOnScreenSaysThereIsNothing)
{
    runStatement(page, QStringLiteral("SELECT 1")); // not connected: no rows, the grid hidden
    ASSERT_TRUE(page.sg->isHidden());
    EXPECT_FALSE(page.sbExport->isEnabled());
    page.sbExportClick();
    EXPECT_EQ(status(), QStringLiteral("Rien à exporter : la dernière requête n'a pas renvoyé de lignes."));
}

} // namespace

ONDREL_QT_TEST_MAIN
