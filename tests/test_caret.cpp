// Caret read-out, function hints, F1 help, the editor's keys and the line anchors,
// driven by real key and mouse events into the editor.
#include "support/qtmain.h"
#include "support/testsupport.h"

#include "app/main.h"
#include "app/sessioncontroller.h"
#include "pages/databasepage.h"
#include "widgets/widgets.h"
#include "editor/contexthelp.h"
#include "editor/landing.h"
#include "editor/richedit.h"
#include "files/editedfile.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <QUrl>

namespace {

TEST(FunctionWord, ScansBackToTheStopCharacters)
{
    struct Row
    {
        QByteArray line;
        qsizetype x;
        QByteArray word;
    };
    const Row rows[] = {
        {"(", 1, ""},                        // a "(" at column 0 offers nothing
        {"f(", 2, "f("},
        {"$x=strlen(", 10, "strlen("},
        {"echo strlen(", 12, "strlen("},
        {"a.strlen(", 9, "strlen("},
        {"a/strlen(", 9, "strlen("},
        {"if(!strlen(", 11, "!strlen("},       // "!" belongs to the word
        {"\tstrlen(", 8, "\tstrlen("},         // so does a tab
        {"$a->b(", 6, "$a->b("},               // "-" and ">" are no stop characters
        {"((", 2, "("},                        // two in a row: the word is the "(" alone
        {"strlen(x", 8, ""},                   // the caret is not after the "("
        {"strlen(", 9, ""},                    // a column beyond the line
        {"strlen(", 0, ""},
    };
    for (const Row &row : rows)
        EXPECT_EQ(functionWord(row.line, row.x), row.word) << row.line.toStdString() << " at " << row.x;
}

TEST(FunctionWord, HintIsTheFirstLineHoldingTheWordExactly)
{
    const QString list = QStringLiteral("int mystrlen(string s)\nint strlen(string s)\nSTRLEN(x)\n");
    EXPECT_EQ(firstLineContaining(list, QStringLiteral("strlen(")), QStringLiteral("int mystrlen(string s)"));
    EXPECT_EQ(firstLineContaining(list, QStringLiteral("STRLEN(")), QStringLiteral("STRLEN(x)"));
    EXPECT_TRUE(firstLineContaining(list, QStringLiteral("Strlen(")).isNull());
    EXPECT_EQ(firstLineContaining(QStringLiteral("  a( \nb"), QStringLiteral("a(")), QStringLiteral("  a( "));
    EXPECT_EQ(firstLineContaining(QStringLiteral("f(x)\ng(y)\n"), QStringLiteral("f(")), QStringLiteral("f(x)"));
    EXPECT_EQ(helpPageCandidates(QStringLiteral("/doc/"), QStringLiteral("mysql_connect")),
              QStringList({QStringLiteral("/doc/function.mysql-connect.html"),
                           QStringLiteral("/doc/manuel_function.mysql-connect.html")}));
    EXPECT_EQ(helpPageCandidates(QStringLiteral("/doc/"), QString())[0], QStringLiteral("/doc/function..html"));
}

TEST(AnchorLanding, CountsCrs)
{
    QByteArray twenty;
    for (int i = 1; i <= 20; ++i)
        twenty += "line " + QByteArray::number(i) + "\r\n";
    EXPECT_EQ(landingOffset(twenty, 12), twenty.indexOf("line 12"));
    EXPECT_EQ(landingOffset(twenty, 0), 0);
    EXPECT_EQ(landingOffset(twenty, 1), 0);
    EXPECT_EQ(landingOffset(twenty, -5), 0);
    EXPECT_EQ(landingOffset(twenty, 500), twenty.size());
    EXPECT_EQ(landingOffset("", 3), 0);
    EXPECT_EQ(landingOffset("a\r\n", 2), 3);
}

class Caret : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = makeWindow(folder.path(QString()));
        window->cbPhpColouring->setChecked(false); // the colouring these tests are about
        window->eAide->setText(folder.path("doc/"));
        window->showPage(window->tsEdit);
        window->M->setFocus();
    }

    void type(const QString &text) { QTest::keyClicks(window->M, text); }
    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(window->M, k, mods); }
    QString hint() const { return window->Label6->text(); }
    QString readOut() const { return window->Label5->text(); }

    TempFolder folder;
    std::unique_ptr<TfmMain> window;
    OpenedFiles opened;
};

