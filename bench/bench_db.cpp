// The query console on a large result: SELECT of 100,000 rows x 10 columns, from Enter to the
// grid filled, and the memory it takes; beside it the mysql command-line client in batch mode.
// Also how long the event loop is held while a statement runs on the server (SELECT SLEEP(5)).
// Runs its own throwaway MariaDB server (tests/servers/mariadb.sh).
#include "app/main.h"
#include "pages/databasepage.h"
#include "widgets/widgets.h"
#include "db/dbconsole.h"
#include "db/simplecombo.h"
#include "db/stringgrid.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kRows = 100000;
const QString kStatement = QStringLiteral("SELECT * FROM big");

struct Server
{
    QString dir;
    QString port;
    QString socket;
    QString password;
    double resultBytes = 0; // sum of the lengths of every value of the result
};
Server server;

QString scriptPath()
{
    const QString fromEnv = QString::fromLocal8Bit(qgetenv("ONDREL_TEST_SCRIPTS"));
    const QStringList candidates = {
        fromEnv + QStringLiteral("/mariadb.sh"),
        QCoreApplication::applicationDirPath() + QStringLiteral("/../../tests/servers/mariadb.sh"),
        QFileInfo(QStringLiteral(__FILE__)).absolutePath() + QStringLiteral("/../tests/servers/mariadb.sh"),
    };
    for (const QString &path : candidates) {
        if (QFileInfo::exists(path))
            return QFileInfo(path).absoluteFilePath();
    }
    return {};
}

bool runScript(const QString &action)
{
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    script.setStandardOutputFile(QProcess::nullDevice());
    script.start(QStringLiteral("bash"), {scriptPath(), action, server.dir});
    return script.waitForFinished(180000) && script.exitCode() == 0;
}

QString fileText(const QString &name)
{
    QFile file(QDir(server.dir).filePath(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

QStringList clientArguments()
{
    return {QStringLiteral("--no-defaults"), QStringLiteral("--batch"), QStringLiteral("-h127.0.0.1"),
            QStringLiteral("-P") + server.port, QStringLiteral("-uroot"), QStringLiteral("-p") + server.password,
            QStringLiteral("ondrel_test")};
}

QByteArray sql(const QString &statements)
{
    QProcess client;
    client.start(QStringLiteral("mariadb"), clientArguments() << QStringLiteral("-N") << QStringLiteral("-e") << statements);
    client.waitForFinished(600000);
    if (client.exitCode() != 0)
        std::fprintf(stderr, "%s\n", client.readAllStandardError().constData());
    return client.readAllStandardOutput().trimmed();
}

/** 100,000 rows of ten columns of usual kinds: numbers, names, addresses, dates, amounts. */
void createTable()
{
    sql(QStringLiteral(
        "DROP TABLE IF EXISTS big;"
        "CREATE TABLE big (id INT PRIMARY KEY, nom VARCHAR(40), email VARCHAR(60), ville VARCHAR(30),"
        " cree DATETIME, montant DECIMAL(10,2), quantite INT, actif TINYINT, code CHAR(8), note VARCHAR(100))"
        " CHARACTER SET utf8mb4;"
        "INSERT INTO big SELECT seq, CONCAT('Client ', seq), CONCAT('client', seq, '@exemple.fr'),"
        " ELT(1 + seq % 4, 'Paris', 'Lyon', 'Marseille', 'Besançon'),"
        " '2024-01-01' + INTERVAL seq MINUTE, (seq % 10000) / 7, seq % 97, seq % 2,"
        " LPAD(HEX(seq), 8, '0'), IF(seq % 5 = 0, NULL, CONCAT('Commande n° ', seq, ' livrée'))"
        " FROM seq_1_to_%1;").arg(kRows));
    server.resultBytes = sql(QStringLiteral(
        "SELECT SUM(LENGTH(id) + LENGTH(nom) + LENGTH(email) + LENGTH(ville) + LENGTH(cree) + LENGTH(montant)"
        " + LENGTH(quantite) + LENGTH(actif) + LENGTH(code) + IFNULL(LENGTH(note), 0)) FROM big")).toDouble();
}

/** Resident and peak resident memory of this process, in bytes. */
struct Memory
{
    double rss = 0;
    double peak = 0;
};

Memory memoryNow()
{
    QFile status(QStringLiteral("/proc/self/status"));
    Memory memory;
    if (!status.open(QIODevice::ReadOnly))
        return memory;
    for (const QByteArray &line : status.readAll().split('\n')) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        if (parts.size() >= 2 && parts[0] == "VmRSS:")
            memory.rss = parts[1].toDouble() * 1024;
        if (parts.size() >= 2 && parts[0] == "VmHWM:")
            memory.peak = parts[1].toDouble() * 1024;
    }
    return memory;
}

void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5"); // resets VmHWM to the current RSS
}

/** Closes any message box the window opens (a failed connection), telling what it said. */
void closeMessageBoxes()
{
    static QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            std::fprintf(stderr, "message box: %s\n", qPrintable(box->text()));
            box->done(QMessageBox::Ok);
        }
    });
    watcher.start(50);
}

/** Runs the event loop until the console has nothing on the database worker. */
void waitUntilIdle(TfmMain &window)
{
    while (window.databasePage->console()->isBusy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); // sleeps until the reply comes
    QCoreApplication::processEvents();
}

