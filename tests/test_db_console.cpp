// The query console against a real MariaDB server: statements, result grid, history keys.
#include "support/qtmain.h"

#include "app/main.h"
#include "pages/databasepage.h"
#include "widgets/widgets.h"
#include "db/dbconsole.h"
#include "db/simplecombo.h"
#include "db/stringgrid.h"
#include "support/dbserver.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QTabBar>
#include <QTest>
#include <QTimer>

namespace {

class QueryConsole : public DbWindowTest
{
protected:
    void connect()
    {
        ModalWatcher watcher;
        openConnection(*window, *server);
        ASSERT_TRUE(watcher.boxes.isEmpty());
    }
    void run(const QString &statement) { runStatement(*window, statement); }
    StringGrid *grid() const { return window->databasePage->sg; }
    QString status() const { return window->databasePage->mysqlErr->text(); }
    /** The status without the time it must end with: "3 lignes (0,02 s)" gives "3 lignes". */
    QString statusBeforeTime() const
    {
        static const QRegularExpression time(QStringLiteral(R"( \(\d+,\d\d s\)$)"));
        const QRegularExpressionMatch match = time.match(status());
        return match.hasMatch() ? status().left(match.capturedStart()) : QStringLiteral("<no time: %1>").arg(status());
    }
    QStringList row(int r) const
    {
        QStringList cells;
        for (int k = 0; k < grid()->colCount(); ++k)
            cells.append(grid()->cell(k, r));
        return cells;
    }
    void clickHistoryLine(int index)
    {
        QListWidget *list = window->databasePage->cb->list();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(index)).center());
    }
};

TEST_F(QueryConsole, StatementWithoutAConnectionSaysNonConnecte)
{
    run(QStringLiteral("SELECT 1"));
    EXPECT_TRUE(grid()->isHidden());
    EXPECT_EQ(status(), QStringLiteral("Non connecté"));
    EXPECT_EQ(window->databasePage->cb->items(), QStringList{QStringLiteral("SELECT 1")});

    connect();
    run(QStringLiteral("SELECT 1"));
    ASSERT_FALSE(grid()->isHidden());
    closeConnection(*window);
    run(QStringLiteral("SELECT 2"));
    EXPECT_TRUE(grid()->isHidden());
    EXPECT_EQ(status(), QStringLiteral("Non connecté"));
}

TEST_F(QueryConsole, DesignStateBeforeTheFirstStatement)
{
    EXPECT_EQ(status(), QStringLiteral("Ok"));
    EXPECT_FALSE(grid()->isHidden());
    EXPECT_EQ(grid()->rowCount(), 5);
    EXPECT_EQ(grid()->colCount(), 3);
    EXPECT_EQ(grid()->fixedRows(), 1);
    EXPECT_EQ(grid()->columnWidth(0), 122);
    EXPECT_EQ(grid()->columnWidth(1), 119);
    EXPECT_EQ(grid()->columnWidth(2), 106);
    EXPECT_EQ(grid()->rowHeight(0), 16);
    EXPECT_FALSE(window->databasePage->Timer1->isActive());
}

TEST_F(QueryConsole, QueryWithRowsShowsFixedHeaderAndRowsInServerOrder)
{
    server->sql(QStringLiteral("DROP TABLE IF EXISTS c_rows;"
                               "CREATE TABLE c_rows (id INT, name VARCHAR(20), note TEXT);"
                               "INSERT INTO c_rows VALUES (1,'un','a'),(2,'deux','b'),(3,'trois','c');"));
    connect();
    run(QStringLiteral("SELECT id, name, note FROM c_rows ORDER BY id DESC"));

    EXPECT_FALSE(grid()->isHidden());
    EXPECT_EQ(grid()->rowCount(), 4);
    EXPECT_EQ(grid()->fixedRows(), 1);
    EXPECT_EQ(row(0), (QStringList{"id", "name", "note"}));
    EXPECT_EQ(row(1), (QStringList{"3", "trois", "c"}));
    EXPECT_EQ(row(3), (QStringList{"1", "un", "a"}));
    EXPECT_TRUE(grid()->horizontalHeader()->isVisibleTo(grid()));
    EXPECT_EQ(grid()->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("name"));
    EXPECT_EQ(grid()->model()->rowCount(), 3); // the header row is not a body row
    EXPECT_EQ(statusBeforeTime(), QStringLiteral("3 lignes"));
}

