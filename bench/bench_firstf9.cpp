// The first F9 of a session, to the page loaded, with the built-in server: the web
// engine and PHP's server both start then. Each run is a process of its own (this
// program again), as a new session is: the real window, headless, which loads the
// preview module from beside it as the program does (this program links no part of
// the web engine). Two cases:
//  - "aussitot": F9 as soon as the window is on the screen, before the module's idle
//    load, which the F9 then makes itself;
//  - "apres_repos": F9 once the window has been idle long enough to load the module.
// Goal: no slower than before the engine moved to its module (506–641 ms then).
#include "app/main.h"
#include "app/sessioncontroller.h"
#include "widgets/widgets.h"
#include "files/editedfile.h"
#include "preview/previewmodule.h"
#include "preview/webbrowser.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

constexpr char kChildVariable[] = "ONDREL_BENCH_F9_SESSION";
constexpr int kIdleMs = 250; // as the program's own start asks

/** One session in this process: prints the milliseconds from F9 to the page loaded, or fails. */
int runSession(int argc, char **argv, bool afterIdle)
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString page = dir.filePath(QStringLiteral("page.php"));
    QFile file(page);
    if (!file.open(QIODevice::WriteOnly))
        return 2;
    file.write("<?php echo 'Bonjour ' . $_GET['test']; ?>\n<p>petite page</p>\n");
    file.close();
    TfmMain window(dir.filePath(QStringLiteral("ondrel")));
    PreviewModule::shared().loadAfterFirstPaint(&window, kIdleMs);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 3;
    window.cbServeurIntegre->setChecked(true);
    window.session()->editedFile()->load(page);
    window.eFile->setText(page);
    window.eParam->setText(QStringLiteral("test=1"));
    window.setTargetUrl();
    if (afterIdle && !QTest::qWaitFor([] { return PreviewModule::shared().loaded(); }, 30000))
        return 4;
    bool loaded = false;
    QObject::connect(window.WB, &WebBrowser::documentComplete, &window, [&loaded] { loaded = true; });
    window.showPage(window.tsEdit);
    window.M->setFocus();
    QElapsedTimer clock;
    clock.start();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_F9, Qt::NoModifier);
    QApplication::sendEvent(window.M, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_F9, Qt::NoModifier);
    QApplication::sendEvent(window.M, &release);
    while (!loaded && clock.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    if (!loaded)
        return 5;
    std::printf("%.3f\n", double(clock.nsecsElapsed()) / 1e6);
    return 0;
}

std::string program;

void BM_FirstF9OfSession(benchmark::State &state)
{
    const bool afterIdle = state.range(0) != 0;
    for (auto _ : state) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QLatin1String(kChildVariable), afterIdle ? QStringLiteral("apres_repos") : QStringLiteral("aussitot"));
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QString::fromStdString(program), {});
        if (!child.waitForFinished(60000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
            child.kill();
            child.waitForFinished();
            state.SkipWithError("the session did not load the page");
            return;
        }
        bool ok = false;
        const double ms = QString::fromLatin1(child.readAllStandardOutput()).trimmed().toDouble(&ok);
        if (!ok) {
            state.SkipWithError("the session printed no time");
            return;
        }
        state.SetIterationTime(ms / 1000);
    }
    state.SetLabel(afterIdle ? "apres_repos" : "aussitot");
}
BENCHMARK(BM_FirstF9OfSession)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

} // namespace

int main(int argc, char **argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (::geteuid() == 0)
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0); // Chromium's sandbox cannot start as root
    if (const char *session = std::getenv(kChildVariable))
        return runSession(argc, argv, std::string(session) == "apres_repos");
    program = argv[0];
    QTemporaryDir cacheHome; // journals of unsaved text stay out of the user's cache
    ::setenv("XDG_CACHE_HOME", cacheHome.path().toLocal8Bit().constData(), 1);
    QCoreApplication app(argc, argv); // QProcess
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