/** The window, connected; the connection is closed when the window goes (one record per process). */
auto connectedWindow(QTemporaryDir &sideFiles)
{
    auto closing = [](TfmMain *window) {
        if (window->databasePage->console()->isConnected())
            window->databasePage->sbConnected->click();
        delete window;
    };
    std::unique_ptr<TfmMain, decltype(closing)> window(
        new TfmMain(sideFiles.filePath(QStringLiteral("ondrel"))), closing);
    window->show();
    window->showPage(window->databasePage);
    window->databasePage->host->setText(QStringLiteral("127.0.0.1"));
    window->databasePage->user->setText(QStringLiteral("root"));
    window->databasePage->pass->setText(server.password);
    window->databasePage->base->setText(QStringLiteral("ondrel_test"));
    window->databasePage->sbConnected->click();
    waitUntilIdle(*window);
    return window;
}

/** Enter in the query box's edit line, as the keyboard delivers it, then the repaint it causes. */
void pressEnter(TfmMain &window)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(window.databasePage->cb->editLine(), &press);
    QCoreApplication::sendEvent(window.databasePage->cb->editLine(), &release);
    waitUntilIdle(window); // the rows come in on the worker, the grid takes them here
    window.databasePage->sg->repaint();
    QCoreApplication::processEvents();
}

void backToDesignGrid(TfmMain &window)
{
    window.databasePage->sg->setRowCount(5);
    window.databasePage->sg->setColCount(3);
    QCoreApplication::processEvents();
}

bool gridFilled(const TfmMain &window)
{
    return window.databasePage->sg->rowCount() == kRows + 1 && window.databasePage->sg->colCount() == 10
           && window.databasePage->sg->cell(0, kRows) == QString::number(kRows);
}

void BM_SelectIntoGridMemory(benchmark::State &state)
{
    QTemporaryDir sideFiles;
    auto window = connectedWindow(sideFiles);
    window->databasePage->cb->editLine()->setText(kStatement);
    for (auto _ : state) {
        QCoreApplication::processEvents();
        resetPeakMemory();
        const Memory before = memoryNow();
        pressEnter(*window);
        const Memory after = memoryNow();
        if (!gridFilled(*window))
            state.SkipWithError("the grid does not hold the result");
        state.counters["result_MB"] = server.resultBytes / 1e6;
        state.counters["rss_growth_MB"] = (after.rss - before.rss) / 1e6;
        state.counters["rss_growth_x_result"] = (after.rss - before.rss) / server.resultBytes;
        state.counters["peak_growth_x_result"] = (after.peak - before.rss) / server.resultBytes;
    }
}
BENCHMARK(BM_SelectIntoGridMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_SelectIntoGrid(benchmark::State &state)
{
    QTemporaryDir sideFiles;
    auto window = connectedWindow(sideFiles);
    window->databasePage->cb->editLine()->setText(kStatement);
    for (auto _ : state) {
        state.PauseTiming();
        backToDesignGrid(*window);
        state.ResumeTiming();
        pressEnter(*window);
        state.PauseTiming();
        if (!gridFilled(*window))
            state.SkipWithError("the grid does not hold the result");
        state.ResumeTiming();
    }
    state.counters["rows"] = kRows;
}
BENCHMARK(BM_SelectIntoGrid)->Unit(benchmark::kMillisecond)->MinTime(3);

// While SELECT SLEEP(5) runs, a 5 ms timer measures how late the event loop serves it.
void BM_EventLoopLatencyDuringSleep(benchmark::State &state)
{
    QTemporaryDir sideFiles;
    auto window = connectedWindow(sideFiles);
    window->databasePage->cb->editLine()->setText(QStringLiteral("SELECT SLEEP(5)"));
    for (auto _ : state) {
        qint64 worstMs = 0;
        QElapsedTimer sinceTick;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            worstMs = std::max(worstMs, sinceTick.restart() - 5);
        });
        sinceTick.start();
        ticker.start(5);
        pressEnter(*window);
        ticker.stop();
        state.counters["worst_latency_ms"] = double(worstMs);
        if (window->databasePage->sg->cell(0, 1) != QStringLiteral("0"))
            state.SkipWithError("SELECT SLEEP(5) did not give its row");
    }
}
BENCHMARK(BM_EventLoopLatencyDuringSleep)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_MysqlClientBatchToDevNull(benchmark::State &state)
{
    for (auto _ : state) {
        QProcess client;
        client.setStandardOutputFile(QProcess::nullDevice());
        client.start(QStringLiteral("mariadb"), clientArguments() << QStringLiteral("-e") << kStatement);
        if (!client.waitForFinished(600000) || client.exitCode() != 0)
            state.SkipWithError("the mysql client failed");
    }
    state.counters["rows"] = kRows;
}
BENCHMARK(BM_MysqlClientBatchToDevNull)->Unit(benchmark::kMillisecond)->MinTime(3);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (scriptPath().isEmpty()) {
        std::fprintf(stderr, "tests/servers/mariadb.sh not found; set ONDREL_TEST_SCRIPTS\n");
        return 1;
    }
    QTemporaryDir serverFolder;
    server.dir = serverFolder.filePath(QStringLiteral("server"));
    if (!runScript(QStringLiteral("start"))) {
        std::fprintf(stderr, "the MariaDB server did not start\n");
        return 1;
    }
    server.port = fileText(QStringLiteral("port"));
    server.socket = fileText(QStringLiteral("socket"));
    server.password = fileText(QStringLiteral("password"));
    qputenv("MYSQL_TCP_PORT", server.port.toLocal8Bit()); // before the first library call
    createTable();
    closeMessageBoxes();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    runScript(QStringLiteral("stop"));
    return 0;
}
