// Completion while typing: the names offered and their order, the signatures of
// the text's own functions, and the list in the real editor (when it opens, what
// Enter types in, and never in a string or a comment).
#include "support/qtmain.h"
#include "support/testsupport.h"

#include "app/main.h"
#include "editor/callhint.h"
#include "editor/completion.h"
#include "editor/editorcompletion.h"
#include "editor/phphelppage.h"
#include "editor/richedit.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>

namespace {

QStringList shownFor(const CompletionIndex &index, const QString &prefix)
{
    QStringList shown;
    for (const CompletionEntry *entry : index.matching(prefix))
        shown.append(entry->shown);
    return shown;
}

TEST(Completion, TheNamesOfBothListsTheKeywordsAndTheTextInOrder)
{
    CompletionIndex index;
    index.addKeywordList(QStringLiteral("str_replace(mine)\nmy note without a call\n"));
    index.addKeywordList(QStringLiteral("str_replace(array|string $search): array|string\nstrlen(string $string): int\n"
                                        "STR_PAD_LEFT = 0\nPDO::prepare(string $query)\n"));
    index.addPhpKeywords();
    index.addNamesOf(QStringLiteral("<?php $strange = 1; $Str = 2; function str_own($a) {}\n$strange++;"));
    index.finish();
    EXPECT_EQ(shownFor(index, QStringLiteral("str")),
              (QStringList{QStringLiteral("str_own($a)"), QStringLiteral("STR_PAD_LEFT = 0"),
                           QStringLiteral("str_replace(mine)"), // the user's line wins over PHP's
                           QStringLiteral("strlen(string $string): int")}));
    EXPECT_EQ(shownFor(index, QStringLiteral("$str")), (QStringList{QStringLiteral("$Str"), QStringLiteral("$strange")}));
    EXPECT_EQ(shownFor(index, QStringLiteral("forea")), QStringList{QStringLiteral("foreach")});

    // What a variable is: "$" then a name that does not start with a digit.
    CompletionIndex vars;
    vars.addNamesOf(QStringLiteral("$1no $ $$ref $été-1 $a_b2[$i] \"$in{$s}\" $end"));
    vars.finish();
    EXPECT_EQ(shownFor(vars, QStringLiteral("$")), (QStringList{"$a_b2", "$end", "$i", "$in", "$ref", "$s", "$été"}));
    EXPECT_TRUE(shownFor(index, QStringLiteral("prep")).isEmpty()); // methods come after "->", not here
    EXPECT_TRUE(shownFor(index, QStringLiteral("my")).isEmpty());
}

TEST(Completion, TheNameBeforeTheCaret)
{
    const struct
    {
        const char *before, *name;
    } cases[] = {{"echo str_re", "str_re"}, {"$a = $tot", "$tot"}, {"f($x", "$x"}, {"a->b", "b"}, {"été", "été"},
                 {"x + ", ""}, {"", ""}};
    for (const auto &c : cases)
        EXPECT_EQ(nameBeforeCaret(QString::fromUtf8(c.before)), QString::fromUtf8(c.name)) << c.before;
}

TEST(Completion, AFunctionOfTheTextGetsItsSignatureAndTheFirstLineOfItsDocComment)
{
    const QString text = QStringLiteral(
        "<?php\n/**\n * Adds the tax to a price.\n *\n * @param float $p\n */\nfunction withTax(float $p, array $r = [1, 2]): float\n{}\n"
        "function &byRef($a) {}\n/* not a doc */ function plain(\n  $a,\n  $b = \"(\"\n) { }\n"
        "/** Doc */ $x = 1;\nfunction noDoc() {}\n");
    const struct
    {
        const char *name, *signature; // null: none
    } cases[] = {
        {"withTax", "withTax(float $p, array $r = [1, 2]): float — Adds the tax to a price."},
        {"WITHTAX", "WITHTAX(float $p, array $r = [1, 2]): float — Adds the tax to a price."},
        {"byRef", "byRef($a)"},
        {"plain", "plain( $a, $b = \"(\" )"},
        {"noDoc", "noDoc()"},
        {"missing", nullptr},
        {"with", nullptr},
    };
    for (const auto &c : cases) {
        const QString found = definitionSignature(text, QString::fromUtf8(c.name));
        EXPECT_EQ(found.isNull(), c.signature == nullptr) << c.name;
        if (c.signature)
            EXPECT_EQ(found, QString::fromUtf8(c.signature));
    }
}

TEST(Completion, TheReflectionHelpPageShowsEachPartAndTheOnlineManual)
{
    const QString page = reflectionHelpPage(QStringLiteral("str_replace(array|string $search, &$count = null): array|string"));
    for (const char *part : {"<h1>str_replace</h1>", "<li><code>array|string $search</code></li>",
                             "<li><code>&amp;$count = null</code></li>", "<p><code>array|string</code></p>",
                             "href=\"https://www.php.net/manual/fr/function.str-replace.php\""})
        EXPECT_TRUE(page.contains(QString::fromUtf8(part))) << part;
    EXPECT_EQ(onlineManualUrl(QStringLiteral("PDO::prepare")), QStringLiteral("https://www.php.net/manual/fr/pdo.prepare.php"));
    EXPECT_TRUE(reflectionHelpPage(QStringLiteral("pi(): float")).contains(QStringLiteral("<p>Aucun</p>")));
}

class CompletionInEditor : public ::testing::Test
{
protected:
    TempFolder folder;
    std::unique_ptr<TfmMain> w = makeWindow(folder.path(QString()));

