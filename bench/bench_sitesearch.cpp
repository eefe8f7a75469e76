// Speed of searching the whole site, on the WordPress tree of Debian's package
// (bench/wordpress-corpus.sh fetches and unpacks it into the build folder at the
// first run; nothing is installed). Goals:
// - Ctrl+P: one more letter typed, 50,000 paths listed: 20 ms or less;
// - find in files, a word, to the last result: no slower than `grep -rn` on the
//   same tree in the same run (ripgrep beside it, when installed, for the record);
//   the first result within 50 ms;
// - the definition index of the tree, cold: 1.5 s or less; after one save: 10 ms
//   or less; F12 once the index exists: 5 ms or less.
#include "search/definitionindex.h"
#include "search/findinfiles.h"
#include "search/fuzzymatch.h"
#include "search/sitefiles.h"

#include "wordpresstree.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/resource.h>

namespace {

QString g_tree; // the WordPress folder

/**
 * Processor time in milliseconds, of this thread or of the whole process (the
 * workers too): on a loaded machine, what the work itself costs.
 */
double cpuMs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}
double threadCpuMs()
{
    return cpuMs(CLOCK_THREAD_CPUTIME_ID);
}

Site wordpress()
{
    return {g_tree, true};
}

/** 50,000 paths: the tree's own, repeated under folders of made-up names. */
QStringList fiftyThousandPaths()
{
    const QStringList own = listSiteFiles(wordpress()).files;
    QStringList paths;
    for (int copy = 0; paths.size() < 50000; ++copy) {
        for (const QString &path : own) {
            if (paths.size() == 50000)
                break;
            paths << (copy == 0 ? path : QStringLiteral("copies/site-%1/%2").arg(copy).arg(path));
        }
    }
    paths.sort();
    return paths;
}

/** The whole query typed letter by letter into a fresh list, as after Ctrl+P; the time is per letter. */
void BM_OpenFileEachLetter(benchmark::State &state)
{
    const QStringList paths = fiftyThousandPaths();
    const QString query = QStringLiteral("wpincludesformatting");
    for (auto _ : state) {
        FuzzyFinder finder;
        finder.setPaths(paths);
        QElapsedTimer clock;
        clock.start();
        const double cpu = threadCpuMs();
        for (qsizetype n = 1; n <= query.size(); ++n)
            benchmark::DoNotOptimize(finder.find(query.left(n), 50));
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9 / double(query.size()));
        state.counters["cpu_ms"] = (threadCpuMs() - cpu) / double(query.size());
    }
}
BENCHMARK(BM_OpenFileEachLetter)->Unit(benchmark::kMillisecond)->UseManualTime();

/** The worst letter: the first, or a letter after a change that is not one more letter. */
void BM_OpenFileFirstLetter(benchmark::State &state)
{
    const QStringList paths = fiftyThousandPaths();
    for (auto _ : state) {
        FuzzyFinder finder;
        finder.setPaths(paths);
        QElapsedTimer clock;
        clock.start();
        const double cpu = threadCpuMs();
        benchmark::DoNotOptimize(finder.find(QStringLiteral("e"), 50));
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        state.counters["cpu_ms"] = threadCpuMs() - cpu;
    }
}
BENCHMARK(BM_OpenFileFirstLetter)->Unit(benchmark::kMillisecond)->UseManualTime();

/** Find in files to the last result; arg 1: time to the first result only. */
void BM_FindInFiles(benchmark::State &state)
{
    const bool firstOnly = state.range(0) == 1;
    FindOptions options;
    options.pattern = QStringLiteral("wp_die");
    options.matchCase = true; // as grep -rn
    qsizetype lines = 0;
    for (auto _ : state) {
        FindInFiles finder;
        QEventLoop loop;
        QElapsedTimer clock;
        double firstMs = -1;
        lines = 0;
        QObject::connect(&finder, &FindInFiles::found, [&](const QList<FindMatch> &batch) {
            if (firstMs < 0)
                firstMs = double(clock.nsecsElapsed()) / 1e6;
            lines += batch.size();
            if (firstOnly)
                loop.quit();
        });
        QObject::connect(&finder, &FindInFiles::finished, &loop, &QEventLoop::quit);
        clock.start();
        const double cpu = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
        finder.start(wordpress(), options);
        loop.exec();
        state.counters["cpu_ms_tous_fils"] = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpu;
        state.SetIterationTime(firstOnly ? firstMs / 1000.0 : double(clock.nsecsElapsed()) / 1e9);
    }
    state.counters["lignes"] = double(lines);
}
BENCHMARK(BM_FindInFiles)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime();