TEST_F(Caret, TypingACallOffersItsHintAndManualPage)
{
    folder.write("doc/index.html", "index");
    const QString page = folder.write("doc/function.mysql-connect.html", "page");
    window->mAide->setPlainText(QStringLiteral("mysql_close()\nresource mysql_connect(string host)\n"));

    type(QStringLiteral("$c = mysql_connect("));
    EXPECT_EQ(hint(), QStringLiteral("resource mysql_connect(string host)"));
    EXPECT_EQ(window->sbAide->text(), QStringLiteral("Aide sur \"mysql_connect\" (F1)"));
    EXPECT_EQ(window->sbAide->toolTip(), page);
    EXPECT_FALSE(window->sbAide->isHidden());
    EXPECT_EQ(readOut(), QStringLiteral("Pos: 19,1"));

    key(Qt::Key_F1);
    EXPECT_EQ(opened.files, QStringList{page});

    type(QStringLiteral("x")); // typing the first argument brings the index back
    EXPECT_EQ(hint(), QStringLiteral("resource mysql_connect(<b>string host</b>)")); // the parameter being typed
    EXPECT_EQ(window->Label6->textFormat(), Qt::RichText);
    type(QStringLiteral(");"));
    EXPECT_EQ(hint(), QString());
    EXPECT_EQ(window->sbAide->text(), QStringLiteral("Index de l'aide (F1)"));
    EXPECT_EQ(window->sbAide->toolTip(), folder.path("doc/index.html"));
}

TEST_F(Caret, TheHintKeepsItsFormatAcrossCallsArgumentsAndPlainText)
{
    // A signature holding "<" must never be read as markup once a parameter was shown in bold.
    window->mAide->setPlainText(QStringLiteral("cmp(string a = '<i>', int b)\nresource mysql_connect(string host)\n"));
    const struct
    {
        const char *typed;
        const char *hint;
        Qt::TextFormat format;
    } steps[] = {
        {"cmp(", "cmp(string a = '<i>', int b)", Qt::PlainText},
        {"1", "cmp(<b>string a = '&lt;i&gt;'</b>, int b)", Qt::RichText},
        {",", "cmp(string a = '&lt;i&gt;', <b>int b</b>)", Qt::RichText},
        {"2", "cmp(string a = '&lt;i&gt;', <b>int b</b>)", Qt::RichText},
        {");", "", Qt::PlainText},
        {" mysql_connect(", "resource mysql_connect(string host)", Qt::PlainText},
        {"h", "resource mysql_connect(<b>string host</b>)", Qt::RichText},
        {")", "", Qt::PlainText},
    };
    for (const auto &step : steps) {
        type(QString::fromUtf8(step.typed));
        EXPECT_EQ(hint(), QString::fromUtf8(step.hint)) << step.typed;
        EXPECT_EQ(window->Label6->textFormat(), step.format) << step.typed;
    }
}

TEST_F(Caret, SecondManualNameAndNoIndexPage)
{
    const QString page = folder.write("doc/manuel_function.str-pad.html", "page");
    type(QStringLiteral("x=str_pad"));
    EXPECT_TRUE(window->sbAide->isHidden()); // no index page: nothing to offer
    type(QStringLiteral("("));
    EXPECT_FALSE(window->sbAide->isHidden());
    EXPECT_EQ(window->sbAide->toolTip(), page);
    type(QStringLiteral(")"));
    EXPECT_TRUE(window->sbAide->isHidden());
    EXPECT_EQ(window->sbAide->toolTip(), page); // a hidden button keeps its caption and hint
    key(Qt::Key_F1);
    EXPECT_TRUE(opened.files.isEmpty());
}

TEST_F(Caret, HelpFolderWithoutFinalSeparatorFindsNothing)
{
    folder.write("doc/index.html", "index");
    window->eAide->setText(folder.path("doc"));
    type(QStringLiteral("a"));
    EXPECT_TRUE(window->sbAide->isHidden());
}

