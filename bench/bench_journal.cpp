// The journal of unsaved text at 10 MB: what the UI thread pays when it is due
// (a copy of the text, handed to the writer), and the write itself, off that thread.
#include "editor/richedit.h"
#include "files/editedfile.h"
#include "io/recovery.h"

#include <QApplication>
#include <QElapsedTimer>

#include "benchmain.h"

#include <benchmark/benchmark.h>

namespace {

QByteArray tenMegabytes()
{
    return repeatedTo("    echo \"<td>\" . htmlspecialchars($row['name']) . \"</td>\";\r\n", 10 << 20);
}

void BM_JournalDueOnTheUiThread(benchmark::State &state)
{
    RichEdit editor;
    EditedFile file(&editor);
    editor.setBytes(tenMegabytes());
    JournalWriter writer;
    for (auto _ : state) {
        writer.schedule(QStringLiteral("/srv/site/page.php"), editor.wholeText(), file.identity());
        state.PauseTiming();
        writer.wait();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_JournalDueOnTheUiThread)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_JournalWriteOffTheUiThread(benchmark::State &state)
{
    RichEdit editor;
    editor.setBytes(tenMegabytes());
    const QByteArray text = editor.wholeText();
    JournalWriter writer;
    for (auto _ : state) {
        writer.schedule(QStringLiteral("/srv/site/page.php"), text, FileIdentity{});
        writer.wait();
    }
}
BENCHMARK(BM_JournalWriteOffTheUiThread)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

} // namespace

ONDREL_QT_BENCHMARK_MAIN
