// The page beside the editor, with Ondrel's own PHP server already up:
//  - from the save key (F9 in side mode) to the page beside the editor loaded,
//    for a small page (goal: at most 80 ms);
//  - the cost of one keystroke in a 10 MB text while the page beside it reloads
//    (goal: under 200 µs); the events the engine hands the window between two
//    keys are reported apart (events_between_keys_us).
#include "app/main.h"
#include "app/sessioncontroller.h"
#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "files/editedfile.h"
#include "preview/phpserver.h"
#include "preview/webbrowser.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>

#include "benchmain.h"

#include <benchmark/benchmark.h>

namespace {

struct Session
{
    QTemporaryDir dir;
    QString page = dir.filePath(QStringLiteral("page.php"));
    std::unique_ptr<TfmMain> window;
    int loads = 0;

    explicit Session(const QByteArray &text)
    {
        QFile file(page);
        if (file.open(QIODevice::WriteOnly))
            file.write(text);
        file.close();
        window = std::make_unique<TfmMain>(dir.filePath(QStringLiteral("ondrel")));
        window->resize(1200, 800);
        window->show();
        window->cbServeurIntegre->setChecked(true);
        window->session()->editedFile()->load(page);
        window->eFile->setText(page);
        window->eParam->setText(QStringLiteral("test=1"));
        window->setTargetUrl();
        QObject::connect(window->WB, &WebBrowser::documentComplete, window.get(), [this] { ++loads; });
        window->showPage(window->tsEdit);
        window->M->setFocus();
        window->cbApercuACote->click(); // the first load: server and engine start
        waitForLoad(0);
    }

    void waitForLoad(int before)
    {
        QElapsedTimer clock;
        clock.start();
        while (loads == before && clock.elapsed() < 60000)
            QApplication::processEvents(QEventLoop::AllEvents, 1);
        if (loads == before)
            qFatal("the page beside the editor did not load");
    }

    void key(Qt::Key code, const QString &text = QString())
    {
        QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
        QApplication::sendEvent(window->M, &press);
        QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, text);
        QApplication::sendEvent(window->M, &release);
    }
};

void BM_SaveUntilPageBesideLoaded(benchmark::State &state)
{
    Session s("<?php echo 'Bonjour ' . $_GET['test']; ?>\n<p>petite page</p>\n");
    for (auto _ : state) {
        state.PauseTiming();
        s.key(Qt::Key_X, QStringLiteral("x")); // an edit, so the save writes
        state.ResumeTiming();
        const int before = s.loads;
        QElapsedTimer clock;
        clock.start();
        s.key(Qt::Key_F9);
        s.waitForLoad(before);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(BM_SaveUntilPageBesideLoaded)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(40);

QByteArray bigPage(qsizetype size)
{
    const QByteArray head = "<?php echo 'Grande page ' . $_GET['test']; ?>\r\n";
    return head + repeatedTo("<p>Une ligne de la grande page, avec du texte pour la remplir.</p>\r\n", size - head.size());
}

// Arg: where the caret types, 0 = on the second line, 1 = in the middle of the text; 2 = on the
// second line with side mode turned off again, no reload: the same key without the page beside.
// QScintilla counts the characters from the start of the text up to every insertion (its
// accessibility notice, made whether or not anything listens), so the middle shows that count and
// the second line what remains: the control's own insertion and Ondrel's handlers.
void BM_KeystrokeBesideWhileReloading(benchmark::State &state)
{
    Session s(bigPage(10 << 20));
    const bool beside = state.range(0) != 2;
    if (!beside)
        s.window->cbApercuACote->click();
    auto place = [&] {
        s.window->M->setSelStart(state.range(0) == 1 ? s.window->M->textLength() / 2 : s.window->M->lineStartOffset(1));
    };
    place();
    qint64 duringReload = 0, keys = 0;
    double eventsNs = 0;
    for (auto _ : state) {
        if (beside && !s.window->WB->isLoading()) {
            s.window->session()->saveEditedFile(); // 10 MB written, then the reload beside starts
            place();
            QElapsedTimer wait;
            wait.start();
            while (!s.window->WB->isLoading() && wait.elapsed() < 5000)
                QApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        duringReload += s.window->WB->isLoading();
        ++keys;
        QElapsedTimer clock;
        clock.start();
        s.key(Qt::Key_A, QStringLiteral("a"));
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        // The typed key taken away again, so that every key meets a line of the same length.
        s.window->M->SendScintilla(QsciScintilla::SCI_DELETEBACK);
        // What the engine asks of the window between two keys, measured apart.
        clock.restart();
        QApplication::processEvents();
        eventsNs += double(clock.nsecsElapsed());
    }
    state.counters["under_reload"] = double(duringReload) / double(std::max<qint64>(1, keys));
    state.counters["events_between_keys_us"] = eventsNs / 1000.0 / double(std::max<qint64>(1, keys));
}
BENCHMARK(BM_KeystrokeBesideWhileReloading)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond)->UseManualTime()->Iterations(2000);

} // namespace

ONDREL_QT_BENCHMARK_MAIN
