// The schema tree beside the grid, against the real MariaDB server of the tests:
// what it lists, names that need quoting, its context menu, and reading it again.
#include "support/qtmain.h"

#include "app/main.h"
#include "pages/databasepage.h"
#include "db/schematree.h"
#include "db/simplecombo.h"
#include "db/stringgrid.h"
#include "db/sqlnames.h"
#include "db/statementcompletion.h"
#include "support/dbserver.h"
#include "support/testsupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSplitter>
#include <QTest>

#include <algorithm>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

namespace {

const QString kBase = QStringLiteral("ondrel schéma");

class DbSchema : public DbWindowTest
{
protected:
    void SetUp() override
    {
        DbWindowTest::SetUp();
        server->sql(QStringLiteral(
            "SET NAMES utf8mb4; DROP DATABASE IF EXISTS `ondrel schéma`; CREATE DATABASE `ondrel schéma`;"
            "USE `ondrel schéma`;"
            "CREATE TABLE `s commande` (id INT PRIMARY KEY AUTO_INCREMENT,"
            " client VARCHAR(40) NOT NULL DEFAULT 'anonyme', note TEXT NULL, KEY par_client (client, id));"
            "CREATE TABLE `s``tick` (v INT); CREATE TABLE `s_été` (x INT);"
            "CREATE VIEW s_vue AS SELECT id FROM `s commande`;"
            "INSERT INTO `s commande` (client) VALUES ('Zoé'), ('Léo');"));
        window->showPage(window->databasePage);
        ModalWatcher watcher;
        openConnection(*window, *server, kBase);
        ASSERT_TRUE(watcher.boxes.isEmpty()) << qPrintable(watcher.boxes.value(0).text);
        ASSERT_TRUE(waitFor({kBase, QStringLiteral("s_vue")}));
    }

    QTreeWidget *tree() const { return window->databasePage->tvSchema->tree(); }

    /** The item at the end of a path of names from a database down, or null. */
    QTreeWidgetItem *item(const QStringList &path) const
    {
        QTreeWidgetItem *found = nullptr;
        for (const QString &name : path) {
            const int count = found ? found->childCount() : tree()->topLevelItemCount();
            QTreeWidgetItem *next = nullptr;
            for (int k = 0; k < count && !next; ++k) {
                QTreeWidgetItem *child = found ? found->child(k) : tree()->topLevelItem(k);
                if (child->text(0) == name)
                    next = child;
            }
            if (!next)
                return nullptr;
            found = next;
        }
        return found;
    }
    bool waitFor(const QStringList &path) const
    {
        return QTest::qWaitFor([&] { return item(path) != nullptr; }, 20000);
    }
    QStringList childNames(const QStringList &path) const
    {
        QStringList names;
        if (QTreeWidgetItem *parent = item(path))
            for (int k = 0; k < parent->childCount(); ++k)
                names.append(parent->child(k)->text(0));
        return names;
    }
    QStringList columnsOfRow(const QStringList &path) const
    {
        QStringList cells;
        if (QTreeWidgetItem *row = item(path))
            for (int k = 0; k < tree()->columnCount(); ++k)
                cells.append(row->text(k));
        return cells;
    }
    void unfold(const QStringList &path, const QString &firstChild)
    {
        ASSERT_NE(item(path), nullptr);
        item(path)->setExpanded(true);
        ASSERT_TRUE(waitFor(path + QStringList{firstChild})) << qPrintable(childNames(path).join(u'|'));
    }
    void doubleClick(const QStringList &path)
    {
        QTreeWidgetItem *target = item(path);
        ASSERT_NE(target, nullptr);
        tree()->scrollToItem(target);
        // On the name, near the end of its column: the tree is narrower than its columns.
        const QPoint at(tree()->columnViewportPosition(0) + tree()->columnWidth(0) - 10,
                        tree()->visualItemRect(target).center().y());
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, at); // the first click of the two
        QTest::mouseDClick(tree()->viewport(), Qt::LeftButton, {}, at);
    }
    /** Chooses an entry of a table's context menu, as the user does with the mouse and Enter. */
    void chooseFromMenu(const QStringList &path, const QString &entry)
    {
        QTreeWidgetItem *target = item(path);
        ASSERT_NE(target, nullptr);
        tree()->scrollToItem(target);
        QTimer poll;
        bool chosen = false;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu || chosen)
                return;
            for (QAction *action : menu->actions())
                if (action->text() == entry) {
                    menu->setActiveAction(action);
                    QTest::keyClick(menu, Qt::Key_Return);
                    chosen = true;
                }
        });
        poll.start(20);
        Q_EMIT tree()->customContextMenuRequested(tree()->visualItemRect(target).center());
        EXPECT_TRUE(chosen) << qPrintable(entry);
        waitForConsole(*window);
    }
};

