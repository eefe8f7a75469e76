// "Base intégrée" in the window: a new user's page reaches Ondrel's own MariaDB
// with mysqli and PDO as written, the console sees the same rows, and a crash
// is told with "Redémarrer".
#include "support/qtmain.h"
#include "support/dbserver.h"
#include "support/filepage.h"
#include "support/preview.h"
#include "support/testsupport.h"

#include "app/main.h"
#include "pages/databasepage.h"
#include "widgets/widgets.h"
#include "db/builtindatabase.h"
#include "db/dbconsole.h"
#include "db/sqldump.h"
#include "db/stringgrid.h"
#include "editor/richedit.h"
#include "preview/phpserver.h"
#include "settings/profile.h"

#include <QCheckBox>
#include <QLabel>
#include <QProcess>
#include <QTest>

#include <csignal>

namespace {

constexpr char kPage[] = R"php(<?php
$m = mysqli_connect('localhost', 'root', '', 'boutique');
mysqli_query($m, 'CREATE TABLE IF NOT EXISTS fruits (nom VARCHAR(20) PRIMARY KEY)');
mysqli_query($m, "INSERT IGNORE INTO fruits VALUES ('pomme')");
echo 'mysqli:', implode(',', array_column(mysqli_fetch_all(mysqli_query($m, 'SELECT nom FROM fruits')), 0)), "\n";
$pdo = new PDO('mysql:host=localhost;dbname=boutique', 'root', '');
$pdo->exec("INSERT IGNORE INTO fruits VALUES ('poire')");
echo 'pdo:', implode(',', $pdo->query('SELECT nom FROM fruits ORDER BY nom')->fetchAll(PDO::FETCH_COLUMN)), "\n";
)php";

/** Each test has a home of its own for the data folder and the socket: a new user. */
class BuiltinDatabaseWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path(QStringLiteral("data"))));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path(QStringLiteral("run"))));
        QDir().mkpath(home.path(QStringLiteral("run")));
        QFile::setPermissions(home.path(QStringLiteral("run")), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void pressF9()
    {
        window->showPage(window->tsEdit);
        window->M->setFocus();
        QTest::keyClick(window->M, Qt::Key_F9);
    }

    TempFolder home, sideFiles, site;
    std::unique_ptr<TfmMain> window;
    ModalWatcher boxes;
};

} // namespace

