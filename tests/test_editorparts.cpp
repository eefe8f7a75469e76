// The parts attached to the editor control, each driven alone on a real editor
// with no window around it.
#include "support/qtmain.h"

#include "editor/editordocuments.h"
#include "editor/editorsearch.h"
#include "editor/errormarks.h"
#include "editor/longlines.h"
#include "editor/richedit.h"

#include <Qsci/qscidocument.h>

#include <QTest>

#include <utility>
#include <vector>

namespace {

TEST(ErrorMarks, SyntaxAndServerMarksKeepToTheirOwnSource)
{
    // Each step marks or clears; after it, the first marked line and the messages of line 1.
    enum class Op { Lint, Server, ClearServer, ClearLint };
    const struct
    {
        Op op;
        int line;
        const char *message;
        int firstLine;
        const char *onLine1;
    } steps[] = {
        {Op::Server, 1, "serveur", 1, "serveur"},
        {Op::Server, 1, "serveur", 1, "serveur"},          // the same error again: one mark
        {Op::Server, 1, "autre", 1, "serveur\nautre"},
        {Op::Lint, 2, "syntaxe", 1, "serveur\nautre"},
        {Op::Lint, 0, "syntaxe", 0, "serveur\nautre"},     // one syntax error at a time: line 2 lost its mark
        {Op::ClearServer, 0, "", 0, ""},
        {Op::Lint, 1, "syntaxe", 1, "syntaxe"},
        {Op::Server, 1, "syntaxe", 1, "syntaxe"},          // a message twice on a line is read once
        {Op::ClearLint, 0, "", 1, "syntaxe"},              // the server's mark stays
        {Op::ClearServer, 0, "", -1, ""},
        {Op::Server, 99, "au-delà", 2, ""},                // past the end: the last line
    };
    RichEdit editor;
    editor.setBytes("a\r\nb\r\nc");
    ErrorMarks *marks = editor.errorMarks();
    int k = 0;
    for (const auto &step : steps) {
        const QString message = QString::fromUtf8(step.message);
        switch (step.op) {
        case Op::Lint: marks->markErrorLine(step.line, message); break;
        case Op::Server: marks->markServerError(step.line, message); break;
        case Op::ClearServer: marks->clearServerErrors(); break;
        case Op::ClearLint: marks->markErrorLine(-1); break;
        }
        EXPECT_EQ(marks->errorLine(), step.firstLine) << "step " << k;
        EXPECT_EQ(marks->errorMessages(1), QString::fromUtf8(step.onLine1)) << "step " << k;
        ++k;
    }
    EXPECT_EQ(marks->errorMessages(2), QStringLiteral("au-delà"));
}

TEST(ErrorMarks, MarksFollowTheirLineAndGoWithTheText)
{
    RichEdit editor;
    editor.setBytes("a\r\nb\r\nc");
    editor.errorMarks()->markServerError(1, QStringLiteral("erreur"));
    editor.SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, 0UL, "x\r\ny\r\n"); // two lines above it
    EXPECT_EQ(editor.errorMarks()->errorLine(), 3);
    EXPECT_EQ(editor.errorMarks()->errorMessages(3), QStringLiteral("erreur"));
    EXPECT_EQ(editor.errorMarks()->errorMessages(1), QString());
    editor.setBytes("autre\r\ntexte");
    EXPECT_EQ(editor.errorMarks()->errorLine(), -1);
    EXPECT_EQ(editor.errorMarks()->errorMessages(1), QString());
}

TEST(ErrorMarks, AClickOrAHoverFindsTheMarkedLineOnlyInTheMargin)
{
    RichEdit editor;
    editor.resize(400, 300);
    editor.setBytes("a\r\nb\r\nc");
    editor.errorMarks()->setMarginVisible(true);
    EXPECT_TRUE(editor.errorMarks()->marginVisible());
    editor.errorMarks()->markServerError(1, QStringLiteral("erreur"));
    const int height = int(editor.SendScintilla(QsciScintillaBase::SCI_TEXTHEIGHT, 0L));
    const struct
    {
        int x, line; // y is the middle of `line`
        int marked;  // what a click finds
    } cases[] = {
        {1, 1, 1},
        {1, 0, -1},   // a line without a mark
        {1, 5, -1},   // below the last line
        {300, 1, -1}, // in the text, not the margin
        {-1, 1, -1},
    };
    for (const auto &c : cases) {
        const QPoint at(c.x, c.line * height + height / 2);
        EXPECT_EQ(editor.errorMarks()->markedLineAt(at), c.marked) << c.x << "," << c.line;
        EXPECT_EQ(editor.errorMarks()->messagesAt(at), c.marked >= 0 ? QStringLiteral("erreur") : QString())
            << c.x << "," << c.line;
    }
    editor.errorMarks()->setMarginVisible(false);
    EXPECT_FALSE(editor.errorMarks()->marginVisible());
}

