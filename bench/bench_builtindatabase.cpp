// "Base intégrée": from a click on "Go" to the console connected, for a new user
// (the data folder made first) and for a later launch (the data folder there,
// the server started as the window opens). Beside each, the longest time the
// event loop was held meanwhile: the window must stay usable.
#include "app/main.h"
#include "widgets/widgets.h"
#include "db/builtindatabase.h"
#include "db/dbconsole.h"

#include "benchmain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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
    window.sbConnected->click();
    return QTest::qWaitFor([&] { return window.console()->isConnected(); }, 120000);
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
        window->startBuiltinDatabaseAtLaunch();
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

} // namespace

ONDREL_QT_BENCHMARK_MAIN
