// "Coloration PHP": the control's lexer for PHP in HTML, the palette it is drawn
// in, how it leaves long lines alone, the controls it greys, and its setting.
#include "support/qtmain.h"
#include "support/testsupport.h"

#include "app/main.h"
#include "widgets/widgets.h"
#include "editor/phppalette.h"
#include "editor/richedit.h"
#include "settings/profile.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QTest>

namespace {

using K = PhpStyleKind;

TEST(PhpColouring, TheLexerColoursEachKindOfTokenOfAPage)
{
    const struct
    {
        const char *text, *needle;
        int nth;
        K kind;
    } cases[] = {
        {"<p class=\"x\">Hi</p><?php echo 'a'; ?>", "p", 0, K::Tag},
        {"<p class=\"x\">Hi</p><?php echo 'a'; ?>", "class", 0, K::Attribute},
        {"<p class=\"x\">Hi</p><?php echo 'a'; ?>", "Hi", 0, K::Plain},
        {"<p class=\"x\">Hi</p><?php echo 'a'; ?>", "echo", 0, K::Keyword},
        {"<p class=\"x\">Hi</p><?php echo 'a'; ?>", "'a'", 0, K::String},
        {"<?php\r\n$x = 42; // note\r\n", "$x", 0, K::Variable},
        {"<?php\r\n$x = 42; // note\r\n", "42", 0, K::Number},
        {"<?php\r\n$x = 42; // note\r\n", "note", 0, K::Comment},
        {"<?php /* a\r\nb */ if ($a) {}", "b */", 0, K::Comment},
        {"<?php /* a\r\nb */ if ($a) {}", "if", 0, K::Keyword},
        {"<?php # hash\r\nwhile (1) {}", "hash", 0, K::Comment},
        // Heredoc: its text, a variable inside it, and the code after its end.
        {"<?php\r\n$s = <<<EOT\r\nline $v here\r\nEOT;\r\necho 1;\r\n", "line", 0, K::String},
        {"<?php\r\n$s = <<<EOT\r\nline $v here\r\nEOT;\r\necho 1;\r\n", "$v", 0, K::Variable},
        {"<?php\r\n$s = <<<EOT\r\nline $v here\r\nEOT;\r\necho 1;\r\n", "echo", 0, K::Keyword},
        // "?>" inside a string does not end the PHP block.
        {"<?php $a = '?>'; echo 2; ?><b>", "echo", 0, K::Keyword},
        {"<?php $a = \"?>\"; echo 2; ?><b>", "echo", 0, K::Keyword},
        {"<?php $a = '?>'; echo 2; ?><b>", "b", 0, K::Tag},
        // Outside PHP, "echo" is text of the page.
        {"<div>echo</div>", "echo", 0, K::Plain},
        {"<script>var n = 1;</script>", "var", 0, K::Keyword},
        {"<!-- hidden -->", "hidden", 0, K::Comment},
    };
    RichEdit editor;
    editor.lexing()->setPhpColouring(true);
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.needle);
        const QByteArray text(c.text);
        editor.setBytes(text);
        editor.recolor();
        const qsizetype at = offsetOf(text, c.needle, c.nth);
        ASSERT_GE(at, 0);
        EXPECT_EQ(int(editor.lexing()->styleKindAt(at)), int(c.kind));
        EXPECT_EQ(editor.colourAt(at), phpTokenColour(c.kind, editor.backgroundColour(), editor.textColour()));
    }
}

TEST(PhpColouring, EveryColourOfThePaletteReadsOnLightAndDarkBackgrounds)
{
    const K kinds[] = {K::Keyword, K::String, K::Comment, K::Number, K::Variable, K::Tag, K::Attribute, K::Error};
    const Colour backgrounds[] = {0xFFFFFF, 0x000000, 0x800000 /* navy */, 0xC0FFFF /* light yellow */,
                                  0x202020, 0x808080, 0x2B2B2B};
    for (Colour background : backgrounds) {
        SCOPED_TRACE(background);
        QList<Colour> seen;
        for (K kind : kinds) {
            const Colour colour = phpTokenColour(kind, background, 0x000000);
            EXPECT_GE(contrastRatio(colour, background), kind == K::Comment ? 3.0 : 4.5) << int(kind);
            if (background != 0x808080) // on mid-grey several kinds end up at the same far end
                EXPECT_FALSE(seen.contains(colour)) << int(kind);
            seen.append(colour);
        }
        EXPECT_EQ(phpTokenColour(K::Plain, background, 0x123456), Colour(0x123456));
    }
    EXPECT_DOUBLE_EQ(contrastRatio(0x000000, 0xFFFFFF), 21.0);
}

