// "Coloration PHP" and the CSS of style blocks, through the real control: the colour
// each character is drawn in once painted, as edits open and close blocks, as the
// view moves, and as the lexer goes away or the control shows another text.
#include "support/qtmain.h"
#include "support/testsupport.h"

#include "editor/phppalette.h"
#include "editor/richedit.h"

#include <Qsci/qscidocument.h>

#include <QTest>

namespace {

using K = PhpStyleKind;

/** A shown editor with "Coloration PHP" on, as a user has it. */
struct ShownEditor
{
    RichEdit editor;
    ShownEditor()
    {
        editor.resize(800, 600);
        editor.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&editor));
        editor.lexing()->setPhpColouring(true);
    }
    void show(const QByteArray &text)
    {
        editor.setBytes(text);
        paint();
    }
    void paint() { editor.viewport()->repaint(); }
    Colour colourOf(K kind) const { return phpTokenColour(kind, editor.backgroundColour(), editor.textColour()); }
    Colour colourAt(const QByteArray &text, const char *needle, int nth = 0) const
    {
        const qsizetype at = offsetOf(text, needle, nth);
        EXPECT_GE(at, 0) << needle;
        return editor.colourAt(at);
    }
};

TEST(CssColouring, TheCssOfAStyleBlockIsDrawnInThePalette)
{
    const struct
    {
        const char *text, *needle;
        int nth;
        K kind; // the palette's kind the character is drawn as
    } cases[] = {
        {"<style>\r\np.note { color: red; margin: -2px }\r\n</style>", "p.note", 0, K::Tag},
        {"<style>\r\np.note { color: red; margin: -2px }\r\n</style>", "color", 0, K::Attribute},
        {"<style>\r\np.note { color: red; margin: -2px }\r\n</style>", "red", 0, K::Variable},
        {"<style>\r\np.note { color: red; margin: -2px }\r\n</style>", "-2px", 0, K::Number},
        {"<style>\r\np.note { color: red; margin: -2px }\r\n</style>", "{", 0, K::Plain},
        {"<style>@media print { a { b: 'x' } }</style>", "@media", 0, K::Keyword},
        {"<style>@media print { a { b: 'x' } }</style>", "'x'", 0, K::String},
        // Comments, strings holding a brace.
        {"<style>/* a { b } */ p { top: 1px }</style>", "b }", 0, K::Comment},
        {"<style>/* a { b } */ p { top: 1px }</style>", "top", 0, K::Attribute},
        {"<style>p { content: \"}\"; color: red }</style>", "color", 0, K::Attribute},
        // PHP inside a block keeps the lexer's colours, and its braces and tags are not the CSS's.
        {"<style>p { color: <?= $c ?>; margin: 0 }</style>", "$c", 0, K::Variable},
        {"<style>p { color: <?= $c ?>; margin: 0 }</style>", "margin", 0, K::Attribute},
        {"<style>p { color: <?= $c ?>; margin: 0 }</style>", "0 }", 0, K::Number},
        {"<style>p { <?php echo '}'; ?> color: red }</style>", "color", 0, K::Attribute},
        {"<style>p { <?php echo '}'; ?> color: red }</style>", "echo", 0, K::Keyword},
        {"<style><?php $s = '</style>'; ?> p { top: 1px }</style>", "p {", 0, K::Tag},
        {"<style><?php $s = '</style>'; ?> p { top: 1px }</style>", "top", 0, K::Attribute},
        {"<?php $s = '<style>'; ?> p { top: 1px }", "top", 0, K::Plain},
        // The block ends at its closing tag; an opening tag with attributes, in capitals.
        {"<style>p{}</style><p>top: 1px</p>", "top", 0, K::Plain},
        {"<STYLE type=\"text/css\">p { top: 1px }</STYLE>", "top", 0, K::Attribute},
        {"<STYLE type=\"text/css\">p { top: 1px }</STYLE>", "text/css", 0, K::String},
        {"<p>color: red;</p>", "color", 0, K::Plain},
        {"<!-- <style> --> p { top: 1 }", "top", 0, K::Plain},
        // The old way of hiding a style sheet in a comment: the CSS inside is coloured.
        {"<style><!--\r\np { top: 1px }\r\n--></style>", "top", 0, K::Attribute},
        {"<style><!--\r\np { top: 1px }\r\n--></style>", "<!--", 0, K::Comment},
        {"<style><!--\r\np { top: 1px }\r\n--></style>", "{", 0, K::Plain},
        {"<style></style><p>x { top: 1 }</p>", "top", 0, K::Plain},
    };
    ShownEditor shown;
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.needle);
        const QByteArray text(c.text);
        shown.show(text);
        EXPECT_EQ(shown.colourAt(text, c.needle, c.nth), shown.colourOf(c.kind));
    }
}

