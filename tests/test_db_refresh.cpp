// Automatic refresh of the query console: the period read from `tempo`, and ticks against a real server.
#include "support/qtmain.h"

#include "app/main.h"
#include "pages/databasepage.h"
#include "widgets/widgets.h"
#include "db/simplecombo.h"
#include "db/stringgrid.h"
#include "support/dbserver.h"
#include "support/testsupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace {

class DbRefresh : public DbWindowTest
{
protected:
    /** Connects and runs a statement that gives rows: the only kind the refresh repeats. */
    void runRows(const QString &statement = QStringLiteral("SELECT 1 AS un"))
    {
        ModalWatcher watcher;
        openConnection(*window, *server);
        ASSERT_TRUE(watcher.boxes.isEmpty());
        runStatement(*window, statement);
        ASSERT_FALSE(window->databasePage->sg->isHidden());
    }
    /** Types the period and ticks or unticks the box as the user does. */
    void clickTempo(const QString &period)
    {
        window->databasePage->tempo->setText(period);
        window->databasePage->cbTempo->click();
    }
};

struct PeriodCase
{
    const char *name;
    const char *text;
    int interval; // ms the timer runs with; 0 when it must not run at all
};

class RefreshPeriod : public DbRefresh, public ::testing::WithParamInterface<PeriodCase>
{
};

