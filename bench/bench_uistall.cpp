// The window's worst stall while the site search works, through the real window on
// the WordPress tree of Debian's package (bench/wordpress-corpus.sh fetches and
// unpacks it into the build folder at the first run; nothing is installed):
//  - Ctrl+P, the tree listed, then a name typed letter by letter;
//  - find in files (Ctrl+Shift+F), a word, to the last result;
//  - the definition index of the tree built from cold.
// A timer ticks every millisecond on the window's thread; the longest gap between two
// ticks, from the key press to the end, is the stall (counter "pire_arret_ms").
// The waits run an event loop as the program's own does: QTest::qWaitFor sleeps 10 ms
// between its rounds of events, and those sleeps would be counted as stalls.
// Goal: 30 ms or less.
#include "app/main.h"
#include "app/sessioncontroller.h"
#include "widgets/widgets.h"
#include "files/editedfile.h"
#include "search/definitionindex.h"
#include "search/openfilebox.h"
#include "search/sitesearch.h"
#include "search/sitesearchpanel.h"

#include "wordpresstree.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <unistd.h>

namespace {

QString g_tree; // the WordPress folder

/** The longest gap between two ticks of a 1 ms timer on this thread, while it runs. */
class StallWatch
{
public:
    StallWatch()
    {
        m_ticks.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_ticks, &QTimer::timeout, &m_ticks, [this] { tick(); });
        m_clock.start();
        m_ticks.start(1);
    }
    /** Milliseconds of the longest gap, the time since the last tick included. */
    double stop()
    {
        tick();
        m_ticks.stop();
        return double(m_longest) / 1e6;
    }

private:
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
    }
    QElapsedTimer m_clock;
    QTimer m_ticks;
    qint64 m_last = 0, m_longest = 0;
};

/** Runs this thread's event loop until `ended` holds, or for `milliseconds` at most. */
bool waitUntil(const std::function<bool()> &ended, int milliseconds)
{
    if (ended())
        return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (ended())
            loop.quit();
    });
    check.start(1);
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
    return ended();
}

/** A new window editing the tree's index.php, the tree as "Racine". */
std::unique_ptr<TfmMain> windowOnTheTree(const QTemporaryDir &side)
{
    auto window = std::make_unique<TfmMain>(QDir(side.path()).filePath(QStringLiteral("ondrel")));
    window->show();
    const QString page = QDir(g_tree).filePath(QStringLiteral("index.php"));
    window->eRacine->setText(g_tree);
    window->session()->editedFile()->load(page);
    window->eFile->setText(page);
    window->showPage(window->tsEdit);
    window->M->setFocus();
    if (!QTest::qWaitForWindowExposed(window.get()))
        std::fprintf(stderr, "the window was never shown: the figures below mean nothing\n");
    QCoreApplication::processEvents();
    return window;
}

enum Work { CtrlP, FindInFiles, Index };

/** Starts the work in `window` and says when it has ended. */
std::function<bool()> start(TfmMain &window, Work work)
{
    switch (work) {
    case CtrlP: {
        QTest::keyClick(window.M, Qt::Key_P, Qt::ControlModifier);
        OpenFileBox *box = window.siteSearch->box();
        if (!waitUntil([box] { return box->list->count() > 0; }, 30000)) // the tree listed
            std::fprintf(stderr, "Ctrl+P listed nothing in 30 s\n");
        QTest::keyClicks(box->edit, QStringLiteral("wpload"));
        return [box] { return box->list->count() > 0 && box->list->item(0)->text().contains(QStringLiteral("wp-load")); };
    }
    case FindInFiles: {
        QTest::keyClick(window.M, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        SiteSearchPanel *panel = window.pRechercheSite;
        panel->patternEdit->setText(QStringLiteral("function"));
        QTest::keyClick(panel->patternEdit, Qt::Key_Return);
        return [panel] { return panel->count->text().contains(QStringLiteral("occurrence")) && panel->cancelButton->isHidden(); };
    }
    case Index: {
        DefinitionIndexer *indexer = window.siteSearch->indexer();
        const Site site = window.siteSearch->site();
        indexer->ensureBuilt(site);
        return [indexer, site] { return indexer->isReadyFor(site); };
    }
    }
    return [] { return true; };
}

void BM_WorstStall(benchmark::State &state)
{
    const Work work = static_cast<Work>(state.range(0));
    double worst = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir side;
        std::unique_ptr<TfmMain> window = windowOnTheTree(side);
        state.ResumeTiming();
        StallWatch watch;
        const std::function<bool()> ended = start(*window, work);
        const bool done = waitUntil(ended, 120000);
        worst = std::max(worst, watch.stop());
        state.PauseTiming();
        if (!done)
            state.SkipWithError("the work did not end");
        window.reset();
        state.ResumeTiming();
    }
    state.counters["pire_arret_ms"] = worst;
    state.SetLabel(work == CtrlP ? "Ctrl+P" : work == FindInFiles ? "recherche dans les fichiers" : "index des définitions");
}
BENCHMARK(BM_WorstStall)->Arg(CtrlP)->Arg(FindInFiles)->Arg(Index)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir cacheHome; // journals of unsaved text stay out of the user's cache
    ::setenv("XDG_CACHE_HOME", cacheHome.path().toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    g_tree = wordPressTree();
    if (g_tree.isEmpty())
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