TEST(PhpColouring, ALongLineKeepsItsOwnHandlingAndTheLexerComesBackAfterIt)
{
    RichEdit editor;
    editor.resize(600, 400);
    editor.show();
    editor.lexing()->setPhpColouring(true);
    const QByteArray longLine = "<?php $a = 1; " + QByteArray(100 * 1024, 'x') + "\r\necho 1;";
    editor.setBytes(longLine);
    EXPECT_FALSE(editor.lexing()->active());
    EXPECT_FALSE(editor.longLines()->isShown(60 * 1024)); // far from the caret: hidden as without the lexer
    EXPECT_TRUE(editor.longLines()->isShown(10));
    editor.setBytes("<?php echo 1;");
    EXPECT_TRUE(editor.lexing()->active());
    editor.recolor();
    EXPECT_EQ(int(editor.lexing()->styleKindAt(6)), int(K::Keyword));

    // A long line pasted in: the lexer leaves, and the far bytes are hidden.
    QApplication::clipboard()->setText(QString(QByteArray(100 * 1024, 'y')));
    editor.setSelStart(editor.textLength());
    editor.paste();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !editor.lexing()->active(); }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(editor.longLines()->isShown(editor.textLength() - 60 * 1024));
    EXPECT_TRUE(editor.lexing()->phpColouring()); // the wish stays: the next text is lexed again
}

TEST(PhpColouring, UntickedTheTextTakesTheDesignColouringAgain)
{
    RichEdit editor;
    editor.setTextColour(0x000000);
    editor.lexing()->setPhpColouring(true);
    const QByteArray text = "<?php $a = strlen(\"x\");";
    editor.setBytes(text);
    editor.recolor();
    ASSERT_NE(editor.colourAt(offsetOf(text, "$a")), Colour(0x000000));
    editor.colours()->colourZone(0, editor.textLength(), 0x000000, 0xFF0000, 0x0000FF); // does nothing while lexing
    EXPECT_EQ(editor.colourAt(offsetOf(text, "x")), phpTokenColour(K::String, editor.backgroundColour(), 0));

    editor.lexing()->setPhpColouring(false);
    for (qsizetype at = 0; at < text.size(); ++at)
        EXPECT_FALSE(editor.hasOwnColour(at)) << at;
    editor.colours()->colourZone(0, editor.textLength(), 0x000000, 0xFF0000, 0x0000FF);
    EXPECT_EQ(editor.colourAt(offsetOf(text, "x")), Colour(0xFF0000));
    EXPECT_EQ(editor.colourAt(offsetOf(text, "strlen")), Colour(0x0000FF));
}

TEST(PhpColouring, ThePaletteFollowsFondAndPolice)
{
    RichEdit editor;
    editor.lexing()->setPhpColouring(true);
    const QByteArray text = "<?php if ($a) {}";
    editor.setBytes(text);
    editor.recolor();
    editor.setBackgroundColour(0x202020);
    editor.setTextColour(0xE0E0E0);
    EXPECT_EQ(editor.colourAt(offsetOf(text, "if")), phpTokenColour(K::Keyword, 0x202020, 0xE0E0E0));
    EXPECT_EQ(editor.colourAt(offsetOf(text, "{")), Colour(0xE0E0E0));
}

class PhpColouringBox : public ::testing::Test
{
protected:
    TempFolder folder;
    QString ini = folder.path("ondrel.ini");
    std::unique_ptr<TfmMain> start(bool show = true) { return makeWindow(folder.path(QString()), show); }
};

TEST_F(PhpColouringBox, TickedForANewUserUntickedForSettingsWrittenBeforeIt)
{
    const struct
    {
        const char *ini; // null: no settings file
        bool ticked;
    } cases[] = {
        {nullptr, true},
        {"[Params]\r\nFichier=\r\n", false},
        {"[Params]\r\nColorationPHP=0\r\n", false},
        {"[Params]\r\nColorationPHP=1\r\n", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.ini ? c.ini : "(none)");
        QFile::remove(ini);
        if (c.ini)
            writeFile(ini, c.ini);
        auto w = start();
        EXPECT_EQ(w->cbPhpColouring->isChecked(), c.ticked);
        EXPECT_EQ(w->M->lexing()->phpColouring(), c.ticked);
        w->cbPhpColouring->setChecked(!c.ticked);
        w.reset(); // shut-down writes the settings
        EXPECT_EQ(ProfileFile(readFile(ini)).readBool(QStringLiteral("Params"), QStringLiteral("ColorationPHP"), c.ticked),
                  !c.ticked);
    }
}

TEST_F(PhpColouringBox, TickedItGreysTheDesignColouringAndUntickedItGivesItBack)
{
    auto w = start();
    w->showPage(w->tsEdit);
    const QList<QWidget *> design = {w->cbColore, w->sbColorie, w->SpeedButton5, w->SpeedButton6};
    w->cbPhpColouring->setChecked(true);
    for (QWidget *control : design)
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    EXPECT_TRUE(w->SpeedButton3->isEnabled()); // "Fond" and "Police" make the palette
    EXPECT_TRUE(w->SpeedButton4->isEnabled());

    // "Colorier" ticked before stays ticked but recolours nothing while greyed.
    w->cbPhpColouring->setChecked(false);
    w->cbColore->setChecked(true);
    w->cbPhpColouring->setChecked(true);
    w->M->setBytes("<?php $a = strlen(\"x\");");
    w->M->setSelStart(3);
    w->Ligne();
    EXPECT_EQ(w->Label5->text(), QStringLiteral("Pos: 3,1")); // not the line range of the pass

    w->cbPhpColouring->setChecked(false);
    for (QWidget *control : design)
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    w->Ligne();
    EXPECT_EQ(w->M->colourAt(w->M->textLength() - 4), w->CoulChaines); // the "x", by the pass again
}

} // namespace

ONDREL_QT_TEST_MAIN
