// Speed of Git, through libgit2. Goals:
// - the status of the WordPress tree (a repository, one file changed): 150 ms or
//   less, and no slower than `git status --porcelain` on the same tree in the
//   same run (bench/wordpress-corpus.sh fetches the tree; its repository is made
//   once beside it, in the build folder);
// - the change bars after a key in a file of 10,000 lines: 2 ms or less;
// - blame of a line with 1,000 commits of history behind it: 100 ms or less.
#include "git/changebars.h"
#include "git/gitrepository.h"
#include "tests/support/gitrepo.h"

#include "wordpresstree.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include <sys/resource.h>

namespace {

QString g_wordpress; // the WordPress tree as a repository
QString g_history;   // a repository of 1,000 commits

QString corpus(const char *name)
{
    return QStringLiteral(ONDREL_BENCH_CORPUS "/") + QString::fromLatin1(name);
}

bool run(const QString &program, const QStringList &arguments, const QString &folder = {})
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    return process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

/** The WordPress tree copied and committed, then one file changed. */
QString wordpressRepository()
{
    const QString tree = wordPressTree();
    if (tree.isEmpty())
        return {};
    const QString top = corpus("git-wordpress");
    if (!QFileInfo::exists(top + QStringLiteral("/.git/HEAD"))) {
        QDir(top).removeRecursively();
        if (!QDir().mkpath(top) || !run(QStringLiteral("cp"), {QStringLiteral("-a"), tree + QStringLiteral("/."), top}))
            return {};
        MadeRepo repo(top);
        repo.stageAll();
        repo.commit("WordPress");
    }
    QFile changed(top + QStringLiteral("/wp-includes/functions.php"));
    if (!changed.open(QIODevice::ReadWrite | QIODevice::Append))
        return {};
    if (!changed.readAll().endsWith("// changed\n"))
        changed.write("// changed\n");
    changed.close();
    // Git's own status refreshes the index's record of the files once (a tree
    // just committed is "racily clean"): both sides then start from the same index.
    run(QStringLiteral("git"), {QStringLiteral("status"), QStringLiteral("--porcelain")}, top);
    return top;
}

/** A file of 1,001 lines: commit n changes line n, so line 0 goes back to the first commit. */
QString historyRepository()
{
    const QString top = corpus("git-history");
    const QString file = top + QStringLiteral("/page.php");
    if (QFileInfo::exists(top + QStringLiteral("/.git/HEAD")))
        return file;
    QDir(top).removeRecursively();
    MadeRepo repo(top);
    QList<QByteArray> lines;
    for (int i = 0; i <= 1000; ++i)
        lines << "echo 'ligne " + QByteArray::number(i) + "';";
    for (int n = 0; n < 1000; ++n) {
        if (n > 0)
            lines[n] = "echo 'ligne " + QByteArray::number(n) + ", revue';";
        repo.add(QStringLiteral("page.php"), lines.join('\n') + '\n');
        repo.commit(("Revue de la ligne " + QByteArray::number(n)).constData(), n % 2 ? "Ana Martin" : "Bruno Petit",
                    1700000000 + n * 3600);
    }
    // Packed, as Git keeps a history of that length (automatic gc).
    run(QStringLiteral("git"), {QStringLiteral("gc"), QStringLiteral("-q")}, top);
    return file;
}

void BM_GitStatusWordPress(benchmark::State &state)
{
    const GitRepository repository = GitRepository::open(g_wordpress);
    QStringList paths;
    for (auto _ : state) {
        const GitStatus status = repository.status();
        if (!status.error.isEmpty())
            state.SkipWithError(status.error.toUtf8().constData());
        paths.clear();
        for (const GitStatusEntry &entry : status.entries)
            paths << entry.path;
    }
    state.SetLabel(paths.join(u' ').toStdString());
}
BENCHMARK(BM_GitStatusWordPress)->Unit(benchmark::kMillisecond)->MinTime(2.0);

/** Processor time of the finished children, in milliseconds. */
double childrenCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

/** `git status --porcelain` on the same tree; "cpu_git_ms" is git's own processor time per run. */
void BM_GitCommandStatusWordPress(benchmark::State &state)
{
    const double before = childrenCpuMs();
    for (auto _ : state) {
        if (!run(QStringLiteral("git"), {QStringLiteral("status"), QStringLiteral("--porcelain")}, g_wordpress))
            state.SkipWithError("git status failed");
    }
    state.counters["cpu_git_ms"] = (childrenCpuMs() - before) / double(state.iterations());
}
BENCHMARK(BM_GitCommandStatusWordPress)->Unit(benchmark::kMillisecond)->MinTime(2.0);

/** 10,000 lines of PHP as the index holds them (LF). */
QByteArray tenThousandLines()
{
    QByteArray text;
    for (int i = 0; i < 10000; ++i)
        text += "    $total += compute_line_value($items[" + QByteArray::number(i) + "], $rate);\n";
    return text;
}

/** The editor's copy (CR LF) with `edits` lines changed, spread over the file. */
QByteArray editedCopy(const QByteArray &base, int edits, const char *typed)
{
    QList<QByteArray> lines = base.split('\n');
    lines.removeLast();
    for (int e = 0; e < edits; ++e)
        lines[(e * 7919 + 5000) % lines.size()] += typed;
    return lines.join("\r\n") + "\r\n";
}

/** A key typed in a 10,000-line file with `range(0)` lines already changed (the key's among them). */
void BM_ChangeBarsAfterAKey(benchmark::State &state)
{
    const QByteArray base = tenThousandLines();
    const ChangeBars bars(base);
    const int edits = int(state.range(0));
    // Two texts a key apart: the same lines changed, the last key differs.
    const QByteArray before = editedCopy(base, edits, "x");
    const QByteArray after = editedCopy(base, edits, "xy");
    qsizetype runs = 0;
    bool flip = false;
    for (auto _ : state) {
        runs = bars.compare(flip ? after : before).size();
        flip = !flip;
    }
    state.counters["zones"] = double(runs);
}
BENCHMARK(BM_ChangeBarsAfterAKey)->Arg(1)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond);

/** Blame of a line last changed `range(0)` commits ago (1,000: the first commit). */
void BM_BlameOfALine(benchmark::State &state)
{
    const GitRepository repository = GitRepository::open(g_history);
    QFile file(g_history);
    if (!file.open(QIODevice::ReadOnly))
        state.SkipWithError("no file");
    const QByteArray text = file.readAll();
    const int line = 1000 - int(state.range(0));
    QString author;
    for (auto _ : state) {
        const GitBlame blame = repository.blameLine(g_history, text, line);
        if (!blame.committed)
            state.SkipWithError("no blame");
        author = blame.author;
    }
    state.SetLabel(author.toStdString());
}
BENCHMARK(BM_BlameOfALine)->Arg(1)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    try {
        g_wordpress = wordpressRepository();
        g_history = historyRepository();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "the benchmark's repositories could not be made: %s\n", error.what());
        return 1;
    }
    if (g_wordpress.isEmpty())
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
