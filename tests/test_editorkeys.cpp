// The editor page's keys and typing aids: save, find and replace, go to a line,
// the unsaved mark, line numbers, auto-indent and tab stops.
#include "support/qtmain.h"
#include "support/filepage.h"
#include "support/testsupport.h"

#include "app/main.h"
#include "widgets/widgets.h"
#include "editor/findbar.h"
#include "editor/richedit.h"
#include "editor/textsearch.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace {

TEST(TextSearch, NextAndPreviousWithTheOptions)
{
    struct Row
    {
        const char *text, *needle;
        bool matchCase, wholeWord;
        qsizetype from;
        qsizetype next, previous; // previous: the last match starting before `from`
    };
    const Row rows[] = {
        {"abc ABC abc", "abc", true, false, 1, 8, 0},
        {"abc ABC abc", "abc", false, false, 1, 4, 0},
        {"abc ABC abc", "ABC", false, false, 9, -1, 8},
        {"xabc abc abcx", "abc", true, true, 0, 5, -1},
        {"xabc abc abcx", "abc", true, true, 13, -1, 5},
        {"a_b ab éab", "ab", true, true, 0, 4, -1},          // "_" and letters beyond ASCII are word bytes
        {"aaaa", "aa", true, false, 1, 1, 0},                // matches may overlap from one call to the next
        {"Xxxxxxxxxxa", "xa", false, false, 0, 9, -1},       // a frequent first byte in one case only
        {"", "a", true, false, 0, -1, -1},
        {"ab", "abc", true, false, 0, -1, -1},
    };
    for (const Row &row : rows) {
        const TextSearch s{row.needle, row.matchCase, row.wholeWord};
        const std::string_view text(row.text);
        EXPECT_EQ(s.next(text, row.from), row.next) << row.text << " / " << row.needle;
        EXPECT_EQ(s.previous(text, row.from), row.previous) << row.text << " / " << row.needle;
    }
    EXPECT_EQ(encodeWindows1252(QStringLiteral("é€’x")), QByteArray("\xE9\x80\x92x"));
}

class EditorKeys : public ::testing::Test
{
protected:
    void SetUp() override
    {
        file = folder.write("site/page.php", "<?php\n");
        window = makeWindow(folder.path("side"));
        window->cbPhpColouring->setChecked(false); // the colouring these tests are about
        chooseFile(*window, folder.path("site"), QStringLiteral("page.php"));
        window->showPage(window->tsEdit);
        window->M->setFocus();
    }

    void key(QWidget *w, Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(w, k, mods); }
    /** Waits for the find bar's search, which runs away from the window's thread, to be applied. */
    void settle(int ms = 10000)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->findBar->running(); }, ms));
    }
    void click(QPushButton *button)
    {
        QTest::mouseClick(button, Qt::LeftButton);
        settle();
    }
    QByteArray selected() const
    {
        return window->M->wholeText().mid(window->M->selStart(), window->M->selLength());
    }

    TempFolder folder;
    QString file;
    ModalWatcher watcher; // a box left open would stop the test
    std::unique_ptr<TfmMain> window;
};

