// The colouring pass: the fast pass against a step-by-step model of the rules,
// the rules' worked cases, and the pass through the real window and buttons.
#include "support/qtmain.h"
#include "support/testsupport.h"
#include "support/colouringmodel.h"

#include "app/main.h"
#include "app/sessioncontroller.h"
#include "widgets/widgets.h"
#include "editor/colouring.h"
#include "editor/richedit.h"
#include "files/editedfile.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QRandomGenerator>
#include <QTest>

#include <string>
#include <vector>

namespace {

// One letter per position start … end: '.' untouched, 'b' base, 's' string, 'f' function.
std::string classesOf(const std::string &text, qsizetype start, qsizetype end)
{
    std::vector<ColourClass> out(static_cast<size_t>(end - start + 1));
    const qsizetype first = std::max<qsizetype>(start, 1);
    colourPass(text.data() + first - 1, start, end, out.data());
    std::string letters;
    for (ColourClass c : out)
        letters += ".bsf"[static_cast<int>(c)];
    return letters;
}

// The model's letters for positions start … end.
std::string modelClasses(const std::string &t, qsizetype start, qsizetype end)
{
    return colouringModel(t, start, end).substr(static_cast<size_t>(start), static_cast<size_t>(end - start + 1));
}

// Whole-text pass, dropping the entry of position 0 so letter k is position k + 1.
std::string wholePass(const std::string &text)
{
    return classesOf(text, 0, static_cast<qsizetype>(text.size())).substr(1);
}

struct Case
{
    const char *text;
    const char *expected; // one letter per character, for a pass over the whole text
};

const Case kCases[] = {
    {"$a = strlen(\"x\");", "ffbbbffffffbbsbb."},       // the worked example
    {"$a = strlen(\"x\");\r\n", "ffbbbffffffbbsbbbb."}, // ";" and CR base, the LF untouched
    {"echo \"$a\";", "bbbbbbfff."},                     // variable and closing quote: function
    {"echo \"$a b\";", "bbbbbbssssb."},                 // the string wins over the variable
    {"x = \"f(a)\";", "bbbbfssssb."},                   // "(" inside the string ends a call
    {"$x\r\n", "bbb."},                                 // a variable ended by a line break
    {"$x;", "ff."},                                     // …and by a delimiter
    {"$a->b(1)", "ffbbbbb."},                           // "-" and ">" clear the call marker
    {"if (strlen($s))", "bbbbbbbbbbbffb."},             // "(" does not open a call
    {"foo(1);", "bbbbbb."},                             // a call at the start of a line
    {"\tfoo(1);", "bbbbbbb."},                          // a tab does not open a call
    {"x=foo(1);", "bbfffbbb."},                         // after "=" it is coloured
    {"$$a x", "bffb."},                                 // a second "$" moves the marker
    {"\"\"x", "bb."},                                   // two adjacent quotes colour nothing
    {"'ab' x", "bbbbb."},                               // single quotes mean nothing
    {"\"a\\\"b\"", "bssbb."},                           // a backslash protects nothing
    {"\"ab\r\ncd\"", "bbbbbbb."},                       // an unclosed quote ends with its line
    {"a:b?c(", "bbbbb."},                               // ":" and "?" are no delimiters
};

TEST(ColouringPass, RulesGiveTheExpectedColours)
{
    for (const Case &c : kCases) {
        const std::string text = c.text;
        const std::string expected = c.expected;
        EXPECT_EQ(wholePass(text), expected) << "text: " << text;
        EXPECT_EQ(wholePass(text), modelClasses(text, 0, text.size()).substr(1)) << "text: " << text;
    }
}

TEST(ColouringPass, EmptyRangesAndEmptyText)
{
    EXPECT_EQ(classesOf("", 0, 0), ".");
    EXPECT_EQ(classesOf("ab", 1, 1), ".");
    EXPECT_EQ(classesOf("ab", 1, 2), "..");
}

TEST(ColouringPass, LinePassTouchesOnlyTheLineAndTheLineFeedBeforeIt)
{
    const std::string text = "$a=f(1);\r\nx = g(\"s\");\r\n$b;";
    // The second line lies between the CR at position 9 and the CR at position 22.
    const std::string line = classesOf(text, 9, 22);
    EXPECT_EQ(line, ".bbbbbfbbsbbb.");
    EXPECT_EQ(line, modelClasses(text, 9, 22));
}

TEST(ColouringPass, AgreesWithTheStepByStepRulesOnRandomText)
{
    const std::string alphabet = "ab$\"( )+-.;<=>\r\n\t:?_'\\x";
    QRandomGenerator random(20261207);
    for (int round = 0; round < 3000; ++round) {
        std::string text(random.bounded(0, 40), ' ');
        for (char &c : text)
            c = alphabet[random.bounded(static_cast<int>(alphabet.size()))];
        const qsizetype length = static_cast<qsizetype>(text.size());
        const qsizetype end = random.bounded(static_cast<int>(length + 1));
        const qsizetype start = random.bounded(static_cast<int>(end + 1));
        const std::string got = classesOf(text, start, end);
        ASSERT_EQ(got, modelClasses(text, start, end)) << "text: " << text << " range " << start << "," << end;
        if (length > 0) {
            ASSERT_EQ(classesOf(text, 0, length).back(), '.') << "the last character changed";
        }
    }
}

// --- Through the real window ---------------------------------------------------

class ColouringWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = makeWindow(folder.path(QString()));
        window->cbPhpColouring->setChecked(false); // the colouring these tests are about
        window->showPage(window->tsEdit);
        window->CoulPolice = 0x000000;
        window->CoulChaines = 0xFF0000;
        window->CoulFonctions = 0x0000FF;
        window->M->setTextColour(0x000000);
        window->M->setBytes("$a = strlen(\"x\");\r\n");
    }

    TempFolder folder;
    std::unique_ptr<TfmMain> window;
};