TEST_F(QueryConsole, QueryWithoutRowsShowsOneUnfixedRowOfNames)
{
    connect();
    run(QStringLiteral("SELECT 1 AS a, 2 AS b WHERE 1 = 0"));
    EXPECT_FALSE(grid()->isHidden());
    EXPECT_EQ(grid()->rowCount(), 1);
    EXPECT_EQ(grid()->colCount(), 2);
    EXPECT_EQ(grid()->fixedRows(), 0);
    EXPECT_EQ(row(0), (QStringList{"a", "b"}));
    EXPECT_FALSE(grid()->horizontalHeader()->isVisibleTo(grid()));
    EXPECT_EQ(grid()->model()->data(grid()->model()->index(0, 1)).toString(), QStringLiteral("b"));
    EXPECT_EQ(statusBeforeTime(), QStringLiteral("0 ligne"));

    // The next result with rows fixes its header row again.
    run(QStringLiteral("SELECT 1 AS a"));
    EXPECT_EQ(grid()->fixedRows(), 1);
}

TEST_F(QueryConsole, ValuesAreShownAsTheyAre)
{
    server->sql(QStringLiteral("DROP TABLE IF EXISTS c_bin; CREATE TABLE c_bin (b BLOB, vb VARBINARY(8), t TEXT);"
                               "INSERT INTO c_bin VALUES (REPEAT(X'AB', 100), X'0001', 'x');"));
    connect();
    run(QStringLiteral("SELECT NULL AS n, '' AS e, 'ab\\0cd' AS z, 'café' AS u, x'00FF41' AS h, 'NULL' AS s"));
    EXPECT_EQ(row(0), (QStringList{"n", "e", "z", "u", "h", "s"}));
    EXPECT_EQ(row(1), (QStringList{"NULL", "", QString::fromUtf8("ab\0cd", 5), QString::fromUtf8("café"), "0x00FF41", "NULL"}));
    EXPECT_TRUE(grid()->cells()->isNull(0, 1));
    EXPECT_FALSE(grid()->cells()->isNull(1, 1));
    EXPECT_FALSE(grid()->cells()->isNull(5, 1)); // the text 'NULL' is not a NULL
    const QAbstractItemModel *model = grid()->model();
    EXPECT_EQ(model->data(model->index(0, 2)).toString(), QString::fromUtf8("ab\u2400cd"));
    EXPECT_TRUE(model->data(model->index(0, 0), Qt::ForegroundRole).isValid()); // dimmed
    EXPECT_FALSE(model->data(model->index(0, 5), Qt::ForegroundRole).isValid());

    run(QStringLiteral("SELECT b, vb, t FROM c_bin"));
    const QString whole = QStringLiteral("0x") + QStringLiteral("AB").repeated(100);
    EXPECT_EQ(grid()->cell(0, 1), whole);
    EXPECT_EQ(grid()->cell(1, 1), QStringLiteral("0x0001"));
    EXPECT_EQ(grid()->cell(2, 1), QStringLiteral("x"));
    const QString shown = model->data(model->index(0, 0)).toString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("…")) && shown.size() < whole.size()) << qPrintable(shown);
    EXPECT_EQ(model->data(model->index(0, 0), Qt::ToolTipRole).toString(), whole);

    grid()->selectAll();
    QTest::keyClick(grid(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), whole + QStringLiteral("\t0x0001\tx"));
}

TEST_F(QueryConsole, StatementsWithoutResultSayHowManyRowsAndTheIdMade)
{
    server->sql(QStringLiteral("DROP TABLE IF EXISTS c_ai; CREATE TABLE c_ai (id INT AUTO_INCREMENT PRIMARY KEY, v INT);"));
    connect();
    run(QStringLiteral("INSERT INTO c_ai (v) VALUES (1), (2)"));
    EXPECT_EQ(statusBeforeTime(), QStringLiteral("2 ligne(s) affectée(s), dernier id inséré : 1"));
    run(QStringLiteral("UPDATE c_ai SET v = 5 WHERE id = 2"));
    EXPECT_EQ(statusBeforeTime(), QStringLiteral("1 ligne(s) affectée(s)"));
    run(QStringLiteral("CREATE TABLE IF NOT EXISTS c_ai2 (v INT)"));
    EXPECT_EQ(statusBeforeTime(), QStringLiteral("0 ligne(s) affectée(s)"));
}

