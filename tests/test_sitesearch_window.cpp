// The site search in the real window: Ctrl+P opens a file by name (and at a
// line), Ctrl+Shift+F streams matches that open the file at the match, F12 and
// Ctrl+click jump to a definition in another file and Alt+Left comes back,
// Shift+F12 lists the uses, and every file goes through the file list's load.
#include "support/qtmain.h"
#include "support/filepage.h"
#include "support/testsupport.h"

#include "app/main.h"
#include "app/sessioncontroller.h"
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
#include <QListView>
#include <QListWidget>
#include <QImage>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

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

TEST_F(SiteSearchWindow, CtrlPListsNamesThatAreNotUtf8AndCountsWhatItCannotTellApart)
{
    // Two Latin-1 names that show the same: one is listed, the other counted.
    const QByteArray site = QFile::encodeName(folder.path("site"));
    for (const char *name : {"/caf\xe9.php", "/caf\xe8.php"}) {
        const int fd = ::open((site + name).constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    QTest::keyClick(window->M, Qt::Key_P, Qt::ControlModifier);
    ASSERT_TRUE(box()->isVisible());
    QTest::keyClicks(box()->edit, QStringLiteral("caf"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxLines().contains(QStringLiteral("caf\uFFFD.php")); }, 5000)) << boxLines().join(u',').toStdString();
    EXPECT_EQ(box()->title->text(), QStringLiteral("Ouvrir un fichier du site (1 fichier illisible)"));
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
    ASSERT_EQ(window->session()->openFiles().size(), 2);
    window->session()->showFileTab(0);
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
    EXPECT_EQ(panel->list->model()->rowCount(), 2);
    EXPECT_TRUE(panel->count->text().contains(QStringLiteral("3 occurrences"))) << panel->count->text().toStdString();
    EXPECT_TRUE(panel->count->text().contains(QStringLiteral("1 binaire ignoré"))) << panel->count->text().toStdString();
    EXPECT_TRUE(panel->cancelButton->isHidden());

    int row = panel->match(0).file == QStringLiteral("inc/functions.php") ? 0 : 1;
    ASSERT_EQ(panel->match(row).file, QStringLiteral("inc/functions.php"));
    const QModelIndex line = panel->list->model()->index(row, 0);
    panel->list->scrollTo(line);
    QTest::mouseClick(panel->list->viewport(), Qt::LeftButton, {}, panel->list->visualRect(line).center());
    EXPECT_TRUE(editing("inc/functions.php"));
    EXPECT_EQ(caretLine(), 2);
    EXPECT_EQ(selected(), QByteArray("site_header"));

    // A regular expression that does not compile is told in the panel.
    panel->regex->setChecked(true);
    panel->patternEdit->setText(QStringLiteral("(site"));
    QTest::keyClick(panel->patternEdit, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel->count->text().startsWith(QStringLiteral("Expression régulière incorrecte")); }, 5000));
}

TEST_F(SiteSearchWindow, AnnulerMidStreamKeepsTheLinesShownAndTakesNoMore)
{
    // Enough lines for the search to be still running when the first ones are shown.
    const QByteArray body = QByteArray("<?php\n") + QByteArray("echo 'many_lines';\n").repeated(40);
    for (int i = 0; i < 1500; ++i)
        folder.write(QStringLiteral("site/many/m%1.php").arg(i), body);
    QTest::keyClick(window->M, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    SiteSearchPanel *panel = window->pRechercheSite;
    panel->patternEdit->setText(QStringLiteral("many_lines"));
    QTest::keyClick(panel->patternEdit, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel->matchCount() > 0; }, 10000));
    if (panel->cancelButton->isHidden())
        GTEST_SKIP() << "the search ended before Annuler could be pressed";
    QTest::mouseClick(panel->cancelButton, Qt::LeftButton);
    EXPECT_TRUE(panel->cancelButton->isHidden());
    const qsizetype shown = panel->matchCount();
    EXPECT_LT(shown, 1500 * 40);
    EXPECT_TRUE(panel->count->text().contains(QStringLiteral("annulée"))) << panel->count->text().toStdString();
    EXPECT_TRUE(panel->count->text().startsWith(QStringLiteral("%1 ligne").arg(shown))) << panel->count->text().toStdString();
    QTest::qWait(4 * SiteSearchPanel::kShowEveryMs); // late batches of the cancelled search are dropped
    EXPECT_EQ(panel->matchCount(), shown);
    EXPECT_EQ(panel->list->model()->rowCount(), shown);
    for (qsizetype row = 1; row < shown; ++row) // in file order within each file
        if (panel->match(int(row)).file == panel->match(int(row - 1)).file)
            ASSERT_GT(panel->match(int(row)).line, panel->match(int(row - 1)).line);
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

