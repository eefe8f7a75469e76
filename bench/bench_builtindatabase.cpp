// "Base intégrée": from a click on "Go" to the console connected, for a new user
// (the data folder made first) and for a later launch (the data folder there,
// the server started as the window opens). Beside each, the longest time the
// event loop was held meanwhile: the window must stay usable. Last, a page's
// mysqli_connect through the built-in server's socket beside one over TCP to a
// throwaway server on 127.0.0.1 (tests/servers/mariadb.sh), same MariaDB.
#include "app/main.h"
#include "pages/databasepage.h"
#include "widgets/widgets.h"
#include "db/builtindatabase.h"
#include "db/dbconsole.h"

#include "benchmain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

/** A home of its own for the data folder and the socket. */
struct Home
{
    QTemporaryDir dir;
    Home()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.filePath(QStringLiteral("run"))));
        QDir().mkpath(dir.filePath(QStringLiteral("run")));
        QFile::setPermissions(dir.filePath(QStringLiteral("run")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
};

/** The longest gap between two ticks of a 5 ms timer, in milliseconds, while it lives. */
struct LoopWatch
{
    QTimer timer;
    QElapsedTimer clock;
    qint64 longest = 0;
    LoopWatch()
    {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            longest = std::max(longest, clock.restart());
        });
        clock.start();
        timer.start();
    }
};

/** Clicks "Go" (or not, when `launch` starts the server) and waits for the connection; false on a failure. */
bool connectConsole(TfmMain &window)
{
    window.databasePage->sbConnected->click();
    return QTest::qWaitFor([&] { return window.databasePage->console()->isConnected(); }, 120000);
}

void BM_FirstUseToConsoleConnected(benchmark::State &state)
{
    double held = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto home = std::make_unique<Home>();
        auto window = std::make_unique<TfmMain>(home->dir.filePath(QStringLiteral("ondrel")));
        window->show();
        LoopWatch watch;
        state.ResumeTiming();
        if (!connectConsole(*window)) {
            state.SkipWithError("the console did not connect");
            return;
        }
        state.PauseTiming();
        held = std::max(held, double(watch.longest));
        window.reset();
        home.reset();
        state.ResumeTiming();
    }
    state.counters["longest_loop_hold_ms"] = held;
}
BENCHMARK(BM_FirstUseToConsoleConnected)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_LaterLaunchToConsoleConnected(benchmark::State &state)
{
    Home home;
    QTemporaryDir sideFiles;
    { // the first use, once
        auto window = std::make_unique<TfmMain>(sideFiles.filePath(QStringLiteral("ondrel")));
        if (!connectConsole(*window)) {
            state.SkipWithError("the first use failed");
            return;
        }
    }
    double held = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto window = std::make_unique<TfmMain>(sideFiles.filePath(QStringLiteral("ondrel")));
        state.ResumeTiming();
        window->show(); // as a launch does: the window, then the server in the background
        LoopWatch watch;
        window->databasePage->startBuiltinDatabaseAtLaunch();
        if (!QTest::qWaitFor([&] { return window->builtinDatabase()->isReady(); }, 60000) || !connectConsole(*window)) {
            state.SkipWithError("the console did not connect");
            return;
        }
        state.PauseTiming();
        held = std::max(held, double(watch.longest));
        window.reset(); // the clean shutdown of the server is not timed
        state.ResumeTiming();
    }
    state.counters["longest_loop_hold_ms"] = held;
}
BENCHMARK(BM_LaterLaunchToConsoleConnected)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

QString scriptPath()
{
    const QString here = QFileInfo(QStringLiteral(__FILE__)).absolutePath();
    return here + QStringLiteral("/../tests/servers/mariadb.sh");
}

QString textOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

/** Milliseconds per mysqli_connect + close, as a page does them, over `count` of them; negative on a failure. */
double connectMs(const QString &host, const QString &password, const QString &socket, int port, int count)
{
    const QString code = QStringLiteral(
        "$t = hrtime(true); for ($i = 0; $i < %1; ++$i) { $m = mysqli_connect('%2', 'root', '%3', '', %4, '%5'); mysqli_close($m); }"
        " echo (hrtime(true) - $t) / 1e6 / %1;").arg(count).arg(host, password).arg(port).arg(socket);
    QProcess php;
    php.start(QStringLiteral("php"), {QStringLiteral("-r"), code});
    if (!php.waitForFinished(120000) || php.exitCode() != 0)
        return -1;
    return php.readAllStandardOutput().trimmed().toDouble();
}

/** range(0): 0 through the built-in server's socket, 1 over TCP to 127.0.0.1. */
void BM_PageConnect(benchmark::State &state)
{
    static Home home;
    static BuiltinDatabase *builtin = nullptr;
    static QTemporaryDir tcpDir;
    static bool tcpUp = false;
    if (!builtin) {
        builtin = new BuiltinDatabase;
        builtin->start();
        if (!QTest::qWaitFor([] { return builtin->isReady(); }, 120000))
            qWarning("the built-in server did not start");
        tcpUp = QProcess::execute(QStringLiteral("bash"), {scriptPath(), QStringLiteral("start"), tcpDir.path()}) == 0;
    }
    const bool socket = state.range(0) == 0;
    if (!builtin->isReady() || (!socket && !tcpUp)) {
        state.SkipWithError("a server did not start");
        return;
    }
    const QString password = socket ? QString() : textOf(tcpDir.filePath(QStringLiteral("password")));
    const int port = socket ? 0 : textOf(tcpDir.filePath(QStringLiteral("port"))).toInt();
    for (auto _ : state) {
        const double ms = socket ? connectMs(QStringLiteral("localhost"), password, builtin->paths().socket, 0, 200)
                                 : connectMs(QStringLiteral("127.0.0.1"), password, QString(), port, 200);
        if (ms < 0) {
            state.SkipWithError("php could not connect");
            return;
        }
        state.SetIterationTime(ms / 1000.0);
    }
    if (!socket) { // the last case: both servers go
        QProcess::execute(QStringLiteral("bash"), {scriptPath(), QStringLiteral("stop"), tcpDir.path()});
        delete builtin;
        builtin = nullptr;
    }
}
BENCHMARK(BM_PageConnect)->Arg(0)->Arg(1)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

ONDREL_QT_BENCHMARK_MAIN