TEST_F(DbSchema, ListsTablesViewsColumnsAndIndexesOfTheCurrentDatabase)
{
    EXPECT_TRUE(item({kBase})->isExpanded());
    EXPECT_NE(item({QStringLiteral("mysql")}), nullptr); // the other databases, folded
    EXPECT_EQ(childNames({kBase}), (QStringList{"s commande", "s_été", "s_vue", "s`tick"})); // the server's order
    EXPECT_EQ(item({kBase, QStringLiteral("s_vue")})->text(1), QStringLiteral("vue"));
    EXPECT_EQ(item({kBase, QStringLiteral("s commande")})->text(1), QStringLiteral("table"));

    const QStringList table{kBase, QStringLiteral("s commande")};
    unfold(table, QStringLiteral("id"));
    EXPECT_EQ(childNames(table), (QStringList{"id", "client", "note", "Index"}));
    EXPECT_EQ(columnsOfRow(table + QStringList{"id"}), (QStringList{"id", "int(11)", "non", "PRI", ""}));
    const QStringList client = columnsOfRow(table + QStringList{"client"});
    EXPECT_EQ(client.mid(0, 4), (QStringList{"client", "varchar(40)", "non", "MUL"}));
    EXPECT_TRUE(client.value(4).contains(QStringLiteral("anonyme"))) << qPrintable(client.value(4));
    EXPECT_EQ(columnsOfRow(table + QStringList{"note"}).mid(0, 3), (QStringList{"note", "text", "oui"}));
    const QStringList indexes = table + QStringList{"Index"};
    EXPECT_EQ(childNames(indexes), (QStringList{"PRIMARY", "par_client"}));
    EXPECT_EQ(columnsOfRow(indexes + QStringList{"PRIMARY"}).mid(1, 3), (QStringList{"unique", "", "id"}));
    EXPECT_EQ(columnsOfRow(indexes + QStringList{"par_client"}).mid(1, 3), (QStringList{"index", "", "client, id"}));

    // A view's columns too.
    unfold({kBase, QStringLiteral("s_vue")}, QStringLiteral("id"));
}

TEST_F(DbSchema, ADoubleClickPutsTheNameQuotedAsNeededAtTheCaretAndTheStatementRuns)
{
    QLineEdit *line = window->databasePage->cb->editLine();
    const struct
    {
        QStringList path;
        QString inserted;
    } cases[] = {
        {{kBase, QStringLiteral("s`tick")}, QStringLiteral("`s``tick`")},
        {{kBase, QStringLiteral("s_été")}, QStringLiteral("`s_été`")},
        {{kBase, QStringLiteral("s commande")}, QStringLiteral("`s commande`")},
    };
    for (const auto &c : cases) {
        line->setText(QStringLiteral("SELECT * FROM  LIMIT 1"));
        line->setCursorPosition(14);
        doubleClick(c.path);
        EXPECT_EQ(line->text(), QStringLiteral("SELECT * FROM ") + c.inserted + QStringLiteral(" LIMIT 1"));
        EXPECT_EQ(line->cursorPosition(), 14 + c.inserted.size());
        runStatement(*window, line->text());
        EXPECT_FALSE(window->databasePage->sg->isHidden()) << qPrintable(window->databasePage->mysqlErr->text());
    }
    // A column name, bare when it is a plain word.
    unfold({kBase, QStringLiteral("s commande")}, QStringLiteral("client"));
    line->setText(QStringLiteral("SELECT "));
    line->setCursorPosition(7);
    doubleClick({kBase, QStringLiteral("s commande"), QStringLiteral("client")});
    EXPECT_EQ(line->text(), QStringLiteral("SELECT client"));
}

