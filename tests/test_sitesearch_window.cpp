// The site search in the real window: Ctrl+P opens a file by name (and at a
// line), Ctrl+Shift+F streams matches that open the file at the match, F12 and
// Ctrl+click jump to a definition in another file and Alt+Left comes back,
// Shift+F12 lists the uses, and every file goes through the file list's load.
#include "support/qtmain.h"
#include "support/filepage.h"
#include "support/testsupport.h"

#include "app/main.h"
#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "files/recentfiles.h"
#include "search/openfilebox.h"
#include "search/sitesearch.h"
#include "search/sitesearchpanel.h"

#include <Qsci/qsciscintillabase.h>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

namespace {

class SiteSearchWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder.write("site/index.php", "<?php\nrequire 'inc/functions.php';\nsite_header();\n$c = new Cart();\n"
                                       "$c->render(); undefined_thing();\n");
        folder.write("site/inc/functions.php", "<?php\n\nfunction site_header() { echo 'site_header'; }\n");
        folder.write("site/lib/Cart.php", "<?php\nclass Cart {\n  function render() {}\n}\n");
        folder.write("site/lib/Page.php", "<?php\nclass Page {\n\n  function render() {}\n}\n");
        folder.write("site/lib/blob.bin", QByteArray("site_header\0", 12));
        QDir().mkpath(folder.path("side"));
        window = makeWindow(folder.path("side"));
        window->eRacine->setText(folder.path("site")); // the site, whichever of its files is open
        chooseFile(*window, folder.path("site"), QStringLiteral("index.php"));
        window->showPage(window->tsEdit);
        window->M->setFocus();
    }

    QString site(const QString &name) const { return QDir::cleanPath(folder.path("site/" + name)); }
    /** Puts the caret inside the first `word` of the editor's text. */
    void caretOn(const QByteArray &word)
    {
        const qsizetype at = window->M->wholeText().indexOf(word);
        ASSERT_GE(at, 0) << word.toStdString();
        window->M->setSelStart(at + 2);
        window->M->setSelLength(0);
    }
    QByteArray selected() const { return window->M->wholeText().mid(window->M->selStart(), window->M->selLength()); }
    int caretLine() const { return window->M->lineOfOffset(window->M->selStart()); }
    bool editing(const QString &name) const { return window->eFile->text() == site(name); }
    QStringList boxLines() const
    {
        QStringList lines;
        for (int i = 0; i < box()->list->count(); ++i)
            lines << box()->list->item(i)->text();
        return lines;
    }
    OpenFileBox *box() const { return window->siteSearch->box(); }

    TempFolder folder;
    ModalWatcher watcher;
    std::unique_ptr<TfmMain> window;
};

TEST_F(SiteSearchWindow, CtrlPOpensAFileByNameAtALineWithTheKeysOfTheBox)
{
    QTest::keyClick(window->M, Qt::Key_P, Qt::ControlModifier);
    ASSERT_TRUE(box()->isVisible());
    QTest::keyClicks(box()->edit, QStringLiteral("funct:3"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxLines().value(0) == QStringLiteral("inc/functions.php"); }, 5000));
    QTest::keyClick(box()->edit, Qt::Key_Return);
    EXPECT_FALSE(box()->isVisible());
    EXPECT_TRUE(editing("inc/functions.php"));
    EXPECT_EQ(caretLine(), 2);
    EXPECT_EQ(window->PC->currentWidget(), window->tsEdit);

    // Nothing typed: the open file, then the one before it, then the rest.
    QTest::keyClick(window->M, Qt::Key_P, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxLines().size() == 5; }, 5000));
    EXPECT_EQ(boxLines().mid(0, 2), (QStringList{"inc/functions.php", "index.php"}));
    // Down, then Enter: the second line.
    QTest::keyClick(box()->edit, Qt::Key_Down);
    QTest::keyClick(box()->edit, Qt::Key_Return);
    EXPECT_TRUE(editing("index.php"));

    // Escape closes the box and opens nothing.
    QTest::keyClick(window->M, Qt::Key_P, Qt::ControlModifier);
    QTest::keyClicks(box()->edit, QStringLiteral("cart"));
    QTest::keyClick(box()->edit, Qt::Key_Escape);
    EXPECT_FALSE(box()->isVisible());
    EXPECT_TRUE(editing("index.php"));
}