TEST_F(QueryConsole, AMegabyteStatementRunsWholeWithItsLineBreaks)
{
    server->sql(QStringLiteral("DROP TABLE IF EXISTS c_big; CREATE TABLE c_big (v VARCHAR(100));"));
    connect();
    QStringList values;
    for (int k = 0; k < 50000; ++k)
        values.append(QStringLiteral("('valeur %1')").arg(k, 8, 10, QChar(u'0')));
    const QString statement = QStringLiteral("INSERT INTO c_big\r\nVALUES\n") + values.join(QStringLiteral(",\n"));
    ASSERT_GT(statement.size(), 1000000);
    window->databasePage->cb->editLine()->setText(statement);
    ASSERT_EQ(window->databasePage->cb->text().size(), statement.size()); // nothing cut on the way in
    QTest::keyClick(window->databasePage->cb->editLine(), Qt::Key_Return);
    waitForConsole(*window);
    EXPECT_EQ(statusBeforeTime(), QStringLiteral("50000 ligne(s) affectée(s)"));
    EXPECT_EQ(window->databasePage->cb->items(), QStringList{statement});
}

TEST_F(QueryConsole, ASlowStatementLeavesTheWindowUsableAndCanBeCancelled)
{
    server->sql(QStringLiteral("DROP TABLE IF EXISTS c_refused;"));
    connect();
    window->databasePage->cb->editLine()->setText(QStringLiteral("SELECT SLEEP(30) AS s"));
    QTest::keyClick(window->databasePage->cb->editLine(), Qt::Key_Return);
    ASSERT_TRUE(window->databasePage->console()->isRunning());
    EXPECT_TRUE(window->databasePage->cb->isBusy());
    EXPECT_FALSE(window->databasePage->sbAnnuler->isHidden());

    // The event loop runs meanwhile: the status counts the time; a second Enter is
    // refused where the user sees it, and joins the history all the same.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return status().startsWith(QStringLiteral("Exécution… ")) && !status().startsWith(QStringLiteral("Exécution… 0,0"));
    }, 5000)) << qPrintable(status());
    window->databasePage->cb->editLine()->setText(QStringLiteral("CREATE TABLE c_refused (v INT)"));
    QTest::keyClick(window->databasePage->cb->editLine(), Qt::Key_Return);
    EXPECT_EQ(window->databasePage->cb->items(), (QStringList{"SELECT SLEEP(30) AS s", "CREATE TABLE c_refused (v INT)"}));
    EXPECT_TRUE(status().startsWith(QStringLiteral("Une requête est en cours"))) << qPrintable(status());
    QTest::qWait(250); // the running time goes on counting, the refusal stays in view
    EXPECT_TRUE(status().startsWith(QStringLiteral("Une requête est en cours"))) << qPrintable(status());

    QElapsedTimer clock;
    clock.start();
    window->databasePage->sbAnnuler->click();
    waitForConsole(*window);
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_FALSE(window->databasePage->cb->isBusy());
    EXPECT_TRUE(window->databasePage->sbAnnuler->isHidden());
    EXPECT_TRUE(window->databasePage->console()->isConnected()); // only the statement was stopped
    EXPECT_TRUE(server->sql(QStringLiteral("SHOW TABLES LIKE 'c_refused'")).isEmpty()); // the refused one never ran
    run(QStringLiteral("SELECT 3 AS t"));
    EXPECT_EQ(grid()->cell(0, 1), QStringLiteral("3"));
}

TEST_F(QueryConsole, AMillionRowsStreamIntoTheGrid)
{
    connect();
    run(QStringLiteral("SELECT seq AS n, CONCAT('ligne ', seq) AS t FROM seq_1_to_1000000"));
    ASSERT_EQ(grid()->rowCount(), 1000001) << qPrintable(status());
    EXPECT_EQ(grid()->cell(1, 1000000), QStringLiteral("ligne 1000000"));
    EXPECT_EQ(statusBeforeTime(), QStringLiteral("1000000 lignes"));
}