TEST_F(Caret, F1BeforeAnyRefreshOrWhileHiddenOpensNothing)
{
    folder.write("doc/index.html", "index");
    key(Qt::Key_F1); // the press is handled before its own release refreshes
    EXPECT_TRUE(opened.files.isEmpty());
    key(Qt::Key_F1); // now the index is offered
    EXPECT_EQ(opened.files, QStringList{folder.path("doc/index.html")});
    QFile::remove(folder.path("doc/index.html")); // gone between the refresh and the click
    QTest::mouseClick(window->sbAide, Qt::LeftButton);
    EXPECT_EQ(opened.files.size(), 1);
}

TEST_F(Caret, ReadOutFollowsTheEndOfTheSelection)
{
    key(Qt::Key_Right);
    EXPECT_EQ(readOut(), QStringLiteral("Pos: 0,1"));
    type(QStringLiteral("abc"));
    key(Qt::Key_Return);
    type(QStringLiteral("defg"));
    EXPECT_EQ(readOut(), QStringLiteral("Pos: 4,2"));
    window->M->setSelStart(1);
    key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(readOut(), QStringLiteral("Pos: 1,2"));
}

TEST_F(Caret, ColorierShowsTheLineRangeAndRecoloursTheLine)
{
    window->CoulFonctions = 0x0000FF;
    window->CoulPolice = 0x000000;
    window->cbColore->setChecked(true);
    window->M->setFocus();
    key(Qt::Key_Shift); // a refresh on the empty text
    EXPECT_EQ(readOut(), QStringLiteral("Pos: 0,0"));

    type(QStringLiteral("abc"));
    key(Qt::Key_Return);
    type(QStringLiteral("$d;"));
    EXPECT_EQ(readOut(), QStringLiteral("Pos: 4,8"));
    EXPECT_EQ(window->M->colourAt(5), 0x0000FFu); // "$d" was coloured while typing
    EXPECT_EQ(window->M->colourAt(6), 0x0000FFu);
    window->M->setSelStart(1);
    key(Qt::Key_Shift);
    EXPECT_EQ(readOut(), QStringLiteral("Pos: 0,4"));
}

// Positions count the file's characters: a Windows-1252 file is held as UTF-8 inside
// the control, where é takes two bytes and € three.
TEST_F(Caret, ReadOutCountsTheFileCharactersOfAWindows1252File)
{
    const QString page = folder.write("doc/function.strlen.html", "page");
    window->mAide->setPlainText(QStringLiteral("int strlen(string s)"));
    struct Row
    {
        const char *what;
        QByteArray file;
        bool colorier;
        QString readOut;
    };
    const Row rows[] = {
        {"column after é", "caf\xe9(x", false, QStringLiteral("Pos: 6,1")},
        {"column on the second line", "\x80\r\n\xe9\xe8=strlen(", false, QStringLiteral("Pos: 10,2")},
        {"line range with Colorier", "a\xe9\r\n\x80" "b\r\n\xe9", true, QStringLiteral("Pos: 3,7")},
        {"UTF-8 counts its bytes", "caf\xc3\xa9(x", false, QStringLiteral("Pos: 7,1")},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        window->cbColore->setChecked(row.colorier);
        window->session()->editedFile()->load(folder.write("page.php", row.file));
        const qsizetype lineEnd = row.colorier ? window->M->lineStartOffset(2) - 2 : window->M->textLength();
        window->M->setSelStart(lineEnd);
        key(Qt::Key_Shift);
        EXPECT_EQ(readOut(), row.readOut);
    }
    // The hint and the manual page follow the same line.
    window->cbColore->setChecked(false);
    window->session()->editedFile()->load(folder.write("page.php", "\xe9=strlen("));
    window->M->setSelStart(window->M->textLength());
    key(Qt::Key_Shift);
    EXPECT_EQ(readOut(), QStringLiteral("Pos: 9,1"));
    EXPECT_EQ(hint(), QStringLiteral("int strlen(string s)"));
    EXPECT_EQ(window->sbAide->toolTip(), page);
}

