// Speed of the editor on very long lines (minified code on one line).
#include "app/main.h"
#include "editor/richedit.h"
#include "files/editedfile.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "benchmain.h"

#include <benchmark/benchmark.h>

namespace {

/** About `size` bytes of minified PHP/JS-like code without any line break. */
QByteArray singleLine(qsizetype size)
{
    return repeatedTo("$a=f($b,\"s\");if($c>1){g(\"x\".$d);}else{h($e);}var k=[1,2,3];", size).left(size);
}

/** Times one typed key at a time in the real window, the caret at `caret` of `text`. */
void typeKeys(benchmark::State &state, const QByteArray &text, qsizetype caret, bool colorier)
{
    QTemporaryDir dir;
    TfmMain window(QDir(dir.path()).filePath(QStringLiteral("ondrel")));
    window.show();
    window.cbPhpColouring->setChecked(false); // the design's colouring
    window.showPage(window.tsEdit);
    window.cbColore->setChecked(colorier);
    window.M->setBytes(text);
    window.M->setFocus();
    window.M->setSelStart(caret);
    QCoreApplication::processEvents();
    for (auto _ : state) {
        QTest::keyClick(window.M, Qt::Key_X);
        QCoreApplication::processEvents(); // the repaint of the typed character
    }
    window.M->setModified(false);
}

void BM_TypeInSingleLine(benchmark::State &state)
{
    typeKeys(state, singleLine(state.range(0)), state.range(0) / 2, state.range(1) != 0);
    state.SetLabel(state.range(1) ? "Colorier" : "plain");
}
BENCHMARK(BM_TypeInSingleLine)->Args({1 << 20, 0})->Args({1 << 20, 1})->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK(BM_TypeInSingleLine)->Args({20 << 20, 0})->Args({20 << 20, 1})->Unit(benchmark::kMillisecond)->Iterations(20);

/** Typing near the end of a 10 MB text of ordinary lines: the per-key cost that grows with the offset. */
void BM_TypeNearTheEndOfLongText(benchmark::State &state)
{
    const QByteArray text = repeatedTo("    $total = compute($a, \"text\") + 1; // words\r\n", state.range(0));
    typeKeys(state, text, text.size() - 10, false);
}
BENCHMARK(BM_TypeNearTheEndOfLongText)->Arg(10 << 20)->Unit(benchmark::kMillisecond)->Iterations(30);

void BM_LoadSingleLine(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("min.js"));
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(singleLine(state.range(0)));
    }
    RichEdit editor;
    EditedFile edited(&editor);
    editor.resize(800, 600);
    editor.show();
    for (auto _ : state) {
        edited.load(path);
        QCoreApplication::processEvents(); // the first paint of the loaded text
    }
}
BENCHMARK(BM_LoadSingleLine)->Arg(20 << 20)->Unit(benchmark::kMillisecond)->Iterations(3);

/** 10 MB of PHP lines holding `matches` times the word "needle". */
QByteArray textWithMatches(qsizetype size, int matches)
{
    QByteArray text;
    text.reserve(size + 128);
    const qsizetype every = size / matches;
    int placed = 0;
    while (text.size() < size) {
        if (placed < matches && text.size() >= placed * every) {
            text += "needle ";
            ++placed;
        }
        text += "$a = f($b); // words\r\n";
    }
    return text;
}

void BM_ReplaceAll(benchmark::State &state)
{
    RichEdit editor;
    EditedFile edited(&editor);
    editor.resize(800, 600);
    editor.show();
    const QByteArray text = textWithMatches(10 << 20, int(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        editor.setBytes(text);
        state.ResumeTiming();
        const qsizetype count = editor.search()->replaceAll(QStringLiteral("needle"), QStringLiteral("pin"), {});
        QCoreApplication::processEvents();
        if (count != state.range(0))
            state.SkipWithError("wrong count");
    }
}
BENCHMARK(BM_ReplaceAll)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FindNext(benchmark::State &state)
{
    RichEdit editor;
    EditedFile edited(&editor);
    editor.resize(800, 600);
    editor.show();
    QByteArray text = textWithMatches(10 << 20, 1); // one match at the start: each search goes round
    editor.setBytes(text);
    for (auto _ : state) {
        state.PauseTiming();
        editor.setSelStart(editor.textLength() / 2);
        editor.insert(QStringLiteral("x")); // the buffer's gap in the middle, as after typing
        state.ResumeTiming();
        if (!editor.search()->findMatch(QStringLiteral("needle"), {state.range(0) != 0, false, false}, false))
            state.SkipWithError("not found");
    }
    state.SetLabel(state.range(0) ? "match case" : "any case");
}
BENCHMARK(BM_FindNext)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

} // namespace

ONDREL_QT_BENCHMARK_MAIN
