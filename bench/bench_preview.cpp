// Speed of a preview on an unchanged 1 MB file: from the F9 key event in the
// editor until the handler has saved the file and asked the browser to load
// (the key handler returns), and until the browser reports that the load has
// started. The goal is under 50 ms. The web engine is already running, as it is
// after the first preview of a session.
#include "app/main.h"
#include "app/sessioncontroller.h"
#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "files/editedfile.h"
#include "preview/webbrowser.h"
#include "support/phpserver.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "benchmain.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <unistd.h>

namespace {

QByteArray onePage(qsizetype size)
{
    return repeatedTo("<?php echo strlen(\"abc\") . ' ' . $_GET['test']; // ligne de remplissage ?>\n", size);
}

/** A window with a 1 MB page loaded, a php -S server for its folder, and the engine started. */
struct PreviewSetUp
{
    QTemporaryDir dir;
    std::unique_ptr<PhpServer> php;
    std::unique_ptr<TfmMain> window;
    QString page = dir.filePath(QStringLiteral("page.php"));

    PreviewSetUp()
    {
        QFile file(page);
        if (file.open(QIODevice::WriteOnly))
            file.write(onePage(1 << 20));
        file.close();
        php = std::make_unique<PhpServer>(dir.path());
        const int port = php->port();

        window = std::make_unique<TfmMain>(dir.filePath(QStringLiteral("ondrel")));
        window->show();
        window->cbServeurIntegre->setChecked(false); // the page comes from the php -S above
        window->session()->editedFile()->load(page);
        window->eFile->setText(page);
        window->eURL->setText(QStringLiteral("http://127.0.0.1:%1/page.php").arg(port));
        window->eParam->setText(QStringLiteral("test=1"));
        pressF9();
        waitUntilLoaded();
    }

    ~PreviewSetUp()
    {
        window.reset();
    }

    void backToEditor()
    {
        window->showPage(window->tsEdit);
        window->M->setFocus();
    }

    void pressF9()
    {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F9, Qt::NoModifier);
        QApplication::sendEvent(window->M, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_F9, Qt::NoModifier);
        QApplication::sendEvent(window->M, &release);
    }

    void waitUntilLoaded()
    {
        if (!QTest::qWaitFor([this] { return !window->WB->isLoading(); }, 60000))
            qFatal("the preview did not finish loading");
        QTest::qWait(50);
    }
};

void BM_PreviewF9UntilHandlerReturns(benchmark::State &state)
{
    PreviewSetUp s;
    for (auto _ : state) {
        state.PauseTiming();
        s.waitUntilLoaded();
        s.backToEditor();
        state.ResumeTiming();
        s.pressF9();
    }
}
BENCHMARK(BM_PreviewF9UntilHandlerReturns)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(30);

void BM_PreviewF9UntilLoadStarted(benchmark::State &state)
{
    PreviewSetUp s;
    for (auto _ : state) {
        s.waitUntilLoaded();
        s.backToEditor();
        QElapsedTimer clock;
        clock.start();
        s.pressF9();
        while (!s.window->WB->isLoading() && clock.elapsed() < 10000)
            QApplication::processEvents(QEventLoop::AllEvents, 1);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_PreviewF9UntilLoadStarted)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(30);

/** The same after one keystroke: the page is checked against the disk, then written. */
void BM_PreviewF9AfterAnEditUntilLoadStarted(benchmark::State &state)
{
    PreviewSetUp s;
    for (auto _ : state) {
        s.waitUntilLoaded();
        s.backToEditor();
        QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(s.window->M, &key);
        QElapsedTimer clock;
        clock.start();
        s.pressF9();
        while (!s.window->WB->isLoading() && clock.elapsed() < 10000)
            QApplication::processEvents(QEventLoop::AllEvents, 1);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_PreviewF9AfterAnEditUntilLoadStarted)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(30);

} // namespace

ONDREL_QT_BENCHMARK_MAIN
