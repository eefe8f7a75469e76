// The open files' tabs:
//  - switching between two open 10 MB files, to the text shown (goal: at most
//    30 ms), each switch the first one after the file left was loaded again;
//  - one keystroke in a 10 MB PHP text with 1 and with 20 files open, "Coloration PHP" on as
//    for a new user (goal: the same, under 200 µs), and with one file without the lexer;
//  - the memory each open file holds (goal: at most 1.5 × its size + 1 MB), for big
//    files and for many small ones.
#include "app/main.h"
#include "app/sessioncontroller.h"
#include "editor/richedit.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <fstream>
#include <malloc.h>

#include "benchmain.h"

#include <benchmark/benchmark.h>

namespace {

constexpr qsizetype kBig = 10 * 1024 * 1024;
constexpr int kKeysOnALine = 8;
constexpr int kColumn = 20; // inside the call's string argument: the hint shows the parameter

/** What the next paint asks of the lexer: styles from the last styled byte to the end of the view. */
void lexToEndOfView(RichEdit *editor)
{
    using Base = QsciScintillaBase;
    const long last = editor->SendScintilla(Base::SCI_GETFIRSTVISIBLELINE) + editor->SendScintilla(Base::SCI_LINESONSCREEN) + 1;
    const long end = editor->SendScintilla(Base::SCI_POSITIONFROMLINE, static_cast<unsigned long>(last));
    const long styled = editor->SendScintilla(Base::SCI_GETENDSTYLED);
    if (styled < end)
        editor->SendScintilla(Base::SCI_COLOURISE, static_cast<unsigned long>(styled), end);
}

struct Tabs
{
    QTemporaryDir dir;
    std::unique_ptr<TfmMain> window;

    QString write(const QString &name, qsizetype size)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(repeatedTo("<?php echo strlen('une ligne de texte'); // commentaire\n", size));
        return path;
    }

    Tabs()
    {
        window = std::make_unique<TfmMain>(dir.filePath(QStringLiteral("ondrel")));
        window->resize(1200, 800);
        window->show();
        window->showPage(window->tsEdit);
    }

    void shown()
    {
        QApplication::processEvents();
        window->M->repaint();
    }
};

void BM_SwitchBetweenTwo10MbFiles(benchmark::State &state)
{
    Tabs tabs;
    const QString a = tabs.write(QStringLiteral("a.php"), kBig);
    const QString b = tabs.write(QStringLiteral("b.php"), kBig);
    tabs.window->openSiteFile(a);
    for (auto _ : state) {
        state.PauseTiming();
        const int open = int(tabs.window->session()->openFiles().size()) - 1;
        if (open > 0)
            tabs.window->session()->closeFileTab(open); // b goes, and comes back loaded afresh
        tabs.window->openSiteFile(b);
        tabs.shown();
        state.ResumeTiming();
        tabs.window->session()->showFileTab(0); // to a.php, left since b's load
        tabs.shown();
    }
}
BENCHMARK(BM_SwitchBetweenTwo10MbFiles)->Unit(benchmark::kMillisecond)->Iterations(8);

void BM_KeystrokeIn10MbWithFilesOpen(benchmark::State &state)
{
    Tabs tabs;
    const bool php = state.range(1) != 0;
    tabs.window->cbPhpColouring->setChecked(php);
    for (int i = 0; i + 1 < state.range(0); ++i)
        tabs.window->openSiteFile(tabs.write(QStringLiteral("f%1.php").arg(i), 256 * 1024));
    tabs.window->openSiteFile(tabs.write(QStringLiteral("big.php"), kBig));
    tabs.shown();
    RichEdit *editor = tabs.window->M;
    editor->setFocus();
    int line = editor->lineOfOffset(editor->textLength() / 2);
    int typed = 0;
    for (auto _ : state) {
        if (typed++ % kKeysOnALine == 0) {
            // The user types a few keys on a line of ordinary length, then moves on (the
            // caret's move and the paint that follows it are not the key's).
            state.PauseTiming();
            editor->setSelStart(editor->lineStartOffset(++line) + kColumn);
            tabs.shown();
            state.ResumeTiming();
        }
        // From the key press to the end of its handlers, then the lexing the next paint
        // asks for: from the changed line to the end of the view.
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(editor, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(editor, &release);
        lexToEndOfView(editor);
    }
    if (php != editor->lexing()->active())
        state.SkipWithError("\"Coloration PHP\" is not as asked");
    state.SetLabel(php ? "Coloration PHP" : "without");
}
BENCHMARK(BM_KeystrokeIn10MbWithFilesOpen)->Args({1, 1})->Args({20, 1})->Args({1, 0})->Unit(benchmark::kMicrosecond)->Iterations(2000);

/** Bytes the heap holds for the program, freed blocks given back first. */
double heapHeld()
{
    ::malloc_trim(0);
    const struct mallinfo2 info = ::mallinfo2();
    return double(info.uordblks + info.hblkhd);
}

/** Resident memory of the process, in bytes. */
double residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(::sysconf(_SC_PAGESIZE));
}

/**
 * range(0) files of range(1) bytes opened one after the other, each shown once as it
 * opens, as a user opens them; what the heap and the process hold after, per file.
 */
void BM_MemoryPerOpenFile(benchmark::State &state)
{
    const int count = int(state.range(0));
    const qsizetype size = state.range(1);
    for (auto _ : state) {
        Tabs tabs;
        tabs.window->openSiteFile(tabs.write(QStringLiteral("first.php"), 4096)); // the window's own state is there
        tabs.shown();
        QStringList paths;
        for (int i = 0; i < count; ++i)
            paths << tabs.write(QStringLiteral("f%1.php").arg(i), size);
        const double heapBefore = heapHeld();
        const double residentBefore = residentBytes();
        for (const QString &path : std::as_const(paths)) {
            tabs.window->openSiteFile(path);
            tabs.shown();
        }
        if (tabs.window->session()->openFiles().size() != count + 1)
            state.SkipWithError("a file did not open");
        const double perFileHeap = (heapHeld() - heapBefore) / count;
        const double perFileResident = (residentBytes() - residentBefore) / count;
        const double goal = 1.5 * double(size) + double(1 << 20);
        state.counters["heap_per_file_MB"] = perFileHeap / double(1 << 20);
        state.counters["rss_per_file_MB"] = perFileResident / double(1 << 20);
        state.counters["goal_MB"] = goal / double(1 << 20);
        state.counters["heap_of_goal"] = perFileHeap / goal;
    }
}
BENCHMARK(BM_MemoryPerOpenFile)->Args({4, kBig})->Args({20, 256 * 1024})->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

ONDREL_QT_BENCHMARK_MAIN
