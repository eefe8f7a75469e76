// The query console against a real MariaDB server: statements, result grid, history keys.
#include "support/qtmain.h"

#include "app/main.h"
#include "app/widgets.h"
#include "db/simplecombo.h"
#include "db/stringgrid.h"
#include "support/dbserver.h"
#include "support/testsupport.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

namespace {

class DbConsole : public DbWindowTest
{
protected:
    void connect()
    {
        ModalWatcher watcher;
        openConnection(*window, *server);
        ASSERT_TRUE(watcher.boxes.isEmpty());
    }
    void run(const QString &statement) { runStatement(*window, statement); }
    StringGrid *grid() const { return window->sg; }
    QString status() const { return window->mysqlErr->text(); }
    QStringList row(int r) const
    {
        QStringList cells;
        for (int k = 0; k < grid()->colCount(); ++k)
            cells.append(grid()->cell(k, r));
        return cells;
    }
    void clickHistoryLine(int index)
    {
        QListWidget *list = window->cb->list();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(index)).center());
    }
};

// Runs in a process of its own (tests/CMakeLists.txt): the connection record has never been opened there.
TEST_F(DbConsole, StatementBeforeAnyConnectionGivesTheLibraryMessage)
{
    run(QStringLiteral("SELECT 1"));
    EXPECT_TRUE(grid()->isHidden());
    EXPECT_EQ(status(), QStringLiteral("Server has gone away"));
    EXPECT_EQ(window->cb->items(), QStringList{QStringLiteral("SELECT 1")});
}

TEST_F(DbConsole, StatementAfterStopGivesTheLibraryMessage)
{
    connect();
    run(QStringLiteral("SELECT 1"));
    ASSERT_FALSE(grid()->isHidden());
    closeConnection(*window);
    run(QStringLiteral("SELECT 2"));
    EXPECT_TRUE(grid()->isHidden());
    EXPECT_EQ(status(), QStringLiteral("Server has gone away"));
}

TEST_F(DbConsole, DesignStateBeforeTheFirstStatement)
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
    EXPECT_FALSE(window->Timer1->isActive());
}

TEST_F(DbConsole, QueryWithRowsShowsFixedHeaderAndRowsInServerOrder)
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
    EXPECT_EQ(status(), QString());
}

TEST_F(DbConsole, QueryWithoutRowsShowsOneUnfixedRowOfNames)
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
    EXPECT_EQ(status(), QString());

    // The next result with rows fixes its header row again.
    run(QStringLiteral("SELECT 1 AS a"));
    EXPECT_EQ(grid()->fixedRows(), 1);
}

TEST_F(DbConsole, CellTextsOfNullZeroByteAndEncodings)
{
    connect();
    run(QStringLiteral("SELECT NULL AS n, '' AS e, CONCAT('ab', CHAR(0), 'cd') AS z, 'café' AS u, "
                       "X'E9' AS latin, X'00' AS lead"));
    EXPECT_EQ(row(0), (QStringList{"n", "e", "z", "u", "latin", "lead"}));
    EXPECT_EQ(row(1), (QStringList{"", "", "ab", "café", "é", ""}));
}

TEST_F(DbConsole, StatementWithoutResultHidesGridUntilTheNextResult)
{
    server->sql(QStringLiteral("DROP TABLE IF EXISTS c_upd; CREATE TABLE c_upd (v INT); INSERT INTO c_upd VALUES (1);"));
    connect();
    window->showPage(window->TabSheet4);
    run(QStringLiteral("SELECT v FROM c_upd"));
    QTest::qWait(1);
    const QRect panel = window->Panel6->geometry();
    run(QStringLiteral("UPDATE c_upd SET v = 2"));
    EXPECT_TRUE(grid()->isHidden());
    QTest::qWait(1);
    EXPECT_EQ(window->Panel6->geometry(), panel); // the grid's place stays empty
    EXPECT_EQ(status(), QString());
    EXPECT_EQ(grid()->cell(0, 1), QStringLiteral("1")); // a hidden grid keeps its cells

    run(QStringLiteral("SELECT v FROM c_upd"));
    EXPECT_FALSE(grid()->isHidden());
    EXPECT_EQ(grid()->cell(0, 1), QStringLiteral("2"));
}

TEST_F(DbConsole, SyntaxErrorHidesGridShowsServerMessageAndStaysInHistory)
{
    connect();
    run(QStringLiteral("SELEC 1"));
    EXPECT_TRUE(grid()->isHidden());
    EXPECT_TRUE(status().startsWith(QStringLiteral("You have an error in your SQL syntax"))) << qPrintable(status());
    EXPECT_LE(status().size(), 200);
    EXPECT_EQ(window->cb->items(), QStringList{QStringLiteral("SELEC 1")});
}

