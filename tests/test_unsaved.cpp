// Edited text is never dropped without asking: closing its tab or the window
// offers to save it first; choosing another file keeps it in its tab.
#include "support/qtmain.h"
#include "support/filepage.h"
#include "support/testsupport.h"

#include "app/main.h"
#include "app/sessioncontroller.h"
#include "widgets/widgets.h"
#include "editor/richedit.h"

#include <QTabBar>
#include <QTest>

namespace {

class Unsaved : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder.write("site/a.php", "first\n");
        folder.write("site/b.php", "second\n");
        window = makeWindow(folder.path(QString()));
        chooseFile(*window, folder.path("site"), QStringLiteral("a.php"));
        window->showPage(window->tsEdit);
        window->M->setFocus();
        QTest::keyClicks(window->M, QStringLiteral("edited "));
    }

    TempFolder folder;
    std::unique_ptr<TfmMain> window;
};

TEST_F(Unsaved, ChoosingAnotherFileKeepsTheEditedTextInItsTab)
{
    ModalWatcher watcher;
    chooseFile(*window, folder.path("site"), QStringLiteral("b.php"));
    EXPECT_TRUE(watcher.boxes.isEmpty());
    EXPECT_EQ(window->M->wholeText(), QByteArray("second\r\n"));
    EXPECT_EQ(window->eFile->text(), folder.path("site/b.php"));
    chooseFile(*window, folder.path("site"), QStringLiteral("a.php")); // its tab, its text as it was
    EXPECT_EQ(window->M->wholeText(), QByteArray("edited first\r\n"));
    EXPECT_EQ(window->eFile->text(), folder.path("site/a.php"));
    EXPECT_EQ(folder.read("site/a.php"), QByteArray("first\n"));
    EXPECT_TRUE(watcher.boxes.isEmpty());
}

TEST_F(Unsaved, ClosingTheTabAsksCancelKeepsItSaveWritesTheEdits)
{
    chooseFile(*window, folder.path("site"), QStringLiteral("b.php"));
    chooseFile(*window, folder.path("site"), QStringLiteral("a.php"));
    window->showPage(window->tsEdit);
    window->M->setFocus(); // Ctrl+W is a key of the editor page
    ModalWatcher watcher;
    watcher.answer = QStringLiteral("Annuler");
    QTest::keyClick(window->M, Qt::Key_W, Qt::ControlModifier);
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_TRUE(watcher.boxes[0].text.contains(folder.path("site/a.php")));
    EXPECT_EQ(window->M->wholeText(), QByteArray("edited first\r\n"));
    EXPECT_EQ(window->session()->openFiles().size(), 2);

    watcher.answer = QStringLiteral("Enregistrer");
    EXPECT_TRUE(window->session()->closeFileTab(window->tbFichiers->currentIndex())); // as its cross does
    EXPECT_EQ(folder.read("site/a.php"), QByteArray("edited first\n"));
    EXPECT_EQ(window->session()->openFiles().size(), 1);
    EXPECT_EQ(window->eFile->text(), folder.path("site/b.php"));

    chooseFile(*window, folder.path("site"), QStringLiteral("a.php")); // nothing edited: no question
    EXPECT_EQ(watcher.boxes.size(), 2);
}

TEST_F(Unsaved, ClosingAsksAndCancelKeepsTheWindowOpen)
{
    ModalWatcher watcher;
    watcher.answer = QStringLiteral("Annuler");
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(watcher.boxes.size(), 1);

    watcher.answer = QStringLiteral("Enregistrer");
    EXPECT_TRUE(window->close());
    EXPECT_EQ(folder.read("site/a.php"), QByteArray("edited first\n"));
}

TEST_F(Unsaved, APreviewSaveCountsAsSaved)
{
    window->eURL->setText(QStringLiteral("about:blank"));
    QTest::keyClick(window->M, Qt::Key_F9);
    ModalWatcher watcher;
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(watcher.boxes.isEmpty());
    EXPECT_EQ(folder.read("site/a.php"), QByteArray("edited first\n"));
}

} // namespace

ONDREL_QT_TEST_MAIN