// Recolouring at a press never scrolls: with the button still held, a scroll would
// put the release on another character and select the text between.
TEST_F(Caret, AClickNearTheRightEdgeOfAScrolledViewPlacesTheCaretWithColorier)
{
    RichEdit *m = window->M;
    window->cbColore->setChecked(true);
    m->setBytes(QByteArray(300, 'x'));
    m->setSelStart(100);
    m->SendScintilla(QsciScintillaBase::SCI_SETSCROLLWIDTH, 4000UL);
    m->SendScintilla(QsciScintillaBase::SCI_SETXOFFSET, 500UL);
    ASSERT_EQ(m->SendScintilla(QsciScintillaBase::SCI_GETXOFFSET), 500L);
    QWidget *view = m->viewport();
    const long lineY = m->SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0UL, 0L);
    for (int fromEdge : {5, 9, 14}) {
        SCOPED_TRACE(fromEdge);
        const QPoint at(view->width() - fromEdge, int(lineY) + 5);
        const long target = m->SendScintilla(QsciScintillaBase::SCI_CHARPOSITIONFROMPOINT, static_cast<unsigned long>(at.x()),
                                             static_cast<long>(at.y()));
        const long offset = m->SendScintilla(QsciScintillaBase::SCI_GETXOFFSET);
        QTest::mousePress(view, Qt::LeftButton, {}, at);
        QTest::mouseRelease(view, Qt::LeftButton, {}, at);
        EXPECT_EQ(m->selLength(), 0);
        EXPECT_EQ(m->SendScintilla(QsciScintillaBase::SCI_GETXOFFSET), offset);
        EXPECT_NEAR(m->selStart(), target, 1); // before or after the character clicked
        QTest::qWait(QApplication::doubleClickInterval() + 20); // the next press is no double click
    }
}

TEST_F(Caret, DoubleClickAndReleaseInsideASelectionRefreshTheReadOut)
{
    window->M->setBytes("abc defgh");
    auto pointOf = [&](qsizetype offset) {
        RichEdit *m = window->M;
        const long x = m->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0UL, static_cast<long>(offset));
        const long y = m->SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0UL, static_cast<long>(offset));
        return QPoint(int(x) + 2, int(y) + 5);
    };
    // The second press of a double click selects the word: the read-out shows its end.
    QWidget *view = window->M->viewport();
    QTest::mousePress(view, Qt::LeftButton, {}, pointOf(5));
    QTest::mouseRelease(view, Qt::LeftButton, {}, pointOf(5));
    QTest::mouseDClick(view, Qt::LeftButton, {}, pointOf(5));
    QTest::mouseRelease(view, Qt::LeftButton, {}, pointOf(5));
    EXPECT_EQ(window->M->selLength(), 5);
    EXPECT_EQ(readOut(), QStringLiteral("Pos: 9,1"));

    // A press inside that selection moves the caret at the release only.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mousePress(view, Qt::LeftButton, {}, pointOf(6));
    QTest::mouseRelease(view, Qt::LeftButton, {}, pointOf(6));
    EXPECT_EQ(window->M->selLength(), 0);
    EXPECT_EQ(readOut(), QStringLiteral("Pos: 6,1"));
}

TEST_F(Caret, HintReadOutAndServerMessagesShowTheirTextAsItIs)
{
    window->mAide->setPlainText(QStringLiteral("<b>strlen(</b><br>string $s"));
    type(QStringLiteral(" strlen("));
    EXPECT_EQ(hint(), QStringLiteral("<b>strlen(</b><br>string $s"));
    window->mAide->setPlainText(QStringLiteral("x\nint\u00A0count(array\u00A0$a)"));
    type(QStringLiteral(" count("));
    EXPECT_EQ(hint(), QStringLiteral("int\u00A0count(array\u00A0$a)")); // no-break spaces as they stand
    for (QLabel *label : {window->Label5, window->Label6, window->databasePage->mysqlErr}) {
        label->setText(QStringLiteral("<b>x</b>"));
        // Shown as text, the tags take room of their own.
        EXPECT_GT(label->sizeHint().width(), label->fontMetrics().horizontalAdvance(QStringLiteral("<b>x</b>")) - 1)
            << label->objectName().toStdString();
    }
}

