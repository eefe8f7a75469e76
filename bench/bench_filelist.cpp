// Speed of listing a folder of 50,000 files: the reading and sorting alone, the
// file list filling itself, and entering the folder through the folder list with
// the window drawn afterwards. The goal is under 0.5 s for the whole step.
#include "files/browser.h"
#include "files/listing.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QTemporaryDir>

#include "benchmain.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kFiles = 50000;

/** A folder of kFiles files of mixed names and case, plus an empty sibling, made once. */
struct BigFolder
{
    QTemporaryDir dir;
    QString big = dir.filePath(QStringLiteral("gros"));
    QString empty = dir.filePath(QStringLiteral("vide"));

    BigFolder()
    {
        QDir().mkpath(big);
        QDir().mkpath(empty);
        const char *extensions[] = {".php", ".PHP3", ".txt", ".inc", ".jpg", ".GIF"};
        for (int i = 0; i < kFiles; ++i) {
            const QByteArray name = QFile::encodeName(big) + (i % 2 ? "/Page_" : "/page_")
                + QByteArray::number((i * 7919) % kFiles) + extensions[i % 6];
            const int fd = ::open(name.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (fd >= 0)
                ::close(fd);
        }
    }
};

BigFolder &bigFolder()
{
    static BigFolder folder;
    return folder;
}

void BM_ListFilesPure(benchmark::State &state)
{
    const QString mask = state.range(0) ? QStringLiteral("*.php3") : QStringLiteral("*.*");
    QStringList names;
    for (auto _ : state) {
        listFiles(bigFolder().big, mask, &names);
        benchmark::DoNotOptimize(names);
    }
    state.counters["files"] = double(names.size());
}
BENCHMARK(BM_ListFilesPure)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_FileListBoxFill(benchmark::State &state)
{
    FileListBox list;
    list.resize(400, 600);
    list.show();
    for (auto _ : state) {
        state.PauseTiming();
        list.setFolder(bigFolder().empty);
        QApplication::processEvents();
        state.ResumeTiming();
        list.setFolder(bigFolder().big);
        QApplication::processEvents(); // layout and first paint
    }
    state.counters["files"] = double(list.count());
}
BENCHMARK(BM_FileListBoxFill)->Unit(benchmark::kMillisecond)->UseRealTime();

/** Entering the big folder from another one through the linked lists, as a double click does. */
void BM_EnterFolderThroughFolderList(benchmark::State &state)
{
    QWidget page;
    auto *row = new QHBoxLayout(&page);
    auto *folders = new DirectoryListBox(&page);
    auto *files = new FileListBox(&page);
    row->addWidget(folders);
    row->addWidget(files);
    folders->setFileList(files);
    page.resize(729, 480);
    page.show();
    for (auto _ : state) {
        state.PauseTiming();
        folders->setCurrentFolder(bigFolder().empty);
        QApplication::processEvents();
        state.ResumeTiming();
        folders->setCurrentFolder(bigFolder().big);
        QApplication::processEvents();
    }
    state.counters["files"] = double(files->count());
}
BENCHMARK(BM_EnterFolderThroughFolderList)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    return runQtBenchmarks(argc, argv, [] { bigFolder(); });
}