TEST_F(QueryConsole, ExportWritesTheGridAsCsv)
{
    connect();
    run(QStringLiteral("SELECT 1 AS a, 'x,y' AS b, 'dit \"non\"' AS c, NULL AS d UNION ALL SELECT 2, 'deux\nlignes', '', 'z'"));
    EXPECT_EQ(grid()->cells()->csv(), QByteArray("a,b,c,d\r\n1,\"x,y\",\"dit \"\"non\"\"\",\r\n2,\"deux\nlignes\",,z\r\n"));
}

TEST_F(QueryConsole, StatementWithoutResultHidesGridUntilTheNextResult)
{
    server->sql(QStringLiteral("DROP TABLE IF EXISTS c_upd; CREATE TABLE c_upd (v INT); INSERT INTO c_upd VALUES (1);"));
    connect();
    window->showPage(window->databasePage);
    run(QStringLiteral("SELECT v FROM c_upd"));
    QTest::qWait(1);
    const QRect panel = window->databasePage->Panel6->geometry();
    run(QStringLiteral("UPDATE c_upd SET v = 2"));
    EXPECT_TRUE(grid()->isHidden());
    QTest::qWait(1);
    EXPECT_EQ(window->databasePage->Panel6->geometry(), panel); // the grid's place stays empty
    EXPECT_EQ(statusBeforeTime(), QStringLiteral("1 ligne(s) affectée(s)"));
    EXPECT_EQ(grid()->cell(0, 1), QStringLiteral("1")); // a hidden grid keeps its cells

    run(QStringLiteral("SELECT v FROM c_upd"));
    EXPECT_FALSE(grid()->isHidden());
    EXPECT_EQ(grid()->cell(0, 1), QStringLiteral("2"));
}

TEST_F(QueryConsole, SyntaxErrorHidesGridShowsServerMessageAndStaysInHistory)
{
    connect();
    run(QStringLiteral("SELEC 1"));
    EXPECT_TRUE(grid()->isHidden());
    EXPECT_TRUE(status().startsWith(QStringLiteral("You have an error in your SQL syntax"))) << qPrintable(status());
    EXPECT_LE(status().size(), 200);
    EXPECT_EQ(window->databasePage->cb->items(), QStringList{QStringLiteral("SELEC 1")});
}

TEST_F(QueryConsole, EnterOnACaseVariantRunsItAsTypedAndKeepsTheHistory)
{
    connect();
    run(QStringLiteral("SELECT 'Abc' AS Col"));
    run(QStringLiteral("select 'abc' as col"));
    EXPECT_EQ(window->databasePage->cb->items(), QStringList{QStringLiteral("SELECT 'Abc' AS Col")});
    EXPECT_EQ(row(0), QStringList{QStringLiteral("col")});
    EXPECT_EQ(row(1), QStringList{QStringLiteral("abc")});

    run(QStringLiteral("SELECT 2"));
    EXPECT_EQ(window->databasePage->cb->count(), 2); // a new statement is appended at the end
    EXPECT_EQ(window->databasePage->cb->item(1), QStringLiteral("SELECT 2"));
}

TEST_F(QueryConsole, EmptyStatementIsSentAndItsErrorShown)
{
    connect();
    run(QString());
    EXPECT_TRUE(grid()->isHidden());
    EXPECT_EQ(status(), QStringLiteral("Query was empty"));
    EXPECT_EQ(window->databasePage->cb->items(), QStringList{QString()});
}