    void SetUp() override
    {
        w->showPage(w->tsEdit);
        w->M->setFocus();
        w->mAide->setPlainText(QStringLiteral("str_replace(search, replace, subject)\nstrlen(s)\nstrtoupper(s)\n"));
    }
    void type(const QString &text)
    {
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(w->M, &press);
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(w->M, &release);
        }
    }
    void key(int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(w->M, Qt::Key(code), modifiers);
    }
    void start(const QByteArray &text, bool php)
    {
        w->cbPhpColouring->setChecked(php);
        w->M->setBytes(text);
        w->M->setSelStart(w->M->textLength());
    }
};

TEST_F(CompletionInEditor, OpensAtTheSecondLetterFiltersAsYouTypeAndEnterTypesTheName)
{
    for (bool php : {false, true}) {
        SCOPED_TRACE(php);
        start("<?php\r\necho ", php);
        type(QStringLiteral("s"));
        EXPECT_FALSE(w->completion()->isOpen());
        type(QStringLiteral("t"));
        ASSERT_TRUE(w->completion()->isOpen());
        type(QStringLiteral("r_"));
        ASSERT_TRUE(w->completion()->isOpen());
        key(Qt::Key_Return);
        EXPECT_FALSE(w->completion()->isOpen());
        EXPECT_EQ(w->M->wholeText(), QByteArray("<?php\r\necho str_replace")); // the name, not the signature
    }
}

TEST_F(CompletionInEditor, CtrlSpaceEscapeAndTheTextsOwnNames)
{
    start("<?php\r\n$total = 1;\r\n$t", true);
    key(Qt::Key_Space, Qt::ControlModifier);
    ASSERT_TRUE(w->completion()->isOpen());
    key(Qt::Key_Tab);
    EXPECT_EQ(w->M->wholeText(), QByteArray("<?php\r\n$total = 1;\r\n$total"));
    EXPECT_FALSE(w->completion()->isOpen());
    type(QStringLiteral(";"));
    key(Qt::Key_Return);
    type(QStringLiteral("st"));
    ASSERT_TRUE(w->completion()->isOpen());
    key(Qt::Key_Escape);
    EXPECT_FALSE(w->completion()->isOpen());
    type(QStringLiteral("r"));
    EXPECT_FALSE(w->completion()->isOpen()); // the same name is not offered again
}

TEST_F(CompletionInEditor, AListTooLongForItsBoxIsMadeAgainAtEachLetter)
{
    QByteArray text = "<?php\r\n";
    for (int i = 0; i < 2000; ++i)
        text += QByteArray("$ab") + QByteArray::number(i).rightJustified(4, '0') + ";\r\n";
    text += "$abzz_last;\r\n";
    start(text, true);
    type(QStringLiteral("$ab"));
    ASSERT_TRUE(w->completion()->isOpen());
    type(QStringLiteral("z"));
    ASSERT_TRUE(w->completion()->isOpen());
    char current[64] = {};
    w->M->SendScintilla(QsciScintillaBase::SCI_AUTOCGETCURRENTTEXT, 0UL, current);
    EXPECT_STREQ(current, "$abzz_last");
    key(Qt::Key_Return);
    EXPECT_TRUE(w->M->wholeText().endsWith("\r\n$abzz_last"));
}

TEST_F(CompletionInEditor, TheTextsNamesFollowEditsOnOtherLinesTheCaretsLineAndTheTabShown)
{
    const auto offered = [&](const QString &typed) {
        type(typed);
        key(Qt::Key_Space, Qt::ControlModifier);
        char current[64] = {};
        if (w->completion()->isOpen())
            w->M->SendScintilla(QsciScintillaBase::SCI_AUTOCGETCURRENTTEXT, 0UL, current);
        key(Qt::Key_Escape);
        return QString::fromUtf8(current);
    };
    start("<?php\r\n$alpha = 1;\r\n", true);
    EXPECT_EQ(offered(QStringLiteral("$al")), QStringLiteral("$alpha"));
    // The same length and lines, another name on another line.
    w->M->SendScintilla(QsciScintillaBase::SCI_SETTARGETRANGE, 7UL, 13L);
    w->M->SendScintilla(QsciScintillaBase::SCI_REPLACETARGET, 6UL, "$alpXY");
    w->M->setSelStart(w->M->textLength());
    EXPECT_EQ(offered(QString()), QStringLiteral("$alpXY"));
    // A name typed on the caret's own line.
    EXPECT_EQ(offered(QStringLiteral("; $beta = 2; $be")), QStringLiteral("$beta"));

    // Another tab, with its own names only.
    const QString other = folder.write("other.php", "<?php\r\n$gamma = 1;\r\n");
    ASSERT_TRUE(w->openSiteFile(other));
    w->M->setSelStart(w->M->textLength());
    EXPECT_EQ(offered(QStringLiteral("$ga")), QStringLiteral("$gamma"));
    EXPECT_EQ(offered(QStringLiteral(" $al")), QString());
}

TEST_F(CompletionInEditor, NeverInAStringOrAComment)
{
    const char *texts[] = {"<?php\r\necho \"a ", "<?php\r\necho 'a ", "<?php\r\n// a ", "<?php\r\n# a ",
                           "<?php\r\n/* a\r\n  "};
    for (bool php : {false, true}) {
        for (const char *text : texts) {
            if (!php && QByteArray(text).contains("/*"))
                continue; // a comment over several lines is known to the lexer only
            SCOPED_TRACE(std::string(text) + (php ? " (lexer)" : ""));
            start(text, php);
            type(QStringLiteral("str"));
            EXPECT_FALSE(w->completion()->isOpen());
        }
    }
}

} // namespace

ONDREL_QT_TEST_MAIN