TEST_F(Caret, F9ShowsThePreviewWhateverTheModifiers)
{
    // A file the preview can save and a page it can show, so no error box stops the test.
    window->eFile->setText(folder.path("page.php"));
    window->eURL->setText(QStringLiteral("about:blank"));
    // Ctrl+F9 is not among them: it starts step debugging.
    for (Qt::KeyboardModifiers mods : {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::ShiftModifier),
                                       Qt::KeyboardModifiers(Qt::AltModifier)}) {
        window->showPage(window->tsEdit);
        window->M->setFocus();
        key(Qt::Key_F9, mods);
        EXPECT_EQ(window->PC->currentWidget(), window->tsWB);
    }
}

class Anchors : public Caret
{
protected:
    void SetUp() override
    {
        Caret::SetUp();
        QByteArray text;
        for (int i = 1; i <= 20; ++i)
            text += "line " + QByteArray::number(i) + "\r\n";
        window->M->setBytes(text);
    }
    void click(SpeedButton *b, Qt::MouseButton button) { QTest::mouseClick(b, button); }
};

TEST_F(Anchors, RightClickStoresTheLineAndLeftClickJumpsBack)
{
    window->M->setSelStart(window->M->lineStartOffset(11) + 3); // on the 12th line
    click(window->SpeedButton9, Qt::RightButton);
    EXPECT_EQ(window->SpeedButton9->text(), QStringLiteral("12"));
    window->M->setSelStart(0);
    const QString readOutBefore = readOut();

    click(window->SpeedButton9, Qt::LeftButton);
    EXPECT_EQ(window->M->selStart(), window->M->wholeText().indexOf("line 12"));
    EXPECT_EQ(window->M->selLength(), 1);
    EXPECT_EQ(readOut(), readOutBefore); // a jump refreshes nothing
    EXPECT_EQ(QApplication::focusWidget(), window->M);

    type(QStringLiteral("L")); // typing replaces the selected first character
    EXPECT_EQ(window->M->lineText(11), QByteArray("Line 12"));

    window->M->setSelStart(window->M->lineStartOffset(4));
    click(window->SpeedButton12, Qt::MiddleButton);
    EXPECT_EQ(window->SpeedButton12->text(), QStringLiteral("5"));
}

TEST_F(Anchors, ZeroOneShortTextAndEmptyText)
{
    window->M->setSelStart(30);
    click(window->SpeedButton8, Qt::LeftButton); // still "0"
    EXPECT_EQ(window->M->selStart(), 0);
    EXPECT_EQ(window->M->selLength(), 1);
    window->SpeedButton8->setText(QStringLiteral("1"));
    click(window->SpeedButton8, Qt::LeftButton);
    EXPECT_EQ(window->M->selStart(), 0);

    window->SpeedButton8->setText(QStringLiteral("15"));
    window->M->setBytes("short\r\ntext");
    click(window->SpeedButton8, Qt::LeftButton);
    EXPECT_EQ(window->M->selStart(), window->M->textLength());
    EXPECT_EQ(window->M->selLength(), 0);

    window->M->setBytes("a\r\n"); // an empty last line after a final CR LF
    window->SpeedButton8->setText(QStringLiteral("2"));
    click(window->SpeedButton8, Qt::LeftButton);
    EXPECT_EQ(window->M->selStart(), 3);

    window->M->setBytes("");
    click(window->SpeedButton8, Qt::LeftButton);
    EXPECT_EQ(window->M->selStart(), 0);
    EXPECT_EQ(window->M->selLength(), 0);
}

TEST_F(Anchors, LoneLineFeedsStillCountOnlyCrs)
{
    window->M->setBytes("x");
    window->M->SendScintilla(QsciScintillaBase::SCI_APPENDTEXT, 9UL, "a\nb\r\nc\r\nd"); // a lone LF slipped in
    window->SpeedButton8->setText(QStringLiteral("3"));
    click(window->SpeedButton8, Qt::LeftButton);
    EXPECT_EQ(window->M->selStart(), landingOffset(window->M->wholeText(), 3));
    EXPECT_EQ(window->M->byteAt(window->M->selStart()), 'd');
}

} // namespace

ONDREL_QT_TEST_MAIN