TEST_F(QueryConsole, DeleteForgetsAHistoryLineOnlyFromTheList)
{
    for (const char *line : {"SELECT 'a'", "SELECT 'b'", "SELECT 'c'"})
        window->databasePage->cb->addItem(QString::fromLatin1(line));
    QLineEdit *edit = window->databasePage->cb->editLine();

    // A line recalled with Up, then Home and Delete: only the text is edited.
    QTest::keyClick(edit, Qt::Key_Up);
    EXPECT_EQ(edit->text(), QStringLiteral("SELECT 'c'"));
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(edit->text(), QStringLiteral("ELECT 'c'"));
    EXPECT_EQ(window->databasePage->cb->count(), 3);

    // In the list, Delete forgets the selected line and leaves the edit line alone.
    clickHistoryLine(1);
    EXPECT_EQ(edit->text(), QStringLiteral("SELECT 'b'"));
    QTest::keyClick(window->databasePage->cb->list(), Qt::Key_Delete);
    EXPECT_EQ(window->databasePage->cb->items(), (QStringList{"SELECT 'a'", "SELECT 'c'"}));
    EXPECT_EQ(edit->text(), QStringLiteral("SELECT 'b'"));
    EXPECT_EQ(window->databasePage->cb->selectedIndex(), -1);
    QTest::keyClick(window->databasePage->cb->list(), Qt::Key_Delete); // nothing selected any more
    EXPECT_EQ(window->databasePage->cb->count(), 2);
}

TEST_F(QueryConsole, ArrowKeysChooseHistoryLines)
{
    for (const char *line : {"SELECT 'a'", "SELECT 'b'"})
        window->databasePage->cb->addItem(QString::fromLatin1(line));
    QLineEdit *edit = window->databasePage->cb->editLine();
    QTest::keyClick(edit, Qt::Key_Down);
    EXPECT_EQ(edit->text(), QStringLiteral("SELECT 'a'"));
    QTest::keyClick(edit, Qt::Key_Down);
    EXPECT_EQ(edit->text(), QStringLiteral("SELECT 'b'"));
    EXPECT_EQ(window->databasePage->cb->selectedIndex(), 1);
}

TEST_F(QueryConsole, ShiftEnterRunsLikeEnter)
{
    connect();
    window->databasePage->cb->editLine()->setText(QStringLiteral("SELECT 7 AS s"));
    QTest::keyClick(window->databasePage->cb->editLine(), Qt::Key_Return, Qt::ShiftModifier);
    waitForConsole(*window);
    EXPECT_EQ(grid()->cell(0, 1), QStringLiteral("7"));
    EXPECT_EQ(window->databasePage->cb->count(), 1);
}

TEST_F(QueryConsole, ThousandFieldsAreAllShown)
{
    QStringList fields;
    for (int k = 0; k < 1000; ++k)
        fields.append(QStringLiteral("%1 AS f%1").arg(k));
    connect();
    run(QStringLiteral("SELECT ") + fields.join(QStringLiteral(", ")));
    ASSERT_EQ(grid()->colCount(), 1000);
    EXPECT_EQ(grid()->cell(255, 1), QStringLiteral("255"));
    EXPECT_EQ(grid()->cell(256, 1), QStringLiteral("256"));
    EXPECT_EQ(grid()->cell(999, 0), QStringLiteral("f999"));
    EXPECT_EQ(grid()->cell(999, 1), QStringLiteral("999"));
}

TEST_F(QueryConsole, ColumnWidthsAreKeptNewOnesStartAt100)
{
    connect();
    run(QStringLiteral("SELECT 1 a, 2 b, 3 c, 4 d, 5 e"));
    EXPECT_EQ(grid()->columnWidth(2), 106);
    EXPECT_EQ(grid()->columnWidth(3), 100);
    EXPECT_EQ(grid()->columnWidth(4), 100);

    grid()->horizontalHeader()->resizeSection(0, 150); // as the user drags it
    grid()->horizontalHeader()->resizeSection(3, 60);
    run(QStringLiteral("SELECT 1 a, 2 b"));
    EXPECT_EQ(grid()->columnWidth(0), 150);
    EXPECT_EQ(grid()->columnWidth(1), 119);

    run(QStringLiteral("SELECT 1 a, 2 b, 3 c, 4 d"));
    EXPECT_EQ(grid()->columnWidth(0), 150);
    EXPECT_EQ(grid()->columnWidth(2), 100); // the dropped widths are forgotten
    EXPECT_EQ(grid()->columnWidth(3), 100);
}