TEST_F(ColouringWindow, ToutColorierColoursTheWorkedExampleAndRestoresSelectionAndFocus)
{
    RichEdit *m = window->M;
    window->eFile->setFocus();
    m->setSelStart(6);
    m->setSelLength(3);
    const Colour before = 0x123456;
    m->setSelStart(18);
    m->setSelLength(1);
    m->setSelColour(before); // the LF keeps whatever colour it had
    m->setSelStart(6);
    m->setSelLength(3);

    QTest::mouseClick(window->sbColorie, Qt::LeftButton);

    EXPECT_EQ(m->colourAt(0), 0x0000FFu);  // $
    EXPECT_EQ(m->colourAt(5), 0x0000FFu);  // s of strlen
    EXPECT_EQ(m->colourAt(11), 0x000000u); // (
    EXPECT_EQ(m->colourAt(13), 0xFF0000u); // x
    EXPECT_EQ(m->colourAt(17), 0x000000u); // CR
    EXPECT_EQ(m->colourAt(18), before);    // the last character keeps its colour
    EXPECT_EQ(m->selStart(), 6);
    EXPECT_EQ(m->selLength(), 3);
    EXPECT_EQ(QApplication::focusWidget(), m);
}

TEST_F(ColouringWindow, AnyNumberOfColoursKeepsTheColoursOfEarlierText)
{
    // Line 1 coloured once; line 2 then recoloured in 600 distinct string colours.
    RichEdit *m = window->M;
    m->setBytes("\"early\"\r\n\"late\"\r\n");
    window->CoulChaines = 0x010203;
    window->ColorieZone(0, 9);
    for (Colour c = 1; c <= 600; ++c) {
        window->CoulChaines = 0x100000 + c * 7;
        window->ColorieZone(7, 16);
        ASSERT_EQ(m->colourAt(10), 0x100000 + c * 7) << c;
    }
    EXPECT_EQ(m->colourAt(1), 0x010203u);
    EXPECT_EQ(m->colourAt(5), 0x010203u);
    EXPECT_EQ(m->colourAt(6), 0x000000u); // the closing quote keeps the base colour
}

