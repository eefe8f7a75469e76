// "Coloration PHP": the cost of a key in a 10 MB PHP file with and without the
// lexer (the lexing and the CSS colours a paint asks for, then a whole repaint), in
// a page of PHP and in one long style sheet, and the first paint of a 10 MB file
// after its load, with and without it.
#include "app/main.h"
#include "app/sessioncontroller.h"
#include "editor/richedit.h"
#include "files/editedfile.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>

#include "benchmain.h"

namespace {

QByteArray phpPage(qsizetype size)
{
    return repeatedTo("<?php\r\n"
                      "$total = count($rows) + strlen('abc') - 1; // the rows\r\n"
                      "    echo \"<td>\" . htmlspecialchars($row['name']) . \"</td>\";\r\n"
                      "if (isset($_GET[\"id\"])) { $id = intval($_GET[\"id\"]); }\r\n"
                      "?>\r\n<p class=\"note\">Some text of the page &amp; more</p>\r\n",
                      size);
}

/**
 * A page of PHP whose second half is one style block: from the middle on, every line
 * shown is CSS, each with many colours.
 */
QByteArray stylePage(qsizetype size)
{
    return phpPage(size / 2) + "<style>\r\n"
           + repeatedTo("td.name > a:hover { color: #336699; margin: 0 2px; font-family: \"Courier New\", monospace; }"
                        " /* note */\r\n",
                        size / 2)
           + "</style>\r\n";
}

QString writePage(const QTemporaryDir &dir, qsizetype size, bool css = false)
{
    const QString path = dir.filePath(QStringLiteral("big.php"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(css ? stylePage(size) : phpPage(size));
    return path;
}

void typeKey(QWidget *editor)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(editor, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(editor, &release);
}

/**
 * A key in the middle of a 10 MB page in the real window, eight on a line, then the next. Range 0: "Coloration PHP"
 * off or on. Range 1: 0 times the key and what the next paint asks before it draws: the
 * lexing (from the changed line to the end of the view) and the CSS colours of the
 * view, announced as the paint does; 1 the key and a whole repaint. Range 2: 1 for the
 * page that is one style sheet.
 */
void BM_KeyIn10MBPage(benchmark::State &state)
{
    const bool php = state.range(0) != 0;
    const bool repaint = state.range(1) != 0;
    const bool css = state.range(2) != 0;
    QTemporaryDir dir;
    const QString path = writePage(dir, 10 << 20, css);
    TfmMain window(QDir(dir.path()).filePath(QStringLiteral("ondrel")));
    window.show();
    window.cbPhpColouring->setChecked(php);
    window.session()->editedFile()->load(path);
    window.showPage(window.tsEdit);
    window.M->setFocus();
    window.M->setSelStart(window.M->textLength() / 2 + (css ? 4096 : 0));
    QCoreApplication::processEvents();
    window.M->viewport()->repaint();
    RichEdit *m = window.M;
    int line = m->lineOfOffset(m->selStart());
    int typed = 0;
    for (auto _ : state) {
        if (typed++ % 8 == 0) {
            // A few keys on a line of ordinary length, then the next line (the move and
            // its paint are not the key's).
            state.PauseTiming();
            m->setSelStart(m->lineStartOffset(++line) + 10);
            m->viewport()->repaint();
            state.ResumeTiming();
        }
        typeKey(m);
        if (repaint) {
            m->viewport()->repaint();
        } else if (php) {
            const long last = m->SendScintilla(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE)
                              + m->SendScintilla(QsciScintillaBase::SCI_LINESONSCREEN) + 1;
            const long end = m->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, static_cast<unsigned long>(last));
            const long styled = m->SendScintilla(QsciScintillaBase::SCI_GETENDSTYLED);
            if (styled < end)
                m->SendScintilla(QsciScintillaBase::SCI_COLOURISE, static_cast<unsigned long>(styled), end);
            Q_EMIT m->SCN_UPDATEUI(QsciScintillaBase::SC_UPDATE_CONTENT);
        }
    }
    if (php && !m->lexing()->active())
        state.SkipWithError("the lexer does not run");
    bool coloured = false;
    for (qsizetype at = m->lineStartOffset(line); at < m->lineEndOffset(line); ++at)
        coloured = coloured || m->colourAt(at) != m->textColour();
    if (php && css && !coloured)
        state.SkipWithError("the style sheet is not coloured");
    state.SetLabel(std::string(php ? "Coloration PHP" : "without") + (repaint ? ", repaint" : ", lexing and CSS")
                   + (css ? ", style sheet" : ""));
}
BENCHMARK(BM_KeyIn10MBPage)->Args({0, 0, 0})->Args({1, 0, 0})->Args({0, 1, 0})->Args({1, 1, 0})
    ->Args({0, 0, 1})->Args({1, 0, 1})->Args({1, 1, 1})
    ->Unit(benchmark::kMicrosecond)->Iterations(1000);

/** Loading a 10 MB page and painting it the first time, without and with the lexer; range 1: the style sheet. */
void BM_FirstPaintOf10MBPage(benchmark::State &state)
{
    const bool php = state.range(0) != 0;
    const bool css = state.range(1) != 0;
    QTemporaryDir dir;
    const QString path = writePage(dir, 10 << 20, css);
    RichEdit editor;
    EditedFile edited(&editor);
    editor.resize(800, 600);
    editor.show();
    editor.lexing()->setPhpColouring(php);
    QCoreApplication::processEvents();
    for (auto _ : state) {
        edited.load(path);
        editor.viewport()->repaint();
    }
    state.SetLabel(std::string(php ? "Coloration PHP" : "without") + (css ? ", style sheet" : ""));
}
BENCHMARK(BM_FirstPaintOf10MBPage)->Args({0, 0})->Args({1, 0})->Args({0, 1})->Args({1, 1})
    ->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

ONDREL_QT_BENCHMARK_MAIN