/** The same word with a command-line tool over the same tree, its output read whole. */
void runTool(benchmark::State &state, const QString &program, const QStringList &arguments)
{
    if (QStandardPaths::findExecutable(program).isEmpty()) {
        state.SkipWithError(qPrintable(program + QStringLiteral(" introuvable")));
        return;
    }
    qsizetype bytes = 0;
    const auto childrenCpuMs = [] {
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        return (double(usage.ru_utime.tv_sec) + double(usage.ru_stime.tv_sec)) * 1e3
               + (double(usage.ru_utime.tv_usec) + double(usage.ru_stime.tv_usec)) / 1e3;
    };
    for (auto _ : state) {
        const double cpu = childrenCpuMs();
        QProcess tool;
        tool.start(program, arguments);
        tool.waitForFinished(-1);
        bytes = tool.readAllStandardOutput().size();
        state.counters["cpu_ms_tous_fils"] = childrenCpuMs() - cpu;
    }
    state.counters["octets"] = double(bytes);
}
void BM_GrepRn(benchmark::State &state)
{
    runTool(state, QStringLiteral("grep"), {QStringLiteral("-rn"), QStringLiteral("wp_die"), g_tree});
}
BENCHMARK(BM_GrepRn)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_Ripgrep(benchmark::State &state)
{
    runTool(state, QStringLiteral("rg"), {QStringLiteral("-n"), QStringLiteral("wp_die"), g_tree});
}
BENCHMARK(BM_Ripgrep)->Unit(benchmark::kMillisecond)->UseRealTime();

/** The index of the whole tree, from nothing, off the UI thread. */
void BM_DefinitionIndexCold(benchmark::State &state)
{
    qsizetype definitions = 0;
    for (auto _ : state) {
        const double cpu = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
        DefinitionIndexer indexer;
        indexer.ensureBuilt(wordpress());
        if (!indexer.waitReady(60000))
            state.SkipWithError("index not ready");
        definitions = indexer.index().definitionCount();
        state.counters["cpu_ms_tous_fils"] = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpu;
    }
    state.counters["definitions"] = double(definitions);
}
BENCHMARK(BM_DefinitionIndexCold)->Unit(benchmark::kMillisecond)->UseRealTime();

DefinitionIndexer &builtIndexer()
{
    static DefinitionIndexer indexer;
    indexer.ensureBuilt(wordpress());
    indexer.waitReady(60000);
    return indexer;
}

/** One saved file read again: the largest PHP file of WordPress's core. */
void BM_IndexAfterSave(benchmark::State &state)
{
    DefinitionIndexer &indexer = builtIndexer();
    const QString file = g_tree + QStringLiteral("/wp-includes/formatting.php");
    for (auto _ : state)
        indexer.updateFile(file);
    state.counters["wp_trim_words"] = double(indexer.index().find(u"wp_trim_words").size());
}
BENCHMARK(BM_IndexAfterSave)->Unit(benchmark::kMillisecond);

/** F12 on a name: the candidates, for a function, a class, a method name shared by many classes. */
void BM_GoToDefinition(benchmark::State &state)
{
    const DefinitionIndex &index = builtIndexer().index();
    const char16_t *names[] = {u"wp_die", u"WP_Query", u"get_item", u"ABSPATH"};
    const char16_t *name = names[state.range(0)];
    qsizetype found = 0;
    for (auto _ : state)
        found = index.find(name).size();
    state.counters["candidats"] = double(found);
}
BENCHMARK(BM_GoToDefinition)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    g_tree = wordPressTree();
    if (g_tree.isEmpty())
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