TEST_F(SiteSearchWindow, F12SearchesTheOpenFileOverTheIndexsCapAndNamesTheFilesLeftOut)
{
    // Two files over the index's 4 MiB: the open one is searched all the same, the other is named.
    const QByteArray filler = "<?php\n" + QByteArray("// filler\n").repeated(530000); // 5.3 MB
    folder.write("site/big/gros.php", filler + "function in_big_file() {}\nin_big_file(); elsewhere();\n");
    folder.write("site/autre.php", filler + "function elsewhere() {}\n");
    chooseFile(*window, folder.path("site/big"), QStringLiteral("gros.php")); // a folder the list has not shown yet
    window->showPage(window->tsEdit);
    window->M->setFocus();
    window->siteSearch->indexer()->ensureBuilt(window->siteSearch->site());
    ASSERT_TRUE(window->siteSearch->indexer()->waitReady(30000));
    const struct
    {
        const char *name;
        int line;            // 0-based; -1: none found
        const char *notice;  // when none is found
    } cases[] = {
        {"in_big_file", 530001, ""},
        {"elsewhere", -1, "Aucune définition de « elsewhere » dans le site. Non lu, trop gros pour l'index : autre.php."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray call = QByteArray(c.name) + "()";
        const qsizetype at = window->M->wholeText().lastIndexOf(call);
        ASSERT_GE(at, 0);
        window->M->setSelStart(at + 2);
        window->M->setSelLength(0);
        QTest::keyClick(window->M, Qt::Key_F12);
        EXPECT_TRUE(editing("big/gros.php"));
        if (c.line >= 0) {
            EXPECT_EQ(caretLine(), c.line);
        } else {
            EXPECT_EQ(window->lNotice->text(), QString::fromUtf8(c.notice));
        }
    }
}

TEST_F(SiteSearchWindow, ShiftF12ListsTheUsesAndASaveUpdatesTheIndex)
{
    window->siteSearch->indexer()->ensureBuilt(window->siteSearch->site());
    ASSERT_TRUE(window->siteSearch->indexer()->waitReady(10000));
    caretOn("site_header");
    QTest::keyClick(window->M, Qt::Key_F12, Qt::ShiftModifier);
    SiteSearchPanel *panel = window->pRechercheSite;
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel->count->text().contains(QStringLiteral("occurrence")); }, 10000));
    EXPECT_EQ(panel->list->model()->rowCount(), 2); // the binary file is not PHP: not even read

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

// The panel alone, fed batches as FindInFiles hands them over: the first is shown at
// once, later ones are gathered and shown together, and none is lost, reordered or
// carried into the next search.
FindMatch lineNumber(int n)
{
    FindMatch m;
    m.file = QStringLiteral("f%1.php").arg(n % 7);
    m.line = n;
    m.text = QStringLiteral("  function f%1()").arg(n);
    m.column = 2;
    m.length = 8;
    return m;
}

QList<FindMatch> lines(int from, int count)
{
    QList<FindMatch> batch;
    for (int n = from; n < from + count; ++n)
        batch.append(lineNumber(n));
    return batch;
}

int shownRows(const SiteSearchPanel &panel)
{
    return panel.list->model()->rowCount();
}

