// A server that accepts the connection and never answers: "Go" gives its message
// within the connect time-out, and the window goes on meanwhile. The listener is
// the test's own, on loopback; the library is pointed at its port.
#include "support/qtmain.h"

#include "app/main.h"
#include "pages/databasepage.h"
#include "widgets/widgets.h"
#include "db/dbconsole.h"
#include "support/testsupport.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

namespace {

TEST(DbTimeout, AServerThatNeverAnswersGivesTheMessageWithinTheDelayAndNeverFreezes)
{
    QTcpServer silent; // accepts, then says nothing
    std::vector<std::unique_ptr<QTcpSocket>> accepted;
    bool listening = false;
    for (int attempt = 0; attempt < 20 && !listening; ++attempt)
        listening = silent.listen(QHostAddress::LocalHost, quint16(freeLoopbackPort()));
    ASSERT_TRUE(listening);
    QObject::connect(&silent, &QTcpServer::newConnection, [&] {
        while (QTcpSocket *socket = silent.nextPendingConnection())
            accepted.emplace_back(socket);
    });
    qputenv("MYSQL_TCP_PORT", QByteArray::number(silent.serverPort())); // before the first library call

    TempFolder folder;
    auto window = makeWindow(folder.dir.path());
    window->databasePage->DelaiConnexion = 2;
    window->databasePage->host->setText(QStringLiteral("127.0.0.1"));
    window->databasePage->user->setText(QStringLiteral("root"));

    // The longest gap between two ticks of a 10 ms timer tells how long the event loop was held.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, sinceTick.restart());
    });
    ModalWatcher watcher;
    QElapsedTimer clock;
    clock.start();
    sinceTick.start();
    ticker.start(10);
    window->databasePage->sbConnected->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !watcher.boxes.isEmpty(); }, 15000));
    const qint64 took = clock.elapsed();
    ticker.stop();

    EXPECT_FALSE(accepted.empty()); // the connection was made, and never answered
    EXPECT_GE(took, 1500);
    EXPECT_LT(took, 6000);
    EXPECT_LT(longestGap, 200);
    EXPECT_TRUE(watcher.boxes[0].text.startsWith(QStringLiteral("Erreur \""))) << qPrintable(watcher.boxes[0].text);
    EXPECT_FALSE(window->databasePage->console()->isConnected());
    EXPECT_EQ(window->databasePage->sbConnected->text(), QStringLiteral("Go"));
    EXPECT_TRUE(window->databasePage->sbConnected->isEnabled());
}

} // namespace

ONDREL_QT_TEST_MAIN