TEST_F(QueryConsole, ACallShowsEachResultSetInATabWithItsRowCount)
{
    connect();
    run(QStringLiteral("CREATE OR REPLACE PROCEDURE w_two() BEGIN SELECT 1 AS a UNION ALL SELECT 2; SELECT 'x' AS b; DO 0; END"));
    window->showPage(window->databasePage);
    QTabBar *tabs = window->databasePage->tbResultats;
    run(QStringLiteral("CALL w_two()"));
    EXPECT_EQ(statusBeforeTime(), QStringLiteral("2 résultats"));
    ASSERT_FALSE(tabs->isHidden());
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("Résultat 1 : 2 lignes"));
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("Résultat 2 : 1 ligne"));
    EXPECT_EQ(row(0), QStringList{"a"});
    EXPECT_EQ(row(2), QStringList{"2"});

    QTest::qWait(1);
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    EXPECT_EQ(row(0), QStringList{"b"});
    EXPECT_EQ(row(1), QStringList{"x"});
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    EXPECT_EQ(row(2), QStringList{"2"});

    // The connection stayed in step; a statement with one result set shows no tabs.
    run(QStringLiteral("SELECT 3 AS t"));
    EXPECT_EQ(row(1), QStringList{"3"});
    EXPECT_TRUE(tabs->isHidden());
    EXPECT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Stop"));
}

TEST_F(QueryConsole, SeveralStatementsInOneTextShowEachResultAndStopAtTheFirstError)
{
    server->sql(QStringLiteral("DROP TABLE IF EXISTS c_multi; CREATE TABLE c_multi (v INT);"));
    connect();
    window->showPage(window->databasePage);
    QTabBar *tabs = window->databasePage->tbResultats;
    run(QStringLiteral("INSERT INTO c_multi VALUES (1), (2); SELECT v FROM c_multi ORDER BY v; SELECT 'x' AS b"));
    ASSERT_EQ(tabs->count(), 2) << qPrintable(status());
    EXPECT_EQ(tabs->tabText(0), QStringLiteral("Résultat 1 : 2 lignes"));
    EXPECT_EQ(statusBeforeTime(), QStringLiteral("2 résultats"));

    // An error in the second statement: the first one ran, nothing after the error, and the
    // connection stays in step.
    run(QStringLiteral("INSERT INTO c_multi VALUES (3); SELEC 1; INSERT INTO c_multi VALUES (4)"));
    EXPECT_TRUE(status().startsWith(QStringLiteral("You have an error in your SQL syntax"))) << qPrintable(status());
    run(QStringLiteral("SELECT GROUP_CONCAT(v ORDER BY v) AS s FROM c_multi"));
    EXPECT_EQ(row(1), QStringList{"1,2,3"});
    EXPECT_TRUE(tabs->isHidden());
}

// A user allowed one connection: "Annuler" cannot make its second one.
TEST_F(QueryConsole, AnnulerThatCannotConnectSaysWhyAndOffersToCloseTheConnection)
{
    server->sql(QStringLiteral("DROP USER IF EXISTS 'w_one'@'%';"
                               "CREATE USER 'w_one'@'%' IDENTIFIED BY 'pw2' WITH MAX_USER_CONNECTIONS 1;"
                               "GRANT SELECT ON ondrel_test.* TO 'w_one'@'%';"));
    window->databasePage->host->setText(QStringLiteral("127.0.0.1"));
    window->databasePage->user->setText(QStringLiteral("w_one"));
    window->databasePage->pass->setText(QStringLiteral("pw2"));
    window->databasePage->base->setText(QStringLiteral("ondrel_test"));
    window->databasePage->sbConnected->click();
    waitForConsole(*window);
    ASSERT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Stop"));
    window->databasePage->cb->editLine()->setText(QStringLiteral("SELECT SLEEP(60) AS s"));
    QTest::keyClick(window->databasePage->cb->editLine(), Qt::Key_Return);
    ASSERT_TRUE(window->databasePage->console()->isRunning());
    QTest::qWait(300); // the statement reaches the server

    ModalWatcher watcher;
    watcher.answer = QStringLiteral("Fermer la connexion");
    QString statusWhileAsked;
    watcher.whileBoxOpen = [&] { statusWhileAsked = status(); };
    QElapsedTimer clock;
    clock.start();
    window->databasePage->sbAnnuler->click();
    waitForConsole(*window);
    EXPECT_LT(clock.elapsed(), 20000);
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_TRUE(watcher.boxes[0].text.contains(QStringLiteral("max_user_connections"))) << qPrintable(watcher.boxes[0].text);
    EXPECT_TRUE(statusWhileAsked.startsWith(QStringLiteral("Annulation impossible : "))) << qPrintable(statusWhileAsked);
    EXPECT_TRUE(statusWhileAsked.contains(QStringLiteral("max_user_connections"))) << qPrintable(statusWhileAsked);
    // The connection is closed under the statement, which ends at once.
    EXPECT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Go"));
    EXPECT_TRUE(grid()->isHidden());
    EXPECT_FALSE(status().isEmpty());
}