TEST(CssColouring, EditsThatOpenAndCloseABlockRecolourWhatFollows)
{
    ShownEditor shown;
    RichEdit &editor = shown.editor;
    const QByteArray text = "<p>a</p>\r\np { top: 1px }\r\n";
    shown.show(text);
    const auto colourOfTop = [&] {
        shown.paint();
        return editor.colourAt(offsetOf(editor.wholeText(), "top"));
    };
    EXPECT_EQ(colourOfTop(), editor.textColour());

    editor.setFocus();
    editor.setSelStart(offsetOf(text, "p {"));
    QTest::keyClicks(&editor, "<style>");
    EXPECT_EQ(colourOfTop(), shown.colourOf(K::Attribute)); // typed: the block is open

    editor.setSelStart(offsetOf(editor.wholeText(), "p {"));
    QTest::keyClicks(&editor, "</style>");
    EXPECT_EQ(colourOfTop(), editor.textColour()); // closed before the rule

    editor.setSelStart(offsetOf(editor.wholeText(), "</style>"));
    editor.setSelLength(8);
    QTest::keyClick(&editor, Qt::Key_Delete);
    EXPECT_EQ(colourOfTop(), shown.colourOf(K::Attribute));
    editor.setSelStart(offsetOf(editor.wholeText(), "p {"));
    QTest::keyClicks(&editor, "/*");
    EXPECT_EQ(colourOfTop(), shown.colourOf(K::Comment)); // a comment opened above runs on
    QTest::keyClick(&editor, Qt::Key_Backspace);
    EXPECT_EQ(colourOfTop(), shown.colourOf(K::Attribute));
    // Typing "?" after "<" of the tag turns it into PHP: the block is gone.
    editor.setSelStart(offsetOf(editor.wholeText(), "<style>") + 1);
    QTest::keyClicks(&editor, "?php ");
    EXPECT_EQ(colourOfTop(), editor.textColour());
}

TEST(CssColouring, OnlyWhatIsShownIsColouredAndScrollingColoursTheRest)
{
    ShownEditor shown;
    RichEdit &editor = shown.editor;
    // A long block, with a comment opened near its start that runs far down.
    QByteArray text = "<style>\r\n/* opened here\r\n";
    for (int line = 0; line < 3000; ++line)
        text += (line == 2000 ? "*/ b { top: 1px }\r\n" : "a { color: red }\r\n");
    text += "</style>\r\n";
    shown.show(text);
    const qsizetype far = offsetOf(text, "top");
    EXPECT_EQ(editor.colourAt(offsetOf(text, "color", 5)), shown.colourOf(K::Comment));
    EXPECT_EQ(editor.colourAt(far), editor.textColour()); // not shown, not coloured

    editor.SendScintilla(QsciScintillaBase::SCI_SETFIRSTVISIBLELINE, static_cast<unsigned long>(editor.lineOfOffset(far) - 5));
    shown.paint();
    EXPECT_EQ(editor.colourAt(far), shown.colourOf(K::Attribute));
    EXPECT_EQ(editor.colourAt(far - 7), shown.colourOf(K::Comment)); // the comment's end, still one

    // Back up, then an edit far above the view: the view is worked out again.
    editor.SendScintilla(QsciScintillaBase::SCI_SETFIRSTVISIBLELINE, 0UL);
    shown.paint();
    editor.SendScintilla(QsciScintillaBase::SCI_SETFIRSTVISIBLELINE, static_cast<unsigned long>(editor.lineOfOffset(far) - 5));
    editor.SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, static_cast<unsigned long>(offsetOf(text, "here") + 4), "*/");
    shown.paint();
    EXPECT_EQ(editor.colourAt(far + 2), shown.colourOf(K::Attribute));
    EXPECT_EQ(editor.colourAt(far - 2), shown.colourOf(K::Tag)); // "b" is a selector now
}

TEST(CssColouring, LinesThatComeIntoViewAsTheEditorGrowsAreColoured)
{
    ShownEditor shown;
    RichEdit &editor = shown.editor;
    QByteArray text = "<style>\r\n";
    for (int line = 0; line < 60; ++line)
        text += "a { color: red }\r\n";
    text += "</style>\r\n";
    editor.resize(800, 100);
    shown.show(text);
    const qsizetype low = offsetOf(text, "color", 40);
    ASSERT_EQ(editor.colourAt(low), editor.textColour()); // below the view
    editor.resize(800, 1200);
    QCoreApplication::processEvents();
    shown.paint();
    EXPECT_EQ(editor.colourAt(low), shown.colourOf(K::Attribute));
}

TEST(CssColouring, UntickedOrInAnotherTextNoCssColourIsLeft)
{
    ShownEditor shown;
    RichEdit &editor = shown.editor;
    const QByteArray css = "<style>p { top: 1px }</style>";
    shown.show(css);
    ASSERT_EQ(shown.colourAt(css, "top"), shown.colourOf(K::Attribute));

    // Unticked: every character in the text colour, as without the lexer.
    editor.lexing()->setPhpColouring(false);
    shown.paint();
    for (qsizetype at = 0; at < css.size(); ++at)
        EXPECT_EQ(editor.colourAt(at), editor.textColour()) << at;
    editor.lexing()->setPhpColouring(true);
    shown.paint();
    ASSERT_EQ(shown.colourAt(css, "top"), shown.colourOf(K::Attribute));

    // Another text shown: left while ticked, unticked there, shown again.
    const QsciDocument firstDocument = editor.document();
    const EditorDocuments::ShownState first = editor.documents()->leave();
    QsciDocument other;
    editor.documents()->show(other, nullptr, {});
    editor.setBytes("<p>top</p>");
    shown.paint();
    EXPECT_EQ(editor.colourAt(3), editor.textColour());
    editor.lexing()->setPhpColouring(false);
    editor.documents()->leave();
    editor.documents()->show(firstDocument, nullptr, first);
    shown.paint();
    for (qsizetype at = 0; at < css.size(); ++at)
        EXPECT_EQ(editor.colourAt(at), editor.textColour()) << at;

    // Ticked again with a dark palette: the colours are the new palette's.
    editor.lexing()->setPhpColouring(true);
    editor.setBackgroundColour(0x202020);
    editor.setTextColour(0xE0E0E0);
    shown.paint();
    EXPECT_EQ(shown.colourAt(css, "top"), phpTokenColour(K::Attribute, 0x202020, 0xE0E0E0));
    EXPECT_EQ(shown.colourAt(css, "{"), Colour(0xE0E0E0));
}

} // namespace

ONDREL_QT_TEST_MAIN