TEST_P(RefreshPeriod, TickingTheBoxStartsTheTimerWithTheConvertedPeriod)
{
    runRows();
    clickTempo(QString::fromLatin1(GetParam().text));
    ASSERT_TRUE(window->databasePage->cbTempo->isChecked());
    EXPECT_EQ(window->databasePage->Timer1->isActive(), GetParam().interval > 0);
    if (GetParam().interval > 0) {
        EXPECT_EQ(window->databasePage->Timer1->interval(), GetParam().interval);
    }

    window->databasePage->cbTempo->click(); // unticking stops it
    EXPECT_FALSE(window->databasePage->Timer1->isActive());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefreshPeriod,
    ::testing::Values(PeriodCase{"Design", "5000", 5000},
                      PeriodCase{"Letters", "abc", 5000},
                      PeriodCase{"Empty", "", 5000},
                      PeriodCase{"TrailingSpace", "250 ", 5000},
                      PeriodCase{"LeadingSpaces", "   250", 250},
                      PeriodCase{"Dollar", "$3E8", 1000},
                      PeriodCase{"ZeroXLower", "0x3e8", 1000},
                      PeriodCase{"PlusSign", "+40", 40},
                      PeriodCase{"SignBeforeHex", "-$10", 5000},
                      PeriodCase{"Zero", "0", 0},
                      PeriodCase{"Negative", "-5", 0},
                      PeriodCase{"TopBitSet", "$FFFFFFFF", 0},
                      PeriodCase{"TooLarge", "99999999999", 5000}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(DbRefresh, ChangingTheTextWhileRunningKeepsThePeriodUntilTheBoxIsClickedAgain)
{
    runRows();
    clickTempo(QStringLiteral("700"));
    window->databasePage->tempo->setText(QStringLiteral("300"));
    EXPECT_EQ(window->databasePage->Timer1->interval(), 700);
    window->databasePage->cbTempo->click();
    EXPECT_FALSE(window->databasePage->Timer1->isActive());
    window->databasePage->cbTempo->click();
    EXPECT_TRUE(window->databasePage->Timer1->isActive());
    EXPECT_EQ(window->databasePage->Timer1->interval(), 300);
}

TEST_F(DbRefresh, TicksRerunTheLastStatementWithRowsNotTheEditLineEvenOnAnotherPage)
{
    server->sql(QStringLiteral("DROP TABLE IF EXISTS r_tick; CREATE TABLE r_tick (v INT);"));
    runRows(QStringLiteral("SELECT COUNT(*) AS n FROM r_tick"));
    window->showPage(window->TabSheet1);
    // Half typed, never entered: never run by a tick.
    window->databasePage->cb->editLine()->setText(QStringLiteral("DELETE FROM r_tick"));
    clickTempo(QStringLiteral("20"));
    EXPECT_EQ(window->PC->currentWidget(), window->TabSheet1);

    server->sql(QStringLiteral("INSERT INTO r_tick VALUES (1), (2);"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->databasePage->sg->cell(0, 1) == QStringLiteral("2"); }, 5000)) << window->databasePage->sg->cell(0, 1).toStdString();
    EXPECT_EQ(window->databasePage->cb->count(), 1);
    EXPECT_EQ(server->sql(QStringLiteral("SELECT COUNT(*) FROM r_tick")).split('\n').value(1), QByteArray("2"));
}

TEST_F(DbRefresh, TickingIsAlwaysAllowedAndATickWithNothingSafeToRepeatSaysSoOnce)
{
    server->sql(QStringLiteral("DROP TABLE IF EXISTS r_ins; CREATE TABLE r_ins (v VARCHAR(10));"));
    const QString nothing = QStringLiteral("Actualisation : rien à répéter");
    const auto status = [&] { return window->databasePage->mysqlErr->text(); };

    // Before any statement, with no connection: the box ticks, the timer runs, the first tick says why it does nothing.
    clickTempo(QStringLiteral("20"));
    EXPECT_TRUE(window->databasePage->cbTempo->isChecked());
    EXPECT_TRUE(window->databasePage->Timer1->isActive());
    ASSERT_TRUE(QTest::qWaitFor([&] { return status().startsWith(nothing); }, 5000)) << qPrintable(status());
    window->databasePage->mysqlErr->setText(QStringLiteral("Ok"));
    QTest::qWait(200); // ten ticks more: said once only
    EXPECT_EQ(status(), QStringLiteral("Ok"));

    // An INSERT is never repeated; the next tick says so, once.
    {
        ModalWatcher watcher;
        openConnection(*window, *server);
    }
    runStatement(*window, QStringLiteral("INSERT INTO r_ins VALUES ('boucle')"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return status().startsWith(nothing); }, 5000)) << qPrintable(status());
    QTest::qWait(200);
    EXPECT_EQ(server->sql(QStringLiteral("SELECT COUNT(*) FROM r_ins")).split('\n').value(1), QByteArray("1"));
    EXPECT_TRUE(window->databasePage->cbTempo->isChecked());

    // A statement with rows entered while the box stays ticked: the ticks repeat it.
    runStatement(*window, QStringLiteral("SELECT COUNT(*) AS n FROM r_ins"));
    server->sql(QStringLiteral("INSERT INTO r_ins VALUES ('deux');"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->databasePage->sg->cell(0, 1) == QStringLiteral("2"); }, 5000))
        << qPrintable(window->databasePage->sg->cell(0, 1));
}

TEST_F(DbRefresh, TicksGoOnWhileAConnectionMessageIsOpen)
{
    runRows();
    clickTempo(QStringLiteral("10"));
    closeConnection(*window);
    window->databasePage->mysqlErr->setText(QStringLiteral("Ok"));
    QList<QString> statusWhileOpen;
    ModalWatcher watcher;
    watcher.whileBoxOpen = [&] {
        QTest::qWait(60); // the box stays up while the message loop runs ticks
        statusWhileOpen.append(window->databasePage->mysqlErr->text());
    };
    window->databasePage->pass->setText(QStringLiteral("wrong"));
    window->databasePage->sbConnected->click();
    waitForConsole(*window);
    ASSERT_EQ(statusWhileOpen.size(), 1);
    EXPECT_EQ(statusWhileOpen[0], QStringLiteral("Non connecté")); // a tick ran, on no connection
    EXPECT_TRUE(window->databasePage->Timer1->isActive());
}

} // namespace

ONDREL_QT_TEST_MAIN