TEST_F(QueryConsole, ExportWritesWhatTheGridShowsWithoutFormulasUnderANameEndingInCsv)
{
    connect();
    run(QStringLiteral("SELECT '=HYPERLINK(\"http://x\")' AS f, -5 AS n, '@a' AS s, 'a\\0b' AS z, NULL AS nul"));
    const QString chosen = folder.path(QStringLiteral("export"));
    QString description;
    QString stray; // whatever else was modal when the dialog never came
    QElapsedTimer waited;
    waited.start();
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        // Found by name, not as the active modal widget, which another test's
        // leftover window could be.
        auto *dialog = window->findChild<QFileDialog *>(QStringLiteral("exportDialog"));
        if (!dialog || !dialog->isVisible() || QApplication::activeModalWidget() != dialog) {
            if (waited.elapsed() > 15000) { // never hang the run: close what blocks and fail below
                if (QWidget *modal = QApplication::activeModalWidget()) {
                    stray = QString::fromLatin1(modal->metaObject()->className()) + QLatin1Char(' ') + modal->objectName()
                            + QLatin1Char(' ') + modal->windowTitle();
                    if (auto *box = qobject_cast<QDialog *>(modal))
                        box->reject();
                    else
                        modal->close();
                }
            }
            return;
        }
        if (auto *note = dialog->findChild<QLabel *>(QStringLiteral("exportDescription")))
            description = note->text();
        // As a user types the name (selectFile() leaves a focused name box as it is);
        // the dialog's own accept then adds the suffix.
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (!name)
            return;
        dialog->setDirectory(QFileInfo(chosen).path());
        name->setText(QFileInfo(chosen).fileName());
        static_cast<QDialog *>(dialog)->accept();
    });
    answer.start(20);
    window->databasePage->sbExport->click();
    answer.stop();
    EXPECT_EQ(stray, QString()) << "the export dialog did not come up";
    EXPECT_TRUE(description.contains(QStringLiteral("apostrophe"))) << qPrintable(description);
    EXPECT_EQ(readFile(chosen + QStringLiteral(".csv")),
              QString::fromUtf8("f,n,s,z,nul\r\n\"'=HYPERLINK(\"\"http://x\"\")\",-5,'@a,a\u2400b,\r\n").toUtf8());

    // After a failed statement the grid is hidden: there is nothing to export.
    run(QStringLiteral("SELEC 1"));
    EXPECT_FALSE(window->databasePage->sbExport->isEnabled());
    run(QStringLiteral("SELECT 1"));
    EXPECT_TRUE(window->databasePage->sbExport->isEnabled());
}

TEST_F(QueryConsole, QueryBoxReachesToThreePixelsShortOfThePanelEdge)
{
    window->resize(900, 500);
    QTest::qWait(1);
    window->showPage(window->databasePage);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->databasePage->cb->width() == window->databasePage->Panel6->width() - window->databasePage->cb->x() - 3; }, 5000))
        << window->databasePage->cb->width() << " for a panel " << window->databasePage->Panel6->width() << " wide";
    window->resize(700, 500);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->databasePage->cb->width() == window->databasePage->Panel6->width() - window->databasePage->cb->x() - 3; }, 5000))
        << window->databasePage->cb->width() << " for a panel " << window->databasePage->Panel6->width() << " wide";
}

} // namespace

ONDREL_QT_TEST_MAIN