TEST(EditorSearch, FindsRoundTheEndOfTheTextBothWays)
{
    const struct
    {
        qsizetype caret;
        bool backwards;
        qsizetype matchStart; // where the match selected starts
    } cases[] = {
        {0, false, 2},
        {3, false, 9},
        {10, false, 2}, // past the last one: round to the first
        {15, true, 9},
        {9, true, 2},
        {2, true, 9},   // before the first one: round to the last
    };
    RichEdit editor;
    editor.setBytes("a needle needle");
    for (const auto &c : cases) {
        editor.setSelStart(c.caret);
        EXPECT_TRUE(editor.search()->findMatch(QStringLiteral("ne"), {}, c.backwards)) << c.caret;
        EXPECT_EQ(editor.selStart(), c.matchStart) << c.caret << (c.backwards ? " backwards" : "");
        EXPECT_EQ(editor.selLength(), 2) << c.caret;
    }
    editor.setSelStart(4);
    EXPECT_FALSE(editor.search()->findMatch(QStringLiteral("pin"), {}, false));
    EXPECT_EQ(editor.selStart(), 4);
    EXPECT_EQ(editor.selLength(), 0);
}

TEST(EditorSearch, ReplaceAllIsOneUndoStepAndKeepsTheColoursBetweenMatches)
{
    const struct
    {
        const char *text, *pattern, *replacement;
        EditorSearch::Options options;
        qsizetype count;
        const char *after;
    } cases[] = {
        {"ab ab AB", "ab", "x", {}, 3, "x x x"},
        {"ab ab AB", "ab", "x", {true, false, false}, 2, "x x AB"},
        {"ab abc", "ab", "x", {false, true, false}, 1, "x abc"},
        {"a1 b22", "([a-z])(\\d+)", "\\2\\1", {false, false, true}, 2, "1a 22b"},
        {"rien", "ab", "x", {}, 0, "rien"},
    };
    for (const auto &c : cases) {
        RichEdit editor;
        editor.setBytes(c.text);
        editor.setSelStart(0);
        editor.setSelLength(editor.textLength());
        editor.setSelColour(0x0000FF); // every byte red before
        EXPECT_EQ(editor.search()->replaceAll(QString::fromUtf8(c.pattern), QString::fromUtf8(c.replacement), c.options),
                  c.count)
            << c.text << " / " << c.pattern;
        EXPECT_EQ(editor.wholeText(), QByteArray(c.after)) << c.text << " / " << c.pattern;
        if (c.count > 0) {
            // The bytes between the first and the last match keep their colour; the new ones have none.
            const qsizetype space = editor.wholeText().indexOf(' ');
            EXPECT_TRUE(editor.hasOwnColour(space)) << c.text;
            EXPECT_FALSE(editor.hasOwnColour(space - 1)) << c.text;
            editor.undo();
            EXPECT_EQ(editor.wholeText(), QByteArray(c.text)) << "one undo gives the text back: " << c.text;
        }
    }
}

TEST(EditorSearch, AResultIsAppliedOnlyToTheTextItWasFoundIn)
{
    RichEdit editor;
    editor.setBytes("un deux un");
    const FindRequest request = editor.search()->request(FindRequest::Kind::ReplaceAll, QStringLiteral("un"),
                                                         QStringLiteral("1"), {});
    FindProgress progress;
    const FindResult result = runFind(request, progress);
    ASSERT_EQ(result.outcome, FindResult::Outcome::Found);
    editor.SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, 0UL, "x"); // the text changed meanwhile
    EXPECT_FALSE(editor.search()->applyFound(request, result));
    EXPECT_EQ(editor.wholeText(), QByteArray("xun deux un"));
    editor.setBytes("un deux un");
    EXPECT_TRUE(editor.search()->applyFound(request, result));
    EXPECT_EQ(editor.wholeText(), QByteArray("1 deux 1"));
}

