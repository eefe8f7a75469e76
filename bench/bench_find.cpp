// The find bar's work away from the window's thread: a regular-expression
// "Tout remplacer" on 10 MB, and how long the window's thread is held while an
// expression that backtracks for ever runs.
#include "benchmain.h"

#include "editor/findbar.h"
#include "editor/richedit.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace {

/** 10 MB of ordinary lines, with `matches` words "fooo" spread over them. */
QByteArray textWithMatches(qsizetype size, int matches)
{
    QByteArray text;
    text.reserve(size + 128);
    const qsizetype every = size / matches;
    int placed = 0;
    while (text.size() < size) {
        if (placed < matches && text.size() >= placed * every) {
            text += "fooo ";
            ++placed;
        }
        text += "$a = f($b); // words\r\n";
    }
    return text;
}

/** Runs the request as the window does: on the find bar's thread, applied when it comes back. */
FindResult runAndApply(FindBar &bar, RichEdit &editor, FindRequest request)
{
    FindResult out;
    bool done = false;
    auto connection = QObject::connect(&bar, &FindBar::finished, [&](const FindRequest &r, const FindResult &result) {
        editor.search()->applyFound(r, result);
        out = result;
        done = true;
    });
    bar.run(std::move(request));
    QTest::qWaitFor([&] { return done; }, 600000);
    QObject::disconnect(connection);
    return out;
}

void BM_RegexReplaceAll10MB(benchmark::State &state)
{
    RichEdit editor;
    FindBar bar;
    editor.resize(800, 600);
    editor.show();
    const QByteArray text = textWithMatches(10 << 20, int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        editor.setBytes(text); // a fresh load each time: the first replace-all after it is timed
        QCoreApplication::processEvents();
        state.ResumeTiming();
        const FindRequest request = editor.search()->request(FindRequest::Kind::ReplaceAll, QStringLiteral("fo+"),
                                                       QStringLiteral("X"), {false, false, true});
        const FindResult result = runAndApply(bar, editor, request);
        QCoreApplication::processEvents();
        if (qsizetype(result.replaced.size()) != state.range(0) || editor.textLength() != text.size() - 3 * state.range(0))
            state.SkipWithError("wrong count");
    }
}
BENCHMARK(BM_RegexReplaceAll10MB)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

// The window's thread ticks every millisecond while `(a+)+$` runs on a 10 MB text
// that holds a line of 10,000 "a" and a "b"; the longest gap between two ticks (the
// copy of the text at the start and the result at the end included) is the stall.
void BM_WindowStallDuringCostlyExpression(benchmark::State &state)
{
    RichEdit editor;
    FindBar bar;
    editor.resize(800, 600);
    editor.show();
    QByteArray text = repeatedTo("$a = f($b); // words\r\n", 10 << 20);
    text += QByteArray(10000, 'a') + "b\r\n";
    double worst = 0;
    for (auto _ : state) {
        state.PauseTiming();
        editor.setBytes(text);
        editor.setSelStart(0);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0, longest = 0;
        QTimer ticks;
        ticks.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
        ticks.start(1);
        const FindRequest request = editor.search()->request(FindRequest::Kind::Next, QStringLiteral("(a+)+$"), {},
                                                       {false, false, true});
        const FindResult result = runAndApply(bar, editor, request);
        longest = std::max(longest, clock.nsecsElapsed() - last);
        ticks.stop();
        if (result.outcome != FindResult::Outcome::TooCostly)
            state.SkipWithError("the expression did not hit the engine's limit");
        worst = std::max(worst, double(longest) / 1e6);
    }
    state.counters["worst_stall_ms"] = worst;
}
BENCHMARK(BM_WindowStallDuringCostlyExpression)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

ONDREL_QT_BENCHMARK_MAIN