TEST_F(EditorKeys, CtrlSSavesInPlaceAndTheTitleMarksUnsavedChanges)
{
    EXPECT_EQ(window->windowTitle(), file);
    EXPECT_TRUE(watcher.boxes.isEmpty());
    QTest::keyClicks(window->M, QStringLiteral("x"));
    EXPECT_EQ(window->windowTitle(), u'*' + file);
    key(window->M, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(folder.read("site/page.php"), QByteArray("x<?php\n"));
    EXPECT_EQ(window->PC->currentWidget(), window->tsEdit);
    EXPECT_EQ(window->windowTitle(), file);

    // A save that cannot be written says why and keeps the mark.
    QTest::keyClicks(window->M, QStringLiteral("y"));
    window->eFile->setText(folder.path("missing/page.php"));
    key(window->M, Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_TRUE(watcher.boxes[0].text.startsWith(QStringLiteral("Impossible de créer le fichier")));
    EXPECT_TRUE(window->windowTitle().startsWith(u'*'));
    EXPECT_EQ(folder.read("site/page.php"), QByteArray("x<?php\n"));
}

TEST_F(EditorKeys, FindBarKeysAndOptions)
{
    window->M->setBytes("Foo foo food\r\nfoo(1) FOO");
    FindBar *bar = window->findBar;
    key(window->M, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(bar->isVisible());
    EXPECT_TRUE(bar->replaceEdit->isHidden());
    EXPECT_TRUE(bar->findEdit->hasFocus());
    QTest::keyClicks(bar->findEdit, QStringLiteral("foo"));

    struct Step
    {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        qsizetype start; // expected selection start; its length is always 3
    };
    auto run = [&](const std::vector<Step> &steps, const char *what) {
        window->M->setSelStart(0);
        for (const Step &s : steps) {
            key(bar->findEdit, s.key, s.mods);
            settle();
            EXPECT_EQ(window->M->selStart(), s.start) << what;
            EXPECT_EQ(window->M->selLength(), 3) << what;
        }
    };
    // Any case: Enter and F3 go on, round the end; Shift+F3 goes back.
    run({{Qt::Key_Return, {}, 0}, {Qt::Key_F3, {}, 4}, {Qt::Key_F3, {}, 8}, {Qt::Key_F3, {}, 14},
         {Qt::Key_F3, {}, 21}, {Qt::Key_F3, {}, 0}, {Qt::Key_F3, Qt::ShiftModifier, 21},
         {Qt::Key_F3, Qt::ShiftModifier, 14}},
        "any case");
    bar->matchCase->setChecked(true);
    run({{Qt::Key_Return, {}, 4}, {Qt::Key_Return, {}, 8}, {Qt::Key_Return, {}, 14}, {Qt::Key_Return, {}, 4}},
        "match case");
    bar->wholeWord->setChecked(true);
    run({{Qt::Key_Return, {}, 4}, {Qt::Key_Return, {}, 14}, {Qt::Key_Return, {}, 4}}, "whole word");
    bar->wholeWord->setChecked(false);
    bar->findEdit->setText(QStringLiteral("f[o]+\\("));
    bar->regex->setChecked(true);
    window->M->setSelStart(0);
    key(bar->findEdit, Qt::Key_Return);
    settle();
    EXPECT_EQ(selected(), QByteArray("foo("));

    bar->findEdit->setText(QStringLiteral("absent"));
    bar->regex->setChecked(false);
    key(bar->findEdit, Qt::Key_Return);
    settle();
    EXPECT_EQ(bar->status->text(), QStringLiteral("Introuvable"));
    EXPECT_EQ(selected(), QByteArray("foo("));

    key(bar->findEdit, Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_TRUE(window->M->hasFocus());
}

TEST_F(EditorKeys, ReplaceOneThenAllAsOneUndoStep)
{
    const QByteArray original = "a=1; b=1; c=10;\r\nd=1;";
    window->M->setBytes(original);
    window->M->setSelStart(0);
    key(window->M, Qt::Key_H, Qt::ControlModifier);
    FindBar *bar = window->findBar;
    EXPECT_TRUE(bar->isVisible());
    EXPECT_FALSE(bar->replaceEdit->isHidden());
    bar->findEdit->setText(QStringLiteral("=1"));
    bar->replaceEdit->setText(QStringLiteral("= 2"));
    bar->wholeWord->setChecked(false);

    click(bar->nextButton);
    click(bar->replaceButton); // replaces the selected match, selects the next
    EXPECT_EQ(window->M->wholeText(), QByteArray("a= 2; b=1; c=10;\r\nd=1;"));
    EXPECT_EQ(window->M->selStart(), 7);

    window->M->setSelStart(6);
    window->M->setSelLength(1);
    window->M->setSelColour(0x123456); // the "b" between two matches keeps its colour
    click(bar->replaceAllButton);
    EXPECT_EQ(window->M->wholeText(), QByteArray("a= 2; b= 2; c= 20;\r\nd= 2;"));
    EXPECT_EQ(window->M->colourAt(6), 0x123456u);
    EXPECT_EQ(bar->status->text(), QStringLiteral("3 remplacements"));
    window->M->setFocus();
    key(window->M, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(window->M->wholeText(), QByteArray("a= 2; b=1; c=10;\r\nd=1;"));

    // A regular expression with a group in the replacement.
    bar->findEdit->setText(QStringLiteral("([a-d])=1"));
    bar->replaceEdit->setText(QStringLiteral("\\1:=1"));
    bar->regex->setChecked(true);
    click(bar->replaceAllButton);
    EXPECT_EQ(window->M->wholeText(), QByteArray("a= 2; b:=1; c:=10;\r\nd:=1;"));
    window->M->setFocus();
    key(window->M, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(window->M->wholeText(), QByteArray("a= 2; b=1; c=10;\r\nd=1;"));

    // A text changed while the replacements were worked out is left as it is.
    bar->findEdit->setText(QStringLiteral("=1"));
    QTest::mouseClick(bar->replaceAllButton, Qt::LeftButton);
    window->M->setSelStart(0);
    window->M->insert(QStringLiteral("z"));
    settle();
    EXPECT_EQ(window->M->wholeText(), QByteArray("za= 2; b=1; c=10;\r\nd=1;"));
    EXPECT_EQ(bar->status->text(), QStringLiteral("Le texte a changé pendant la recherche : rien n'est fait, relancez-la"));
}

// An expression that would backtrack for ever: the window goes on, shows how far
// the search is and "Annuler" after a moment, and the engine's limit ends it. The
// limit can end it within the usual 200 ms on a fast machine, so the progress here
// shows at once.
TEST_F(EditorKeys, CostlyExpressionShowsProgressCanBeCancelledAndEnds)
{
    const QByteArray text = QByteArray(10000, 'a') + "b\r\nend";
    window->M->setBytes(text);
    window->M->setSelStart(0);
    key(window->M, Qt::Key_F, Qt::ControlModifier);
    FindBar *bar = window->findBar;
    bar->setProgressDelay(0);
    bar->regex->setChecked(true);
    bar->findEdit->setText(QStringLiteral("(a+)+$"));
    auto progressShown = [&] {
        return bar->cancelButton->isVisible() && bar->status->text().startsWith(QStringLiteral("Recherche… "));
    };
    key(bar->findEdit, Qt::Key_Return);
    ASSERT_TRUE(bar->running());
    ASSERT_TRUE(QTest::qWaitFor(progressShown, 10000));
    QTest::mouseClick(bar->cancelButton, Qt::LeftButton);
    EXPECT_FALSE(bar->running());
    EXPECT_FALSE(bar->cancelButton->isVisible());
    EXPECT_EQ(bar->status->text(), QStringLiteral("Recherche annulée"));

    key(bar->findEdit, Qt::Key_Return);
    settle(60000);
    EXPECT_EQ(bar->status->text(), QStringLiteral("Expression trop coûteuse"));
    EXPECT_EQ(window->M->selLength(), 0);
    EXPECT_EQ(window->M->wholeText(), text);
}



TEST_F(EditorKeys, CtrlGGoesToTheLineTyped)
{
    window->M->setBytes("one\r\ntwo\r\nthree\r\nfour");
    QTimer::singleShot(0, [] {
        auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Aller à la ligne"));
        EXPECT_EQ(dialog->intMaximum(), 4);
        dialog->setIntValue(3);
        dialog->accept();
    });
    key(window->M, Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(window->M->selStart(), 10);
    EXPECT_EQ(window->M->caretPosition().y, 2);
}

TEST_F(EditorKeys, LineNumbersAutoIndentAndTabWidth)
{
    auto numbersWidth = [&] { return window->M->SendScintilla(QsciScintillaBase::SCI_GETMARGINWIDTHN, 0UL); };
    EXPECT_GT(numbersWidth(), 0);
    QMenu *menu = window->M->createFrenchContextMenu();
    QAction *numbers = menu->findChild<QAction *>(QStringLiteral("lineNumbersAction"));
    ASSERT_TRUE(numbers);
    EXPECT_EQ(numbers->text(), QStringLiteral("Numéros de ligne"));
    EXPECT_TRUE(numbers->isChecked());
    numbers->trigger();
    EXPECT_EQ(numbersWidth(), 0);
    delete menu;

    window->M->setBytes("");
    QTest::keyClicks(window->M, QStringLiteral("\t  if ($a) {"));
    key(window->M, Qt::Key_Return);
    QTest::keyClicks(window->M, QStringLiteral("x;"));
    key(window->M, Qt::Key_Return);
    key(window->M, Qt::Key_Return);
    EXPECT_EQ(window->M->wholeText(), QByteArray("\t  if ($a) {\r\n\t  x;\r\n\t  \r\n\t  "));

    EXPECT_EQ(window->M->tabWidth(), 4);
    window.reset();
    writeFile(folder.path("side/ondrel.ini"), "[Params]\r\nTabulation=2\r\n");
    window = makeWindow(folder.path("side"));
    EXPECT_EQ(window->M->tabWidth(), 2);
}

} // namespace

ONDREL_QT_TEST_MAIN