TEST_F(SiteSearchWindow, CtrlPListsFirstTheRecentFilesOfTheLastRun)
{
    // The recent list kept beside the settings, as the last run left it: the box offers
    // its files of the site, in its order, before the rest of the site.
    window.reset();
    RecentFile shown;
    shown.path = site("index.php");
    shown.open = shown.current = true;
    RecentFile page, outside, functions;
    page.path = site("lib/Page.php");
    outside.path = QDir::cleanPath(folder.path("elsewhere.php"));
    folder.write("elsewhere.php", "<?php\n");
    functions.path = site("inc/functions.php");
    ASSERT_TRUE(writeRecentFiles(folder.path("side/ondrel.rec"), {shown, page, outside, functions}));
    window = makeWindow(folder.path("side"));
    window->showPage(window->tsEdit);
    window->M->setFocus();
    ASSERT_TRUE(editing("index.php"));

    QTest::keyClick(window->M, Qt::Key_P, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxLines().size() == 5; }, 5000)) << boxLines().join(u' ').toStdString();
    EXPECT_EQ(boxLines().mid(0, 3), (QStringList{"index.php", "lib/Page.php", "inc/functions.php"}));
}

TEST_F(SiteSearchWindow, AnUnsavedTextStaysInItsTabWhenAnotherFileOpens)
{
    QTest::keyClicks(window->M, QStringLiteral("x"));
    QTest::keyClick(window->M, Qt::Key_P, Qt::ControlModifier);
    QTest::keyClicks(box()->edit, QStringLiteral("cart"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxLines().value(0) == QStringLiteral("lib/Cart.php"); }, 5000));
    QTest::keyClick(box()->edit, Qt::Key_Return);
    EXPECT_TRUE(watcher.boxes.isEmpty());
    EXPECT_TRUE(editing("lib/Cart.php"));
    ASSERT_EQ(window->openFiles().size(), 2);
    window->showFileTab(0);
    EXPECT_TRUE(editing("index.php"));
    EXPECT_TRUE(window->M->isModified());
}

TEST_F(SiteSearchWindow, FindInSiteStreamsMatchesAndAClickOpensTheFileAtTheMatch)
{
    caretOn("site_header");
    QTest::keyClick(window->M, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    SiteSearchPanel *panel = window->pRechercheSite;
    ASSERT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->patternEdit->text(), QStringLiteral("site_header"));
    QTest::keyClick(panel->patternEdit, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel->count->text().contains(QStringLiteral("occurrence")); }, 10000));
    EXPECT_EQ(panel->list->count(), 2);
    EXPECT_TRUE(panel->count->text().contains(QStringLiteral("3 occurrences"))) << panel->count->text().toStdString();
    EXPECT_TRUE(panel->count->text().contains(QStringLiteral("1 binaire ignoré"))) << panel->count->text().toStdString();
    EXPECT_TRUE(panel->cancelButton->isHidden());

    int row = panel->match(0).file == QStringLiteral("inc/functions.php") ? 0 : 1;
    ASSERT_EQ(panel->match(row).file, QStringLiteral("inc/functions.php"));
    panel->list->scrollToItem(panel->list->item(row));
    QTest::mouseClick(panel->list->viewport(), Qt::LeftButton, {}, panel->list->visualItemRect(panel->list->item(row)).center());
    EXPECT_TRUE(editing("inc/functions.php"));
    EXPECT_EQ(caretLine(), 2);
    EXPECT_EQ(selected(), QByteArray("site_header"));

    // A regular expression that does not compile is told in the panel.
    panel->regex->setChecked(true);
    panel->patternEdit->setText(QStringLiteral("(site"));
    QTest::keyClick(panel->patternEdit, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel->count->text().startsWith(QStringLiteral("Expression régulière incorrecte")); }, 5000));
}