TEST_F(DbSchema, TheContextMenuShowsRowsOrTheStructureOfATable)
{
    chooseFromMenu({kBase, QStringLiteral("s commande")}, QStringLiteral("Afficher 100 lignes"));
    EXPECT_EQ(window->databasePage->cb->text(), QStringLiteral("SELECT * FROM `ondrel schéma`.`s commande` LIMIT 100"));
    ASSERT_FALSE(window->databasePage->sg->isHidden()) << qPrintable(window->databasePage->mysqlErr->text());
    EXPECT_EQ(window->databasePage->sg->rowCount(), 3);
    EXPECT_EQ(window->databasePage->sg->cell(1, 1), QStringLiteral("Zoé"));
    EXPECT_TRUE(window->databasePage->mysqlErr->text().startsWith(QStringLiteral("2 lignes ("))) << qPrintable(window->databasePage->mysqlErr->text());

    chooseFromMenu({kBase, QStringLiteral("s`tick")}, QStringLiteral("Structure"));
    ASSERT_FALSE(window->databasePage->sg->isHidden()) << qPrintable(window->databasePage->mysqlErr->text());
    EXPECT_TRUE(window->databasePage->sg->cell(1, 1).startsWith(QStringLiteral("CREATE TABLE `s``tick`"))) << qPrintable(window->databasePage->sg->cell(1, 1));
}

TEST_F(DbSchema, AStatementThatChangesTheSchemaReadsTheTreeAgainKeepingWhatWasUnfolded)
{
    const QStringList table{kBase, QStringLiteral("s commande")};
    unfold(table, QStringLiteral("id"));
    runStatement(*window, QStringLiteral("CREATE TABLE s_nouvelle (n INT)"));
    ASSERT_TRUE(waitFor({kBase, QStringLiteral("s_nouvelle")}));
    runStatement(*window, QStringLiteral("/* ajout */ alter TABLE `s commande` ADD COLUMN ajout INT"));
    ASSERT_TRUE(waitFor(table + QStringList{"ajout"})) << qPrintable(childNames(table).join(u'|'));
    // Several statements at once, the last one failing: the DROP before it still shows.
    runStatement(*window, QStringLiteral("SELECT 1; DROP TABLE s_nouvelle; SELEC 2"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->databasePage->tvSchema->isLoading() && item(table + QStringList{"ajout"}); }, 20000));
    EXPECT_EQ(item({kBase, QStringLiteral("s_nouvelle")}), nullptr);

    // A change made elsewhere shows after "Actualiser".
    server->sql(QStringLiteral("CREATE TABLE `ondrel schéma`.s_dehors (d INT)"));
    window->databasePage->tvSchema->refreshButton()->click();
    EXPECT_TRUE(waitFor({kBase, QStringLiteral("s_dehors")}));

    // Closing the connection empties the tree.
    closeConnection(*window);
    EXPECT_EQ(tree()->topLevelItemCount(), 0);
    EXPECT_FALSE(window->databasePage->tvSchema->refreshButton()->isEnabled());
}

TEST_F(DbSchema, FoldedAwayTheGridTakesItsRoomAndUnfoldedTheTreeHasItsWidthAgain)
{
    QTest::qWait(1);
    const int width = window->databasePage->tvSchema->width();
    ASSERT_GT(width, 0);
    const int gridWidth = window->databasePage->sg->width();
    window->databasePage->tvSchema->foldButton()->click();
    QTest::qWait(1);
    EXPECT_TRUE(window->databasePage->tvSchema->isHidden());
    EXPECT_GE(window->databasePage->sg->width(), gridWidth + width);
    window->databasePage->tvSchema->foldButton()->click();
    QTest::qWait(1);
    EXPECT_FALSE(window->databasePage->tvSchema->isHidden());
    EXPECT_EQ(window->databasePage->tvSchema->width(), width);
}

