// Speed of one refresh after a key release (Ligne) with line colouring on: the
// read-out, the hint search in a 2,000-line keyword list and the recolouring of
// the caret's line must not grow with the size of the text.
#include "app/main.h"
#include "widgets/widgets.h"
#include "editor/richedit.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include "benchmain.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <unistd.h>

namespace {

QByteArray phpLines(qsizetype size)
{
    return repeatedTo("    $total = count($rows) + strlen(\"abc\") - 1; // some words\r\n", size);
}

QString keywordList(int lines)
{
    QString list;
    for (int i = 0; i < lines; ++i)
        list += QStringLiteral("string function_number_%1(string $a, int $b)\n").arg(i);
    list += QStringLiteral("int strlen(string $s)\n");
    return list;
}

void BM_LigneWithColorier(benchmark::State &state)
{
    QTemporaryDir dir;
    TfmMain window(QDir(dir.path()).filePath(QStringLiteral("ondrel")));
    window.show();
    window.cbPhpColouring->setChecked(false); // the design's colouring
    window.showPage(window.tsEdit);
    window.mAide->setPlainText(keywordList(2000));
    window.eAide->setText(dir.path() + QStringLiteral("/doc/"));
    window.cbColore->setChecked(true);
    window.M->setBytes(phpLines(state.range(0)));
    window.M->setFocus();
    // The caret in the middle of the text, just after a "(" so the hint search runs.
    const int middle = window.M->lineCount() / 2;
    const qsizetype at = window.M->lineStartOffset(middle) + 35; // after "strlen("
    window.M->setSelStart(at);
    window.M->insert(QStringLiteral("x")); // the gap of the buffer sits at the caret, as after typing
    window.M->setSelStart(at);
    for (auto _ : state)
        window.Ligne();
    state.SetLabel(window.Label6->text().isEmpty() ? "no hint" : "hint found");
}
BENCHMARK(BM_LigneWithColorier)->Arg(100 << 10)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMicrosecond);

} // namespace

ONDREL_QT_BENCHMARK_MAIN
