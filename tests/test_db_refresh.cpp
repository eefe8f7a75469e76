// Automatic refresh of the query console: the period read from `tempo`, and ticks against a real server.
#include "support/qtmain.h"

#include "app/main.h"
#include "app/widgets.h"
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
    /** Types the period and ticks or unticks the box as the user does. */
    void clickTempo(const QString &period)
    {
        window->tempo->setText(period);
        window->cbTempo->click();
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
    clickTempo(QString::fromLatin1(GetParam().text));
    ASSERT_TRUE(window->cbTempo->isChecked());
    EXPECT_EQ(window->Timer1->isActive(), GetParam().interval > 0);
    if (GetParam().interval > 0) {
        EXPECT_EQ(window->Timer1->interval(), GetParam().interval);
    }

    window->cbTempo->click(); // unticking stops it
    EXPECT_FALSE(window->Timer1->isActive());
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
    clickTempo(QStringLiteral("700"));
    window->tempo->setText(QStringLiteral("300"));
    EXPECT_EQ(window->Timer1->interval(), 700);
    window->cbTempo->click();
    EXPECT_FALSE(window->Timer1->isActive());
    window->cbTempo->click();
    EXPECT_TRUE(window->Timer1->isActive());
    EXPECT_EQ(window->Timer1->interval(), 300);
}

TEST_F(DbRefresh, TicksRunTheEditLineWhileAnotherPageIsShownWithoutTouchingHistory)
{
    server->sql(QStringLiteral("DROP TABLE IF EXISTS r_tick; CREATE TABLE r_tick (v INT);"));
    {
        ModalWatcher watcher;
        openConnection(*window, *server);
        ASSERT_TRUE(watcher.boxes.isEmpty());
    }
    window->showPage(window->TabSheet1);
    // Typed, never entered: the ticks run what the edit line holds.
    QTest::keyClicks(window->cb->editLine(), QStringLiteral("SELECT COUNT(*) AS n FROM r_tick"));
    clickTempo(QStringLiteral("20"));
    EXPECT_EQ(window->PC->currentWidget(), window->TabSheet1);

    ASSERT_TRUE(QTest::qWaitFor([&] { return window->sg->cell(0, 1) == QStringLiteral("0"); }, 5000)) << window->sg->cell(0, 1).toStdString();
    server->sql(QStringLiteral("INSERT INTO r_tick VALUES (1), (2);"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->sg->cell(0, 1) == QStringLiteral("2"); }, 5000)) << window->sg->cell(0, 1).toStdString();
    EXPECT_EQ(window->cb->count(), 0);
}

TEST_F(DbRefresh, TicksGoOnWhileAConnectionMessageIsOpen)
{
    clickTempo(QStringLiteral("10"));
    window->cb->editLine()->setText(QStringLiteral("SELECT 1"));
    window->mysqlErr->setText(QStringLiteral("Ok"));
    QList<QString> statusWhileOpen;
    ModalWatcher watcher;
    watcher.whileBoxOpen = [&] {
        QTest::qWait(60); // the box stays up while the message loop runs ticks
        statusWhileOpen.append(window->mysqlErr->text());
    };
    window->host->setText(QStringLiteral("127.0.0.1"));
    window->user->setText(QStringLiteral("root"));
    window->pass->setText(QStringLiteral("wrong"));
    window->sbConnected->click();
    ASSERT_EQ(statusWhileOpen.size(), 1);
    EXPECT_EQ(statusWhileOpen[0], QStringLiteral("Server has gone away")); // a tick ran, on no connection
}

} // namespace

ONDREL_QT_TEST_MAIN