TEST_F(SiteSearchWindow, F12JumpsToADefinitionInAnotherFileAndAltLeftComesBack)
{
    caretOn("site_header");
    const qsizetype before = window->M->selStart();
    QTest::keyClick(window->M, Qt::Key_F12);
    ASSERT_TRUE(QTest::qWaitFor([&] { return editing("inc/functions.php"); }, 10000)); // the index is built first
    EXPECT_EQ(caretLine(), 2);
    QTest::keyClick(window->M, Qt::Key_Left, Qt::AltModifier);
    EXPECT_TRUE(editing("index.php"));
    EXPECT_EQ(window->M->selStart(), before);

    // A click on a name goes nowhere; a Ctrl+click jumps.
    const qsizetype at = window->M->wholeText().indexOf("Cart") + 1;
    const QPoint point(int(window->M->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0, long(at))) + 2,
                       int(window->M->SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0, long(at))) + 4);
    QTest::mouseClick(window->M->viewport(), Qt::LeftButton, {}, point);
    EXPECT_TRUE(editing("index.php"));
    QTest::mouseClick(window->M->viewport(), Qt::LeftButton, Qt::ControlModifier, point);
    EXPECT_TRUE(editing("lib/Cart.php"));
    EXPECT_EQ(caretLine(), 1);
}

TEST_F(SiteSearchWindow, SeveralCandidatesAreListedAndNoneIsToldInTheNoticeLine)
{
    window->siteSearch->indexer()->ensureBuilt(window->siteSearch->site());
    ASSERT_TRUE(window->siteSearch->indexer()->waitReady(10000));
    caretOn("render");
    QTest::keyClick(window->M, Qt::Key_F12);
    ASSERT_TRUE(box()->isVisible());
    EXPECT_EQ(boxLines(), (QStringList{"méthode Cart::render — lib/Cart.php:3", "méthode Page::render — lib/Page.php:4"}));
    QTest::keyClick(box()->list, Qt::Key_Down);
    QTest::keyClick(box()->list, Qt::Key_Return);
    EXPECT_TRUE(editing("lib/Page.php"));
    EXPECT_EQ(caretLine(), 3);

    QTest::keyClick(window->M, Qt::Key_Left, Qt::AltModifier);
    caretOn("undefined_thing");
    QTest::keyClick(window->M, Qt::Key_F12);
    EXPECT_TRUE(editing("index.php"));
    EXPECT_TRUE(window->lNotice->isVisible());
    EXPECT_EQ(window->lNotice->text(), QStringLiteral("Aucune définition de « undefined_thing » dans le site."));
}

TEST_F(SiteSearchWindow, ShiftF12ListsTheUsesAndASaveUpdatesTheIndex)
{
    window->siteSearch->indexer()->ensureBuilt(window->siteSearch->site());
    ASSERT_TRUE(window->siteSearch->indexer()->waitReady(10000));
    caretOn("site_header");
    QTest::keyClick(window->M, Qt::Key_F12, Qt::ShiftModifier);
    SiteSearchPanel *panel = window->pRechercheSite;
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel->count->text().contains(QStringLiteral("occurrence")); }, 10000));
    EXPECT_EQ(panel->list->count(), 2); // the binary file is not PHP: not even read

    // A function added and saved is found at once.
    window->M->setSelStart(window->M->textLength());
    QTest::keyClick(window->M, Qt::Key_Return);
    QTest::keyClicks(window->M, QStringLiteral("function added_now() {}"));
    QTest::keyClick(window->M, Qt::Key_Return);
    QTest::keyClicks(window->M, QStringLiteral("added_now();"));
    QTest::keyClick(window->M, Qt::Key_S, Qt::ControlModifier);
    window->M->setSelStart(window->M->wholeText().lastIndexOf("added_now") + 1);
    QTest::keyClick(window->M, Qt::Key_F12);
    EXPECT_EQ(caretLine(), 6);
    EXPECT_FALSE(window->lNotice->isVisible());
}

} // namespace

ONDREL_QT_TEST_MAIN
