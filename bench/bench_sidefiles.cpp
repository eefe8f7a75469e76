// Cost of the side files at start-up and shut-down: one whole run of the window
// (create, show, destroy) with a keyword list and a query history of growing
// size, shut-down alone with what it merges, and the settings file alone read
// and rewritten in memory.
#include "app/main.h"
#include "pages/databasepage.h"
#include "db/simplecombo.h"
#include "settings/profile.h"
#include "settings/sidefiles.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextCursor>

#include "benchmain.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <sys/stat.h>
#include <memory>

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

/** `lines` keyword signatures and as many history statements, CR LF ended. */
void writeSideFiles(const QString &folder, int lines)
{
    QByteArray keywords;
    QByteArray history;
    for (int i = 0; i < lines; ++i) {
        keywords += "string function_number_" + QByteArray::number(i) + "(string $a, int $b)\r\n";
        history += "select * from table_" + QByteArray::number(i) + " where id > 10\r\n";
    }
    writeBytes(folder + QStringLiteral("/ondrel.php"), keywords);
    writeBytes(folder + QStringLiteral("/ondrel.qry"), history);
    writeBytes(folder + QStringLiteral("/ondrel.ini"),
               "[Params]\r\nInitialDir=" + QFile::encodeName(folder) + "\r\n");
}

void BM_WindowRunWithSideFiles(benchmark::State &state)
{
    QTemporaryDir dir;
    writeSideFiles(dir.path(), static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto window = std::make_unique<TfmMain>(dir.filePath(QStringLiteral("ondrel")));
        window->show();
        window.reset(); // FormDestroy writes the three files back
    }
    state.SetLabel(std::to_string(state.range(0)) + " keyword lines and history items");
}
BENCHMARK(BM_WindowRunWithSideFiles)->Arg(0)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

/**
 * Shut-down alone, the window created and shown beforehand: this run added one
 * keyword line and one statement, and another copy of the program added 100
 * statements to the history file in the meantime.
 */
void BM_ShutDownWithSideFiles(benchmark::State &state)
{
    QTemporaryDir dir;
    const int lines = static_cast<int>(state.range(0));
    const QString history = dir.filePath(QStringLiteral("ondrel.qry"));
    QByteArray others;
    for (int i = 0; i < 100; ++i)
        others += "select " + QByteArray::number(i) + " from another_window\r\n";
    for (auto _ : state) {
        state.PauseTiming();
        writeSideFiles(dir.path(), lines);
        auto window = std::make_unique<TfmMain>(dir.filePath(QStringLiteral("ondrel")));
        window->show();
        QTextCursor end(window->mAide->document());
        end.movePosition(QTextCursor::End);
        end.insertText(QStringLiteral("\nstring new_function(string $a)"));
        window->databasePage->cb->addItem(QStringLiteral("select * from new_table"));
        QFile file(history);
        if (file.open(QIODevice::Append))
            file.write(others);
        file.close();
        state.ResumeTiming();
        window.reset(); // FormDestroy
    }
    state.SetLabel(std::to_string(lines) + " keyword lines and history items");
}
BENCHMARK(BM_ShutDownWithSideFiles)->Arg(20000)->Unit(benchmark::kMillisecond);

/** What changes when a file is replaced or written to: its inode and its modification time. */
struct FileStamp
{
    ino_t inode = 0;
    timespec modified{};
    bool operator!=(const FileStamp &o) const
    {
        return inode != o.inode || modified.tv_sec != o.modified.tv_sec || modified.tv_nsec != o.modified.tv_nsec;
    }
};

FileStamp stampOf(const QString &path)
{
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return {info.st_ino, info.st_mtim};
}

/**
 * Shut-down of a run that left a 1,000,000-line keyword list as it found it;
 * the counter "keywordWrites" tells how many shut-downs rewrote the file.
 */
void BM_ShutDownWithUnchangedKeywordList(benchmark::State &state)
{
    QTemporaryDir dir;
    writeSideFiles(dir.path(), 0);
    QByteArray keywords;
    for (int i = 0; i < 1000000; ++i)
        keywords += "string function_number_" + QByteArray::number(i) + "(string $a, int $b)\r\n";
    const QString path = dir.filePath(QStringLiteral("ondrel.php"));
    writeBytes(path, keywords);
    keywords.clear();
    auto window = std::make_unique<TfmMain>(dir.filePath(QStringLiteral("ondrel")));
    window->show();
    int writes = 0;
    for (auto _ : state) {
        const FileStamp before = stampOf(path);
        window->FormDestroy();
        state.PauseTiming();
        if (stampOf(path) != before)
            ++writes;
        state.ResumeTiming();
    }
    state.counters["keywordWrites"] = writes;
}
BENCHMARK(BM_ShutDownWithUnchangedKeywordList)->Iterations(3)->Unit(benchmark::kMillisecond);

/** The history merge alone: 20,000 items loaded, one removed and one added by the run, 100 by another copy. */
void BM_HistoryMerge(benchmark::State &state)
{
    QStringList loaded;
    for (int i = 0; i < 20000; ++i)
        loaded << QStringLiteral("select * from table_%1 where id > 10").arg(i);
    QStringList now = loaded;
    now.removeAt(5000);
    now << QStringLiteral("select * from new_table");
    QStringList disk = loaded;
    for (int i = 0; i < 100; ++i)
        disk << QStringLiteral("select %1 from another_window").arg(i);
    for (auto _ : state)
        benchmark::DoNotOptimize(mergedHistory(disk, loaded, now));
}
BENCHMARK(BM_HistoryMerge)->Unit(benchmark::kMillisecond);

void BM_SettingsReadAndRewrite(benchmark::State &state)
{
    QByteArray file = "[MainW]\r\nx=80\r\ny=60\r\nw=640\r\nh=480\r\nMaxi=0\r\n[Params]\r\n";
    for (int i = 0; i < state.range(0); ++i)
        file += "Perso" + QByteArray::number(i) + "=une valeur ajoutée à la main\r\n";
    file += "Site=http://localhost/\r\n[Mysql]\r\nHost=localhost\r\n";
    for (auto _ : state) {
        ProfileFile ini(file);
        benchmark::DoNotOptimize(ini.readString(u"Params", u"Site"));
        ini.eraseSection(u"MainW");
        for (const char16_t *key : {u"x", u"y", u"w", u"h", u"Maxi"})
            ini.writeInteger(u"MainW", QStringView(key), 1);
        for (const char16_t *key : {u"Fichier", u"Site", u"Param", u"InitialDir", u"Aide"})
            ini.writeString(u"Params", QStringView(key), QStringLiteral("valeur"));
        benchmark::DoNotOptimize(ini.bytes());
    }
}
BENCHMARK(BM_SettingsReadAndRewrite)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);

} // namespace

ONDREL_QT_BENCHMARK_MAIN