TEST(LongLines, ALineIsLongPastThirtyTwoKilobytesBetweenTwoCarriageReturns)
{
    constexpr qsizetype limit = 32 * 1024;
    const struct
    {
        QByteArray text;
        bool holds;
    } cases[] = {
        {QByteArray(limit, 'a'), false},
        {QByteArray(limit + 1, 'a'), true},
        {"x\r\n" + QByteArray(limit - 1, 'a'), false},      // the LF after the CR counts with the line
        {"x\r\n" + QByteArray(limit, 'a'), true},
        {"x\r" + QByteArray(limit + 1, 'a') + "\r\ny", true}, // in the middle
        {QByteArray(limit, 'a') + "\r\n" + QByteArray(limit - 1, 'b'), false},
        {QByteArray(2 * limit, '\n'), true},                 // only CR ends a line
        {QByteArray(), false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(LongLines::holdsLongLine(c.text), c.holds) << c.text.size() << " bytes";
}

TEST(EditorColours, MoreColoursThanStylesStayExactWhileFewAreOnScreen)
{
    // The control has about 250 styles: one character coloured 600 times over needs
    // the styles of the colours no character has any more back.
    RichEdit editor;
    editor.setBytes("abc");
    for (Colour k = 1; k <= 600; ++k) {
        const Colour colour = k * 37; // 600 colours, all different
        editor.setSelStart(1);
        editor.setSelLength(1);
        editor.setSelColour(colour);
        ASSERT_EQ(editor.colourAt(1), colour) << k;
    }
    EXPECT_FALSE(editor.hasOwnColour(0));
    EXPECT_FALSE(editor.hasOwnColour(2));
}

TEST(EditorColours, APassWritesOnlyIntoItsRangeAndAgainAfterAnEdit)
{
    RichEdit editor;
    editor.setBytes("$a = f(\"x\");\r\n$b = g(1);");
    const Colour base = 0x000000, strings = 0xFF0000, functions = 0x0000FF;
    editor.colours()->colourZone(0, 13, base, strings, functions); // the first line and its CR
    const struct
    {
        qsizetype offset;
        Colour colour;
        bool own;
    } cases[] = {
        {0, functions, true},   // $a
        {5, functions, true},   // f
        {8, strings, true},     // x
        {6, base, true},        // (
        {15, base, false},      // the second line: untouched
    };
    for (const auto &c : cases) {
        EXPECT_EQ(editor.colourAt(c.offset), c.colour) << c.offset;
        EXPECT_EQ(editor.hasOwnColour(c.offset), c.own) << c.offset;
    }
    // One edit since the pass: the next pass over the same line writes what changed.
    editor.SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, 5UL, "h");
    editor.colours()->colourZone(0, 14, base, strings, functions);
    EXPECT_EQ(editor.colourAt(5), functions); // "hf" is the function now
    EXPECT_EQ(editor.colourAt(6), functions);
    EXPECT_EQ(editor.colourAt(9), strings);
    EXPECT_FALSE(editor.colours()->coloursPending());
}

TEST(EditorDocuments, EachTextGetsBackItsCaretAndItsMarks)
{
    RichEdit editor;
    editor.setBytes("premier\r\ntexte\r\nici");
    editor.setSelStart(10);
    editor.errorMarks()->markServerError(2, QStringLiteral("erreur du premier"));
    const QsciDocument first = editor.document();

    EditorDocuments::ShownState firstState = editor.documents()->leave();
    QsciDocument second;
    editor.documents()->show(second, nullptr, {});
    EXPECT_EQ(editor.textLength(), 0);
    EXPECT_EQ(editor.errorMarks()->errorLine(), -1) << "a new text has no marks";
    editor.setBytes("second");
    editor.setSelStart(3);
    editor.errorMarks()->markErrorLine(0, QStringLiteral("syntaxe"));

    const EditorDocuments::ShownState secondState = editor.documents()->leave();
    editor.documents()->show(first, nullptr, std::move(firstState));
    EXPECT_EQ(editor.wholeText(), QByteArray("premier\r\ntexte\r\nici"));
    EXPECT_EQ(editor.selStart(), 10);
    EXPECT_EQ(editor.errorMarks()->errorLine(), 2);
    EXPECT_EQ(editor.errorMarks()->errorMessages(2), QStringLiteral("erreur du premier"));
    EXPECT_EQ(editor.errorMarks()->errorMessages(0), QString());

    editor.documents()->leave();
    editor.documents()->show(second, nullptr, secondState);
    EXPECT_EQ(editor.wholeText(), QByteArray("second"));
    EXPECT_EQ(editor.selStart(), 3);
    EXPECT_EQ(editor.errorMarks()->errorMessages(0), QStringLiteral("syntaxe"));
}

} // namespace

ONDREL_QT_TEST_MAIN