TEST_F(BuiltinDatabaseWindow, TheBoxIsTickedForANewUserAndForTheDefaultHostOnly)
{
    const struct
    {
        const char *ini;
        bool ticked;
    } cases[] = {
        {"", true},
        {"[Mysql]\r\nHost=localhost\r\n", true},
        {"[Mysql]\r\nHost=127.0.0.1\r\n", false},
        {"[Mysql]\r\nHost=db.exemple.test\r\nBaseIntegree=1\r\n", true}, // the user's own choice stands
        {"[Mysql]\r\nBaseIntegree=0\r\n", false},
        // Saved unticked while no server was installed: offered again now that one is.
        {"[Mysql]\r\nBaseIntegree=\r\n", true},
        {"[Mysql]\r\nHost=127.0.0.1\r\nBaseIntegree=\r\n", false},
    };
    for (const auto &c : cases) {
        writeFile(sideFiles.path(QStringLiteral("ondrel.ini")), c.ini);
        window = makeWindow(sideFiles.path({}), false);
        EXPECT_EQ(window->databasePage->cbBaseIntegree->isChecked(), c.ticked) << c.ini;
        window.reset();
    }
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(BuiltinDatabaseWindow, ANewUsersPageAndConsoleShareTheDatabase)
{
    const QString folder = site.path(QStringLiteral("boutique"));
    writeFile(folder + QStringLiteral("/page.php"), kPage);
    window = makeWindow(sideFiles.path({}));
    ASSERT_TRUE(window->databasePage->cbBaseIntegree->isChecked());
    chooseFile(*window, folder, QStringLiteral("page.php"));

    // The page mentions MySQL: debugging it (Ctrl+F9, no breakpoint) makes the data
    // folder, and asks for the page once the server answers; then F9 shows it too.
    window->showPage(window->tsEdit);
    QTest::keyClick(window->M, Qt::Key_F9, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownText(*window).contains(QStringLiteral("pdo:")); }, 120000))
        << window->eText->text().toStdString();
    EXPECT_TRUE(shownText(*window).contains(QStringLiteral("mysqli:pomme"))) << shownText(*window).toStdString();
    pressF9();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->param->text().endsWith(QStringLiteral("/page.php?test=1")); }, 120000));
    const QString shown = shownText(*window);
    EXPECT_TRUE(shown.contains(QStringLiteral("mysqli:poire,pomme"))) << shown.toStdString(); // the debugged run's rows
    EXPECT_TRUE(shown.contains(QStringLiteral("pdo:poire,pomme"))) << shown.toStdString();
    EXPECT_EQ(window->databasePage->base->text(), QStringLiteral("boutique")); // the first database, named after the site

    window->showPage(window->databasePage);
    window->databasePage->sbConnected->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->databasePage->console()->isConnected(); }, 60000)) << window->databasePage->mysqlErr->text().toStdString();
    runStatement(*window, QStringLiteral("SELECT nom FROM fruits ORDER BY nom"));
    EXPECT_EQ(window->databasePage->sg->cell(0, 1), QStringLiteral("poire"));
    EXPECT_EQ(window->databasePage->sg->cell(0, 2), QStringLiteral("pomme"));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(BuiltinDatabaseWindow, ACrashIsToldAndRedemarrerConnectsAgain)
{
    window = makeWindow(sideFiles.path({}));
    window->showPage(window->databasePage);
    window->databasePage->sbConnected->click(); // the first connection starts the server
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->databasePage->console()->isConnected(); }, 120000)) << window->databasePage->mysqlErr->text().toStdString();
    EXPECT_EQ(window->databasePage->base->text(), QStringLiteral("site")); // no site folder yet

    const qint64 pid = window->builtinDatabase()->processId();
    ASSERT_GT(pid, 0);
    ::kill(pid_t(pid), SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->databasePage->sbRedemarrer->isVisible(); }, 30000));
    EXPECT_TRUE(window->databasePage->mysqlErr->text().contains(QStringLiteral("s'est arrêtée"))) << window->databasePage->mysqlErr->text().toStdString();
    EXPECT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Go"));

    window->databasePage->sbRedemarrer->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->databasePage->console()->isConnected(); }, 60000)) << window->databasePage->mysqlErr->text().toStdString();
    EXPECT_FALSE(window->databasePage->sbRedemarrer->isVisible());
    runStatement(*window, QStringLiteral("SELECT DATABASE()"));
    EXPECT_EQ(window->databasePage->sg->cell(0, 1), QStringLiteral("site"));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(BuiltinDatabaseWindow, AnImportStopsAtItsFirstErrorWithItsLineAndAnExportWritesTheBase)
{
    window = makeWindow(sideFiles.path({}));
    window->databasePage->sbConnected->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->databasePage->console()->isConnected(); }, 120000)) << window->databasePage->mysqlErr->text().toStdString();
    auto imported = [&](const QString &path) {
        window->databasePage->importSqlFile(path);
        return QTest::qWaitFor([&] { return !window->databasePage->sqlImport()->isRunning() && window->databasePage->sbImporter->isEnabled(); }, 60000);
    };

    const QString dump = site.path(QStringLiteral("dump.sql"));
    writeFile(dump, "CREATE TABLE t (n INT);\nINSERT INTO t VALUES (1);\nINSERT INTO t VALUE (2) oops;\nINSERT INTO t VALUES (3);\n");
    ASSERT_TRUE(imported(dump));
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_TRUE(boxes.boxes[0].text.startsWith(QStringLiteral("Import arrêté à la ligne 3 du fichier : You have an error in your SQL syntax")))
        << boxes.boxes[0].text.toStdString();
    runStatement(*window, QStringLiteral("SELECT COUNT(*) FROM t"));
    EXPECT_EQ(window->databasePage->sg->cell(0, 1), QStringLiteral("1")); // what came before the error stays; nothing after it ran

    // "Annuler" during a statement that would last: the client ends at once, what came before stays.
    const QString slow = site.path(QStringLiteral("lent.sql"));
    writeFile(slow, "INSERT INTO t VALUES (5);\nSELECT SLEEP(60);\nINSERT INTO t VALUES (6);\n");
    window->showPage(window->databasePage);
    window->databasePage->importSqlFile(slow);
    ASSERT_TRUE(window->databasePage->sbAnnulerImport->isVisible());
    QTest::qWait(300);
    window->databasePage->sbAnnulerImport->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->databasePage->sqlImport()->isRunning() && window->databasePage->sbImporter->isEnabled(); }, 20000));
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(boxes.boxes[1].text, QStringLiteral("Import annulé : ce qui précède la ligne en cours est dans la base."));
    runStatement(*window, QStringLiteral("SELECT GROUP_CONCAT(n ORDER BY n) FROM t"));
    EXPECT_EQ(window->databasePage->sg->cell(0, 1), QStringLiteral("1,5"));
    runStatement(*window, QStringLiteral("DELETE FROM t WHERE n = 5"));

    const QString gz = site.path(QStringLiteral("suite.sql.gz"));
    writeFile(site.path(QStringLiteral("suite.sql")), "INSERT INTO t VALUES (4);\n");
    ASSERT_EQ(QProcess::execute(QStringLiteral("gzip"), {site.path(QStringLiteral("suite.sql"))}), 0);
    ASSERT_TRUE(imported(gz));
    EXPECT_EQ(window->databasePage->mysqlErr->text(), QStringLiteral("Import terminé."));
    EXPECT_EQ(boxes.boxes.size(), 2);

    const QString exported = site.path(QStringLiteral("site.sql"));
    writeFile(exported, "ancien");
    window->databasePage->exportDatabase(exported);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->databasePage->sqlExport()->isRunning() && window->databasePage->sbExporterBase->isEnabled(); }, 60000));
    const QByteArray bytes = readFile(exported);
    EXPECT_TRUE(bytes.contains("CREATE TABLE `t`")) << bytes.left(400).constData();
    EXPECT_TRUE(QByteArray(bytes).replace('\n', "").contains("INSERT INTO `t` VALUES(1),(4);")) << bytes.constData();
    EXPECT_EQ(boxes.boxes.size(), 2);
}

ONDREL_QT_TEST_MAIN
