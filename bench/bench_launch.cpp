// Launches of the real program: `ondrel --version` (goal: under 50 ms) and a
// second `ondrel FILE` handing its file to the running window and ending (goal:
// under 100 ms). Each iteration starts one process and waits for its end.
#include "app/handover.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

/** Starts `argv` and waits for it; its exit status, or -1. */
int runOnce(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_Version(benchmark::State &state)
{
    const std::vector<std::string> args = {ONDREL_PROGRAM, "--version"};
    ::unsetenv("DISPLAY");
    for (auto _ : state) {
        if (runOnce(args) != 0)
            state.SkipWithError("ondrel --version failed");
    }
}
BENCHMARK(BM_Version)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HandOver(benchmark::State &state)
{
    // A copy of the program and its two modules in a folder of its own (its side files
    // go there), running headless.
    QTemporaryDir dir;
    const QString exe = dir.filePath(QStringLiteral("ondrel"));
    const QString runtime = dir.filePath(QStringLiteral("run"));
    QFile::copy(QStringLiteral(ONDREL_PROGRAM), exe);
    QFile::copy(QStringLiteral(ONDREL_WINDOW_MODULE_FILE), dir.filePath(QStringLiteral("ondrel-fenetre.so")));
    QFile::copy(QStringLiteral(ONDREL_PREVIEW_MODULE_FILE), dir.filePath(QStringLiteral("ondrel-apercu.so")));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString page = dir.filePath(QStringLiteral("page.php"));
    QFile file(page);
    file.open(QIODevice::WriteOnly);
    file.write("<?php echo 1;\n");
    file.close();
    ::setenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit().constData(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QProcess window;
    window.start(exe, {});
    const bool serving = QTest::qWaitFor([&] {
        const QStringList sockets = QDir(runtime).entryList({QStringLiteral("ondrel-*.sock")}, QDir::System);
        return !sockets.isEmpty() && windowListens(QDir(runtime).filePath(sockets.first()));
    }, 60000);
    if (!serving) {
        state.SkipWithError("the first window did not start");
        return;
    }
    const std::vector<std::string> args = {exe.toStdString(), page.toStdString()};
    for (auto _ : state) {
        if (runOnce(args) != 0)
            state.SkipWithError("the hand-over failed");
    }
    window.terminate();
    window.waitForFinished(30000);
}
BENCHMARK(BM_HandOver)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv); // QProcess and the waits
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