// Typed, chosen from the history or completed: the line shows its keywords and its
// strings in their colours, and typing goes on where the caret is.
TEST_F(DbSchema, TheStatementLineShowsItsKeywordsAndStringsInColour)
{
    QLineEdit *line = window->databasePage->cb->editLine();
    line->setFocus();
    line->clear();
    QTest::keyClicks(line, QStringLiteral("SELECT 'x'"));
    line->setCursorPosition(6);
    QTest::keyClicks(line, QStringLiteral(" 1,"));
    EXPECT_EQ(line->text(), QStringLiteral("SELECT 1, 'x'"));
    EXPECT_EQ(line->cursorPosition(), 9);
    const auto shown = [&](int from, int to) { // the pixels of the line's text between two positions
        const QImage image = line->grab().toImage();
        const auto xAt = [&](int position) {
            line->setCursorPosition(position);
            return line->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
        };
        const int x0 = xAt(from), x1 = xAt(to);
        line->setCursorPosition(9);
        QList<QRgb> pixels;
        for (int x = x0; x < x1; ++x)
            for (int y = 0; y < image.height(); ++y)
                pixels.append(image.pixel(x, y));
        return pixels;
    };
    const auto has = [](const QList<QRgb> &pixels, auto test) { return std::any_of(pixels.begin(), pixels.end(), test); };
    const auto blue = [](QRgb p) { return qBlue(p) > 150 && qRed(p) < 80 && qGreen(p) < 100; };
    const auto red = [](QRgb p) { return qRed(p) > 120 && qGreen(p) < 60 && qBlue(p) < 60; };
    EXPECT_TRUE(has(shown(0, 6), blue));  // SELECT
    EXPECT_FALSE(has(shown(0, 6), red));
    EXPECT_TRUE(has(shown(10, 13), red)); // 'x'
    EXPECT_FALSE(has(shown(10, 13), blue));
}

TEST_F(DbSchema, TheStatementLineCompletesKeywordsTablesAndTheColumnsAfterATableName)
{
    QLineEdit *line = window->databasePage->cb->editLine();
    line->setFocus();
    auto *completion = window->databasePage->tvSchema->findChild<StatementCompletion *>();
    ASSERT_NE(completion, nullptr);
    QAbstractItemView *popup = completion->completer()->popup();
    const auto offered = [&] {
        QStringList names;
        for (int r = 0; r < popup->model()->rowCount(); ++r)
            names.append(popup->model()->index(r, 0).data().toString());
        return names;
    };
    const struct
    {
        const char *typed;       // then one more letter typed, as the user does
        const char *letter;
        QStringList offered;     // what the popup shows, in its order
        const char *afterEnter;  // the line once the first is chosen with Enter
    } cases[] = {
        {"sel", "e", {"SELECT"}, "SELECT"},
        {"SELECT * FROM s", "_", {"s_vue", "s_été"}, "SELECT * FROM s_vue"},
        {"SELECT * FROM `s_", "v", {"s_vue"}, "SELECT * FROM s_vue"}, // the "`" typed goes: no quote needed
        {"SELECT `s commande`.c", "l", {"client"}, "SELECT `s commande`.client"}, // columns read for it
    };
    for (const auto &c : cases) {
        line->setText(QString::fromUtf8(c.typed));
        line->setCursorPosition(line->text().size());
        QTest::keyClicks(line, QString::fromUtf8(c.letter));
        ASSERT_TRUE(QTest::qWaitFor([&] { return popup->isVisible() && offered() == c.offered; }, 10000))
            << c.typed << " offers " << qPrintable(offered().join(u'|'));
        QTest::keyClick(popup, Qt::Key_Return);
        EXPECT_EQ(line->text(), QString::fromUtf8(c.afterEnter));
        EXPECT_FALSE(popup->isVisible());
        EXPECT_TRUE(window->databasePage->cb->items().isEmpty()); // choosing a name runs nothing
    }
    // One letter offers nothing until Ctrl+Space.
    line->setText(QStringLiteral("SELECT x FROM "));
    QTest::keyClicks(line, QStringLiteral("s"));
    EXPECT_FALSE(popup->isVisible());
    QTest::keyClick(line, Qt::Key_Space, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return popup->isVisible(); }, 2000));
    EXPECT_TRUE(offered().contains(QStringLiteral("s commande"))) << qPrintable(offered().join(u'|'));
    QTest::keyClick(popup, Qt::Key_Escape);
}

