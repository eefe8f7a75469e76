// Speed of the editor: the colouring pass alone, "Tout colorier" through the real
// control, loading a big file, and start-up to the window shown.
#include "app/main.h"
#include "app/sessioncontroller.h"
#include "widgets/widgets.h"
#include "editor/colouring.h"
#include "editor/richedit.h"
#include "files/editedfile.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>

#include "benchmain.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace {

/** About `size` bytes of PHP-like text with strings, calls and variables on every line. */
QByteArray phpText(qsizetype size)
{
    static const char *lines[] = {
        "<?php\r\n",
        "$total = count($rows) + strlen(\"abc\") - 1;\r\n",
        "    echo \"<td>\" . htmlspecialchars($row['name']) . \"</td>\";\r\n",
        "if (isset($_GET[\"id\"])) { $id = intval($_GET[\"id\"]); }\r\n",
        "// a comment line with words and punctuation; nothing more\r\n",
        "$result = mysql_query(\"SELECT * FROM t WHERE a=\" . $a);\r\n",
    };
    QByteArray text;
    text.reserve(size + 128);
    for (int i = 0; text.size() < size; ++i)
        text += lines[i % 6];
    return text;
}

void BM_ColouringPass(benchmark::State &state)
{
    const QByteArray text = phpText(state.range(0));
    std::vector<ColourClass> out(static_cast<size_t>(text.size() + 1));
    for (auto _ : state) {
        colourPass(text.constData(), 0, text.size(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_ColouringPass)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

/**
 * "Tout colorier" as people meet it: on a text just loaded, with colours picked since,
 * so that every style of the text changes. The load and the colour change are made
 * before each timed pass, outside the timing. The time is the click to the coloured
 * view painted, the window free again; the colours of the text away from the view are
 * written after, while idle: the counter "tout_ecrit_ms" is the click to the last of them.
 */
void BM_ToutColorier(benchmark::State &state)
{
    QTemporaryDir dir;
    TfmMain window(QDir(dir.path()).filePath(QStringLiteral("ondrel")));
    window.show();
    window.cbPhpColouring->setChecked(false); // the design's colouring
    window.showPage(window.tsEdit);
    const QByteArray text = phpText(state.range(0));
    // Two sets of colours taken in turn: each pass finds every coloured byte in another colour.
    const Colour strings[] = {0x0000C0, 0x008000};
    const Colour functions[] = {0xC00000, 0x800080};
    int turn = 0;
    double allWritten = 0;
    for (auto _ : state) {
        state.PauseTiming();
        window.M->setBytes(text);
        window.CoulChaines = strings[turn % 2];
        window.CoulFonctions = functions[turn % 2];
        ++turn;
        QCoreApplication::processEvents();
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        window.sbColorieClick();
        QCoreApplication::processEvents(); // include the repaint of the coloured view
        state.PauseTiming();
        while (window.M->colours()->coloursPending())
            QCoreApplication::processEvents();
        allWritten += double(clock.nsecsElapsed()) / 1e6;
        state.ResumeTiming();
    }
    state.counters["tout_ecrit_ms"] = allWritten / double(state.iterations());
    state.SetBytesProcessed(state.iterations() * window.M->textLength());
}
BENCHMARK(BM_ToutColorier)->Arg(10 << 20)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_LoadFile(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.php"));
    QByteArray text = phpText(state.range(0));
    if (state.range(1))
        text.replace("\r\n", "\n"); // a Linux file: line breaks become CR LF on load
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(text);
    }
    RichEdit editor;
    EditedFile edited(&editor);
    editor.resize(800, 600);
    editor.show();
    for (auto _ : state) {
        edited.load(path);
        QCoreApplication::processEvents();
    }
    state.SetBytesProcessed(state.iterations() * text.size());
    state.SetLabel(state.range(1) ? "LF file" : "CR LF file");
}
BENCHMARK(BM_LoadFile)->Args({10 << 20, 0})->Args({10 << 20, 1})->Unit(benchmark::kMillisecond)->Iterations(5);

/**
 * One keystroke in the middle of a 10 MB text in the real window, from the key
 * press to the end of its handlers (the unsaved-text journal is only re-armed here).
 */
void BM_KeystrokeIn10MBText(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.php"));
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(phpText(10 << 20));
    }
    TfmMain window(QDir(dir.path()).filePath(QStringLiteral("ondrel")));
    window.show();
    window.cbPhpColouring->setChecked(false); // the design's colouring
    window.session()->editedFile()->load(path);
    window.eFile->setText(path);
    window.showPage(window.tsEdit);
    window.M->setFocus();
    window.M->setSelStart(window.M->textLength() / 2);
    QCoreApplication::processEvents();
    for (auto _ : state) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(window.M, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(window.M, &release);
    }
}
BENCHMARK(BM_KeystrokeIn10MBText)->Unit(benchmark::kMicrosecond)->Iterations(2000);

void BM_StartUpToWindowShown(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString base = QDir(dir.path()).filePath(QStringLiteral("ondrel"));
    for (auto _ : state) {
        TfmMain window(base);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            state.SkipWithError("window not exposed");
        state.PauseTiming();
        window.hide();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartUpToWindowShown)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

ONDREL_QT_BENCHMARK_MAIN