TEST_F(DbConsole, EnterOnACaseVariantRunsItAsTypedAndKeepsTheHistory)
{
    connect();
    run(QStringLiteral("SELECT 'Abc' AS Col"));
    run(QStringLiteral("select 'abc' as col"));
    EXPECT_EQ(window->cb->items(), QStringList{QStringLiteral("SELECT 'Abc' AS Col")});
    EXPECT_EQ(row(0), QStringList{QStringLiteral("col")});
    EXPECT_EQ(row(1), QStringList{QStringLiteral("abc")});

    run(QStringLiteral("SELECT 2"));
    EXPECT_EQ(window->cb->count(), 2); // a new statement is appended at the end
    EXPECT_EQ(window->cb->item(1), QStringLiteral("SELECT 2"));
}

TEST_F(DbConsole, EmptyStatementIsSentAndItsErrorShown)
{
    connect();
    run(QString());
    EXPECT_TRUE(grid()->isHidden());
    EXPECT_EQ(status(), QStringLiteral("Query was empty"));
    EXPECT_EQ(window->cb->items(), QStringList{QString()});
}

TEST_F(DbConsole, DeleteForgetsTheSelectedHistoryLineOnly)
{
    for (const char *line : {"SELECT 'a'", "SELECT 'b'", "SELECT 'c'"})
        window->cb->addItem(QString::fromLatin1(line));
    QLineEdit *edit = window->cb->editLine();

    // No line selected: the history stays, and the key deletes in the edit line.
    edit->setText(QStringLiteral("xyz"));
    edit->setCursorPosition(0);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(window->cb->count(), 3);
    EXPECT_EQ(edit->text(), QStringLiteral("yz"));

    // Choosing a line puts it in the edit line; Delete then forgets that line.
    clickHistoryLine(1);
    EXPECT_EQ(edit->text(), QStringLiteral("SELECT 'b'"));
    edit->setCursorPosition(0);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(window->cb->items(), (QStringList{"SELECT 'a'", "SELECT 'c'"}));
    EXPECT_EQ(edit->text(), QStringLiteral("ELECT 'b'")); // the key still acts in the edit line
    EXPECT_EQ(window->cb->selectedIndex(), -1);

    // A second Delete has no line left selected.
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(window->cb->count(), 2);
}

TEST_F(DbConsole, TypingAwayFromAChosenLineUnselectsIt)
{
    window->cb->addItem(QStringLiteral("SELECT 'a'"));
    clickHistoryLine(0);
    QLineEdit *edit = window->cb->editLine();
    QTest::keyClicks(edit, QStringLiteral("bc"));
    edit->setCursorPosition(0);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(window->cb->count(), 1);
}

TEST_F(DbConsole, ArrowKeysChooseHistoryLines)
{
    for (const char *line : {"SELECT 'a'", "SELECT 'b'"})
        window->cb->addItem(QString::fromLatin1(line));
    QLineEdit *edit = window->cb->editLine();
    QTest::keyClick(edit, Qt::Key_Down);
    EXPECT_EQ(edit->text(), QStringLiteral("SELECT 'a'"));
    QTest::keyClick(edit, Qt::Key_Down);
    EXPECT_EQ(edit->text(), QStringLiteral("SELECT 'b'"));
    EXPECT_EQ(window->cb->selectedIndex(), 1);
}

TEST_F(DbConsole, ShiftEnterRunsLikeEnter)
{
    connect();
    window->cb->editLine()->setText(QStringLiteral("SELECT 7 AS s"));
    QTest::keyClick(window->cb->editLine(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(grid()->cell(0, 1), QStringLiteral("7"));
    EXPECT_EQ(window->cb->count(), 1);
}

TEST_F(DbConsole, ThousandFieldsAreAllShown)
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

TEST_F(DbConsole, ColumnWidthsAreKeptNewOnesStartAt100)
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

TEST_F(DbConsole, QueryBoxReachesToThreePixelsShortOfThePanelEdge)
{
    window->resize(900, 500);
    QTest::qWait(1);
    window->showPage(window->TabSheet4);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->cb->width() == window->Panel6->width() - window->cb->x() - 3; }, 5000))
        << window->cb->width() << " for a panel " << window->Panel6->width() << " wide";
    window->resize(700, 500);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->cb->width() == window->Panel6->width() - window->cb->x() - 3; }, 5000))
        << window->cb->width() << " for a panel " << window->Panel6->width() << " wide";
}

} // namespace

ONDREL_QT_TEST_MAIN
