// F9 to "load finished" for a small page, in one run:
//  - with Ondrel's own PHP server, the first F9 of a session (the web engine's
//    own start included), then a first F9 that starts the server (engine running),
//    then later F9s on a server already up;
//  - with an external `php -S` that is already running;
//  - F9 in an include while the page that includes it is pinned (server warm).
// Goals: first F9 with the built-in server at most 300 ms, later ones at most 60 ms,
// F9 from an include as F9 on the page itself.
#include "app/main.h"
#include "app/sessioncontroller.h"
#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "files/editedfile.h"
#include "preview/phpserver.h"
#include "base/ports.h"
#include "preview/webbrowser.h"
#include "support/phpserver.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "benchmain.h"

#include <benchmark/benchmark.h>

namespace {

bool engineStartedInProcess = false;

struct Session
{
    QTemporaryDir dir;
    QString page = dir.filePath(QStringLiteral("page.php"));
    std::unique_ptr<TfmMain> window;
    int loads = 0;

    explicit Session(bool builtin)
    {
        QFile file(page);
        if (file.open(QIODevice::WriteOnly))
            file.write("<?php echo 'Bonjour ' . $_GET['test']; ?>\n<p>petite page</p>\n");
        file.close();
        window = std::make_unique<TfmMain>(dir.filePath(QStringLiteral("ondrel")));
        window->show();
        window->cbServeurIntegre->setChecked(builtin);
        window->session()->editedFile()->load(page);
        window->eFile->setText(page);
        window->eParam->setText(QStringLiteral("test=1"));
        QObject::connect(window->WB, &WebBrowser::documentComplete, window.get(), [this] { ++loads; });
    }

    /** Milliseconds from the F9 key press in the editor until the page has loaded. */
    double f9UntilLoaded()
    {
        window->showPage(window->tsEdit);
        window->M->setFocus();
        const int before = loads;
        QElapsedTimer clock;
        clock.start();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F9, Qt::NoModifier);
        QApplication::sendEvent(window->M, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_F9, Qt::NoModifier);
        QApplication::sendEvent(window->M, &release);
        while (loads == before && clock.elapsed() < 30000)
            QApplication::processEvents(QEventLoop::AllEvents, 1);
        if (loads == before)
            qFatal("the preview did not load");
        engineStartedInProcess = true;
        return double(clock.nsecsElapsed()) / 1e6;
    }
};

void report(benchmark::State &state, double ms)
{
    state.SetIterationTime(ms / 1000);
}

void BM_F9Builtin_FirstOfSession(benchmark::State &state)
{
    // Once per process: the web engine starts as well as the server.
    for (auto _ : state) {
        Session s(true);
        s.window->setTargetUrl();
        report(state, s.f9UntilLoaded());
    }
}
BENCHMARK(BM_F9Builtin_FirstOfSession)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_F9Builtin_First(benchmark::State &state)
{
    Session s(true);
    s.window->setTargetUrl();
    s.f9UntilLoaded(); // the engine is up
    for (auto _ : state) {
        state.PauseTiming();
        s.window->server()->stop(); // the next F9 starts the server again
        QTest::qWait(20);
        state.ResumeTiming();
        report(state, s.f9UntilLoaded());
    }
}
BENCHMARK(BM_F9Builtin_First)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

void BM_F9Builtin_Later(benchmark::State &state)
{
    Session s(true);
    s.window->setTargetUrl();
    s.f9UntilLoaded();
    for (auto _ : state)
        report(state, s.f9UntilLoaded());
}
BENCHMARK(BM_F9Builtin_Later)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(30);

// A page that includes a file of a folder below, the built-in server warm. Range 0: 1 the page
// is pinned and F9 is pressed while the include is edited (the include is saved and the pinned
// page shown, the server serving the folder of both); 0 F9 on the page itself, for comparison.
// Each F9 follows an edit, so each saves.
void BM_F9Builtin_PageWithAnInclude(benchmark::State &state)
{
    const bool fromInclude = state.range(0) != 0;
    Session s(true);
    const QString include = s.dir.filePath(QStringLiteral("inc/db.php"));
    QDir().mkpath(QFileInfo(include).absolutePath());
    QFile file(include);
    if (file.open(QIODevice::WriteOnly))
        file.write("<?php\nfunction db() { return 'base'; }\n");
    file.close();
    s.window->M->setBytes("<?php require __DIR__ . '/inc/db.php'; echo 'Page ' . db() . ' ' . $_GET['test']; ?>\n");
    s.window->session()->saveEditedFile();
    s.window->setTargetUrl();
    s.f9UntilLoaded();
    if (fromInclude) {
        s.window->pinPage();
        if (!s.window->openSiteFile(include) || s.window->pinnedPage().isEmpty())
            state.SkipWithError("the include did not open beside the pinned page");
        s.f9UntilLoaded(); // the first from the include: the server now serves the folder of both
    }
    for (auto _ : state) {
        state.PauseTiming();
        s.window->M->setSelStart(s.window->M->textLength());
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
        QApplication::sendEvent(s.window->M, &press); // an edit, for the save F9 makes
        state.ResumeTiming();
        report(state, s.f9UntilLoaded());
    }
    if (!s.window->WB->url().path().endsWith(QStringLiteral("/page.php")))
        state.SkipWithError("the page shown is not the pinned page");
    state.SetLabel(fromInclude ? "F9 from the include, page pinned" : "F9 on the page itself");
}
BENCHMARK(BM_F9Builtin_PageWithAnInclude)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(30);

/** An external `php -S` on the session's folder, already accepting connections. */
struct ExternalPhp
{
    PhpServer php;

    explicit ExternalPhp(Session &s)
        : php(s.dir.path())
    {
        s.window->eSite->setText(php.origin() + QLatin1Char('/'));
    }
};

// Run alone (--benchmark_filter=External_FirstOfSession): the engine's start with a server already up.
void BM_F9External_FirstOfSession(benchmark::State &state)
{
    if (engineStartedInProcess) {
        state.SkipWithError("the engine runs already: run alone with --benchmark_filter=External_FirstOfSession");
        return;
    }
    for (auto _ : state) {
        Session s(false);
        ExternalPhp php(s);
        report(state, s.f9UntilLoaded());
    }
}
BENCHMARK(BM_F9External_FirstOfSession)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_F9ExternalPhpS(benchmark::State &state)
{
    Session s(false);
    ExternalPhp php(s);
    s.f9UntilLoaded();
    for (auto _ : state)
        report(state, s.f9UntilLoaded());
    s.window.reset();
}
BENCHMARK(BM_F9ExternalPhpS)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(30);


} // namespace

ONDREL_QT_BENCHMARK_MAIN
