// Cost of the side files at start-up and shut-down: one whole run of the window
// (create, show, destroy) with a keyword list and a query history of growing
// size, and the settings file alone read and rewritten in memory.
#include "app/main.h"
#include "settings/profile.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "benchmain.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
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