TEST(SqlNames, IdentifiersAreQuotedOnlyWhenNeeded)
{
    const struct
    {
        const char *name;
        const char *quoted;
    } cases[] = {
        {"clients", "clients"},   {"t_2$x", "t_2$x"},     {"2024x", "2024x"},
        {"2024", "`2024`"},       {"order", "`order`"},   {"Select", "`Select`"},
        {"s commande", "`s commande`"}, {"s`tick", "`s``tick`"}, {"été", "`été`"},
        {"", "``"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(quotedIdentifier(QString::fromUtf8(c.name)), QString::fromUtf8(c.quoted)) << c.name;
}

TEST(SqlNames, StatementPiecesForTheirColours)
{
    // K keyword, S string, N number, C comment, I name; what is in none is left out.
    const struct
    {
        const char *text;
        const char *pieces;
    } cases[] = {
        {"select * from `ma table` where a=1.5e-3", "K:select K:from I:`ma table` K:where I:a N:1.5e-3"},
        {"SELECT 'l''a\\'b', \"x\" FROM t1", "K:SELECT S:'l''a\\'b' S:\"x\" K:FROM I:t1"},
        {"-- note\nSELECT 0x1F, .5, 1abc # fin", "C:-- note K:SELECT N:0x1F N:.5 I:1abc C:# fin"},
        {"a--b /* deux\nlignes */ c", "I:a I:b C:/* deux\nlignes */ I:c"}, // "--" without a blank is two minus signs
        {"INSERT INTO `a``b` VALUES ('ouvert", "K:INSERT K:INTO I:`a``b` K:VALUES S:'ouvert"},
        {"café /* ouvert", "I:café C:/* ouvert"},
        {"", ""},
    };
    const char kinds[] = {'K', 'S', 'N', 'C', 'I'};
    for (const auto &c : cases) {
        const QString text = QString::fromUtf8(c.text);
        QStringList pieces;
        for (const SqlToken &token : sqlTokens(text))
            pieces << QString(QLatin1Char(kinds[int(token.kind)])) + u':' + text.mid(token.start, token.length);
        EXPECT_EQ(pieces.join(u' '), QString::fromUtf8(c.pieces)) << c.text;
    }
}

TEST(SqlNames, StatementsThatChangeTheSchema)
{
    const struct
    {
        const char *statement;
        bool changes;
    } cases[] = {
        {"CREATE TABLE t (a INT)", true},
        {"  drop view v", true},
        {"/* x */ -- y\n# z\nALTER TABLE t ADD b INT", true},
        {"RENAME TABLE a TO b", true},
        {"SELECT 'CREATE'", false},
        {"INSERT INTO t VALUES (1)", false},
        {"CREATEX", false},
        {"-- CREATE", false},
        {"INSERT INTO t VALUES (1); drop TABLE u", true},
        {"SELECT 'a;b'; SELECT 1", false},
        {"SELECT 'it\\'s; DROP x'", false},
        {"SELECT `a;CREATE` FROM t", false},
        {"SELECT 1 /* ; CREATE */", false},
        {"SELECT 1 -- ; CREATE\n; ALTER TABLE t ADD c INT", true},
        {"", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(changesSchema(QString::fromUtf8(c.statement)), c.changes) << c.statement;
}

} // namespace

ONDREL_QT_TEST_MAIN