TEST(SiteSearchPanelList, EveryBatchIsShownWholeAndInOrderTheFirstAtOnce)
{
    SiteSearchPanel panel;
    panel.show();
    panel.searchStarted();
    panel.addMatches(lines(0, 3));
    EXPECT_EQ(shownRows(panel), 3);
    EXPECT_FALSE(panel.cancelButton->isHidden());

    // Batches of uneven sizes while the search runs, then more just before its end.
    int next = 3;
    for (int size : {1, 400, 17, 2, 399, 60}) {
        panel.addMatches(lines(next, size));
        next += size;
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownRows(panel) == next; }, 5000)) << shownRows(panel);
    EXPECT_TRUE(panel.count->text().startsWith(QStringLiteral("%1 lignes").arg(next))) << panel.count->text().toStdString();
    panel.addMatches(lines(next, 250));
    next += 250;
    FindSummary summary;
    summary.matches = next;
    summary.filesSearched = 7;
    panel.searchFinished(summary);
    ASSERT_EQ(shownRows(panel), next);
    ASSERT_EQ(panel.matchCount(), next);
    for (int row = 0; row < next; ++row)
        ASSERT_EQ(panel.match(row).line, row) << "row " << row;
    const QModelIndex last = panel.list->model()->index(next - 1, 0);
    EXPECT_EQ(last.data(Qt::ToolTipRole).toString(), QStringLiteral("f%1.php:%2:   function f%2()").arg((next - 1) % 7).arg(next - 1));
    EXPECT_TRUE(panel.cancelButton->isHidden());
    EXPECT_EQ(panel.count->text(), QStringLiteral("%1 lignes — %1 occurrences dans 7 fichiers lus").arg(next));
}

TEST(SiteSearchPanelList, TheMatchIsDrawnOnAHighlightAtItsPlaceInTheLine)
{
    SiteSearchPanel panel;
    panel.resize(700, 300);
    panel.show();
    panel.searchStarted();
    FindMatch m = lineNumber(12);
    m.text = QStringLiteral("    return wp_die( $message );");
    m.column = 11;
    m.length = 6;
    panel.addMatches({m});
    QCoreApplication::processEvents();
    const QRect row = panel.list->visualRect(panel.list->model()->index(0, 0));
    const QImage shot = panel.list->viewport()->grab().toImage();
    const QColor highlight(0xFF, 0xD8, 0x4D);
    int left = -1, right = -1;
    const int y = row.center().y();
    for (int x = 0; x < shot.width(); ++x) {
        if (shot.pixelColor(x, row.top() + 2) == highlight) { // above the glyphs
            left = left < 0 ? x : left;
            right = x;
        }
    }
    ASSERT_GE(left, 0) << "no highlight on the row";
    const QFontMetrics metrics(panel.list->font());
    const int expectedLeft = row.left() + 3 + metrics.horizontalAdvance(QStringLiteral("f5.php:12:     return "));
    EXPECT_NEAR(left, expectedLeft, 3);
    EXPECT_NEAR(right - left + 1, metrics.horizontalAdvance(QStringLiteral("wp_die")), 3);
    // The text after the match is drawn too.
    bool inkAfter = false;
    for (int x = right + 3; x < right + 3 + metrics.horizontalAdvance(QStringLiteral("( $message );")) && !inkAfter; ++x)
        for (int dy = -3; dy <= 3 && !inkAfter; ++dy)
            inkAfter = shot.pixelColor(x, y + dy).lightness() < 128;
    EXPECT_TRUE(inkAfter);
}

TEST(SiteSearchPanelList, ANewSearchDropsTheLinesGatheredForTheOldOne)
{
    SiteSearchPanel panel;
    panel.show();
    panel.searchStarted();
    panel.addMatches(lines(0, 5));
    panel.addMatches(lines(5, 40)); // gathered, not shown yet
    EXPECT_EQ(panel.receivedCount(), 45);
    panel.searchStarted();
    EXPECT_EQ(shownRows(panel), 0);
    EXPECT_EQ(panel.receivedCount(), 0);
    QTest::qWait(3 * SiteSearchPanel::kShowEveryMs);
    EXPECT_EQ(shownRows(panel), 0);
    panel.addMatches(lines(100, 2));
    ASSERT_EQ(shownRows(panel), 2);
    EXPECT_EQ(panel.match(0).line, 100);
}

} // namespace

ONDREL_QT_TEST_MAIN