TEST_F(ColouringWindow, ColourButtonsChangeOnlyWhatTheySayWhenConfirmed)
{
    RichEdit *m = window->M;
    ModalWatcher watcher;
    QColor pick = QColor(0x10, 0x20, 0x30);
    watcher.onColorDialog = [&](QColorDialog *dialog) {
        dialog->setCurrentColor(pick);
        dialog->accept();
    };

    // Chaînes: new string colour, and the whole text is recoloured with it.
    QTest::mouseClick(window->SpeedButton5, Qt::LeftButton);
    EXPECT_EQ(window->CoulChaines, 0x302010u);
    EXPECT_EQ(m->colourAt(13), 0x302010u);

    // Fonctions: the same for calls and variables.
    pick = QColor(0x01, 0x02, 0x03);
    QTest::mouseClick(window->SpeedButton6, Qt::LeftButton);
    EXPECT_EQ(window->CoulFonctions, 0x030201u);
    EXPECT_EQ(m->colourAt(0), 0x030201u);

    // Police: text colour and CoulPolice, no recolouring of coloured text.
    pick = QColor(0x0A, 0x0B, 0x0C);
    QTest::mouseClick(window->SpeedButton4, Qt::LeftButton);
    EXPECT_EQ(window->CoulPolice, 0x0C0B0Au);
    EXPECT_EQ(m->textColour(), 0x0C0B0Au);
    EXPECT_EQ(m->colourAt(11), 0x000000u);

    // Fond: background only.
    pick = QColor(0xFF, 0xFF, 0xF0);
    QTest::mouseClick(window->SpeedButton3, Qt::LeftButton);
    EXPECT_EQ(m->backgroundColour(), 0xF0FFFFu);
    EXPECT_EQ(m->colourAt(0), 0x030201u);
}

TEST_F(ColouringWindow, CancelledDialogChangesNothing)
{
    ModalWatcher watcher; // rejects every colour dialog
    const Colour strings = window->CoulChaines;
    const Colour background = window->M->backgroundColour();
    for (SpeedButton *b : {window->SpeedButton3, window->SpeedButton4, window->SpeedButton5, window->SpeedButton6})
        QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_EQ(window->CoulChaines, strings);
    EXPECT_EQ(window->M->backgroundColour(), background);
    EXPECT_FALSE(window->M->hasOwnColour(0)); // nothing was recoloured
}

// A style run that ends inside a character makes the control draw that line without
// colours: every byte of a character must have the style of its first byte.
TEST_F(ColouringWindow, NoColourRunEndsInsideACharacter)
{
    struct Case
    {
        const char *what;
        QByteArray file;
    };
    const Case cases[] = {
        {"UTF-8, é last", "zz a\xc3\xa9"},
        {"Windows-1252, é last", "zz a\xe9"},
        {"UTF-8, € last in a string", "$x = \"\xe2\x82\xac"},
        {"Windows-1252, € last on the second line", "a\r\nzz \x80"},
        {"UTF-8, four bytes after a call", "f(\xf0\x9f\x98\x80"},
        {"UTF-8, a variable that ends in é", "$\xc3\xa9\xc3\xa9"},
    };
    RichEdit *m = window->M;
    auto styleAt = [&](qsizetype at) {
        return m->SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, static_cast<unsigned long>(at)) & 0xFF;
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        window->session()->editedFile()->load(folder.write("page.php", c.file));
        QTest::mouseClick(window->sbColorie, Qt::LeftButton);
        for (qsizetype at = 1; at < m->textLength(); ++at) {
            if ((static_cast<unsigned char>(m->byteAt(at)) & 0xC0) == 0x80)
                EXPECT_EQ(styleAt(at), styleAt(at - 1)) << "byte " << at;
        }
        EXPECT_TRUE(m->hasOwnColour(m->textLength() - 1)); // the last character is coloured whole
    }
}

TEST_F(ColouringWindow, EmptyTextStillRestoresCaretAndFocus)
{
    window->M->setBytes("");
    window->eFile->setFocus();
    QTest::mouseClick(window->sbColorie, Qt::LeftButton);
    EXPECT_EQ(window->M->selStart(), 0);
    EXPECT_EQ(QApplication::focusWidget(), window->M);
}

} // namespace

ONDREL_QT_TEST_MAIN
