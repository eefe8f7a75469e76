// PHP's own keyword list and the completion list: reflection at a first start
// (no cache), the cache read of later starts, and the completion list with
// 10,000 candidates when it opens and when one more letter is typed.
#include "editor/editorcompletion.h"
#include "editor/phpsignatures.h"
#include "editor/richedit.h"
#include "preview/phpserver.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

#include "benchmain.h"

namespace {

void typeText(QWidget *editor, const QString &text)
{
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(editor, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(editor, &release);
    }
}

/** A first start: `php --version`, no cache, reflection, the cache written. */
void BM_ReflectionFirstStart(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString php = phpExecutable();
    const QString cache = dir.filePath(QStringLiteral("ondrel/php-signatures.txt"));
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(cache);
        state.ResumeTiming();
        benchmark::DoNotOptimize(loadPhpSignatures(php, cache));
    }
}
BENCHMARK(BM_ReflectionFirstStart)->Unit(benchmark::kMillisecond)->Iterations(3);

/** A later start: the cache read (range 0), and with `php --version` to check it (range 1). */
void BM_SignatureCacheRead(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString php = phpExecutable();
    const QString cache = dir.filePath(QStringLiteral("ondrel/php-signatures.txt"));
    const QString version = phpVersionLine(php);
    loadPhpSignatures(php, cache);
    for (auto _ : state) {
        if (state.range(0))
            benchmark::DoNotOptimize(loadPhpSignatures(php, cache));
        else
            benchmark::DoNotOptimize(readSignatureCache(cache, version));
    }
    state.SetLabel(state.range(0) ? "with php --version" : "cache file only");
}
BENCHMARK(BM_SignatureCacheRead)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

/**
 * The completion list over 10,000 candidates that all start with "ab": range 0
 * times the second letter, which opens it; range 1 one more letter once it is open.
 */
void BM_CompletionList10000(benchmark::State &state)
{
    QString list;
    for (int i = 0; i < 10000; ++i)
        list += QStringLiteral("ab%1_name(string $a, int $b = 0): array|false\n").arg(i, 5, 10, QLatin1Char('0'));
    RichEdit editor;
    editor.resize(800, 600);
    editor.show();
    EditorCompletion completion(&editor, [&] { return std::pair(list, QString()); });
    const bool oneMore = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        editor.SendScintilla(QsciScintillaBase::SCI_AUTOCCANCEL);
        editor.setBytes("<?php\r\necho ");
        editor.setSelStart(editor.textLength());
        typeText(&editor, oneMore ? QStringLiteral("ab") : QStringLiteral("a"));
        if (oneMore && !completion.isOpen())
            state.SkipWithError("the list did not open");
        state.ResumeTiming();
        typeText(&editor, oneMore ? QStringLiteral("0") : QStringLiteral("b"));
    }
    if (!completion.isOpen())
        state.SkipWithError("the list is not open");
    state.SetLabel(oneMore ? "one more letter" : "second letter, the list opens");
}
BENCHMARK(BM_CompletionList10000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

ONDREL_QT_BENCHMARK_MAIN
