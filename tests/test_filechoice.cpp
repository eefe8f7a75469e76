// Choosing a file in the file list, and the site edit that derives the target URL.
#include "support/qtmain.h"
#include "support/filepage.h"
#include "support/testsupport.h"

#include "app/main.h"
#include "app/sessioncontroller.h"
#include "preview/phpserver.h"
#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "files/browser.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QTimer>
#include <QDir>
#include <QFile>
#include <QTest>

namespace {

class FileChoice : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = QDir(site.path({})).canonicalPath();
        writeFile(root + QStringLiteral("/index.php"), "<?php echo 'a'; ?>\r\nligne 2\r\n");
        writeFile(root + QStringLiteral("/autre.php"), "autre\n");
        window = makeWindow(sideFiles.path({}));
        window->eFile->clear();
        window->cbServeurIntegre->setChecked(false); // the rules for a web server of the user's own
        window->eSite->setText(QStringLiteral("http://localhost/site"));
        window->CoulPolice = 0x336699;
        window->M->setTextColour(0x00FFFF);
        window->dlb->setCurrentFolder(root);
    }

    /** What a failed choice must leave as it was. */
    struct Seen
    {
        QByteArray text;
        QString file, site, url, caption;
        Colour colour;
        bool operator==(const Seen &) const = default;
    };
    Seen seen() const
    {
        return {window->M->wholeText(), window->eFile->text(), window->eSite->text(),
                window->eURL->text(), window->windowTitle(), window->M->textColour()};
    }

    TempFolder sideFiles, site;
    QString root;
    std::unique_ptr<TfmMain> window;
    ModalWatcher boxes;
};

TEST_F(FileChoice, PressOnAFileLoadsItAndDerivesTheTargetUrl)
{
    pressItem(window->flb, QStringLiteral("index.php"));
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_EQ(window->M->wholeText(), QByteArray("<?php echo 'a'; ?>\r\nligne 2\r\n"));
    EXPECT_EQ(window->eFile->text(), root + QStringLiteral("/index.php"));
    EXPECT_EQ(window->eSite->text(), QStringLiteral("http://localhost/site/"));
    EXPECT_EQ(window->eURL->text(), QStringLiteral("http://localhost/site/index.php"));
    EXPECT_EQ(window->windowTitle(), root + QStringLiteral("/index.php"));
    EXPECT_EQ(window->M->textColour(), window->CoulPolice);
    EXPECT_EQ(window->M->colourAt(0), window->CoulPolice); // no colouring pass ran

    // A double click loads twice, with the same outcome as one load.
    window->M->setBytes("édité");
    doubleClickItem(window->flb, QStringLiteral("autre.php"));
    EXPECT_EQ(window->M->wholeText(), QByteArray("autre\r\n"));
    EXPECT_EQ(window->eURL->text(), QStringLiteral("http://localhost/site/autre.php"));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(FileChoice, RightButtonLoadsTheFileAlreadySelected)
{
    pressItem(window->flb, QStringLiteral("index.php"));
    writeFile(root + QStringLiteral("/index.php"), "changé sur le disque");
    pressItem(window->flb, QStringLiteral("autre.php"), Qt::RightButton);
    EXPECT_EQ(window->flb->selectedItems().first()->text(), QStringLiteral("index.php"));
    EXPECT_EQ(window->M->wholeText(), QByteArray("changé sur le disque"));
    EXPECT_EQ(window->eFile->text(), root + QStringLiteral("/index.php"));
}

TEST_F(FileChoice, FailuresShowReadErrorAndKeepWhatEarlierStepsDid)
{
    // Nothing selected: the empty path cannot be opened; nothing changes.
    window->M->setBytes("texte en cours");
    const Seen before = seen();
    pressItem(window->flb, QStringLiteral("index.php"), Qt::RightButton);
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Erreur de lecture."));
    EXPECT_FALSE(boxes.boxes[0].hasIcon);
    EXPECT_EQ(boxes.boxes[0].caption, applicationTitle());
    EXPECT_TRUE(seen() == before);

    // The file was removed meanwhile: the editor, the edits and the caption stay.
    QFile::remove(root + QStringLiteral("/index.php"));
    pressItem(window->flb, QStringLiteral("index.php"));
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(boxes.boxes[1].text, QStringLiteral("Erreur de lecture."));
    EXPECT_TRUE(seen() == before);

    // A folder put in the file's place cannot be loaded either.
    QDir(root).mkdir(QStringLiteral("index.php"));
    pressItem(window->flb, QStringLiteral("index.php"));
    EXPECT_EQ(boxes.boxes.size(), 3);
    EXPECT_TRUE(seen() == before);
}

TEST_F(FileChoice, SiteEditDerivesTheUrlAtEachKeystrokeAndAddsTheSlashOnLeaving)
{
    pressItem(window->flb, QStringLiteral("index.php"));
    window->eSite->clear();
    window->eSite->setFocus();
    QTest::keyClicks(window->eSite, QStringLiteral("http://h/a"));
    EXPECT_EQ(window->eURL->text(), QStringLiteral("http://h/aindex.php"));
    QTest::keyClick(window->eSite, Qt::Key_Backspace);
    EXPECT_EQ(window->eURL->text(), QStringLiteral("http://h/index.php"));
    QTest::keyClicks(window->eSite, QStringLiteral("b"));

    window->eFile->setFocus(); // leaving the site edit
    EXPECT_EQ(window->eSite->text(), QStringLiteral("http://h/b/"));
    EXPECT_EQ(window->eURL->text(), QStringLiteral("http://h/b/index.php"));

    // A path typed into eFile does not touch eURL until the site changes; then
    // only its file-name part is used.
    window->eFile->setText(QStringLiteral("/ailleurs/nouveau.php"));
    EXPECT_EQ(window->eURL->text(), QStringLiteral("http://h/b/index.php"));
    window->eSite->setText(QStringLiteral("http://h/c/"));
    EXPECT_EQ(window->eURL->text(), QStringLiteral("http://h/c/nouveau.php"));
}

TEST_F(FileChoice, EnterAndSpaceOpenTheFileChosenWithTheKeyboard)
{
    window->flb->setFocus();
    const std::pair<Qt::Key, const char *> keys[] = {{Qt::Key_Return, "autre.php"}, {Qt::Key_Space, "index.php"},
                                                     {Qt::Key_Enter, "autre.php"}};
    for (const auto &[key, name] : keys) {
        window->flb->setCurrentItem(itemNamed(window->flb, QString::fromUtf8(name)));
        QTest::keyClick(window->flb, key);
        EXPECT_EQ(window->eFile->text(), root + u'/' + QString::fromUtf8(name)) << name;
        EXPECT_EQ(window->eURL->text(), QStringLiteral("http://localhost/site/") + QString::fromUtf8(name));
    }
    EXPECT_EQ(window->M->wholeText(), QByteArray("autre\r\n"));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(FileChoice, TheListFollowsTheFileOfTheCurrentTab)
{
    pressItem(window->flb, QStringLiteral("index.php"));
    window->M->setFocus();
    QTest::keyClicks(window->M, QStringLiteral("x"));
    pressItem(window->flb, QStringLiteral("autre.php")); // a tab of its own: nothing to ask
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_EQ(window->M->wholeText(), QByteArray("autre\r\n"));
    window->session()->showFileTab(0);
    EXPECT_EQ(window->M->wholeText(), QByteArray("x<?php echo 'a'; ?>\r\nligne 2\r\n"));
    EXPECT_EQ(window->flb->selectedFilePath(), root + QStringLiteral("/index.php"));
    EXPECT_EQ(window->flb->currentItem()->text(), QStringLiteral("index.php"));
}

TEST_F(FileChoice, TheShownFolderIsWatched)
{
    pressItem(window->flb, QStringLiteral("index.php"));
    auto names = [&] {
        QStringList list;
        for (int i = 0; i < window->flb->count(); ++i)
            list.append(window->flb->item(i)->text());
        return list;
    };
    writeFile(root + QStringLiteral("/neuf.php"), "n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return names().contains(QStringLiteral("neuf.php")); }, 5000));
    QFile::rename(root + QStringLiteral("/autre.php"), root + QStringLiteral("/b.txt"));
    QFile::remove(root + QStringLiteral("/neuf.php"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !names().contains(QStringLiteral("neuf.php")); }, 5000));
    EXPECT_EQ(names(), QStringList({QStringLiteral("b.txt"), QStringLiteral("index.php")}));
    EXPECT_EQ(window->flb->selectedFilePath(), root + QStringLiteral("/index.php"));

    // The last filter lists PHP files; the design's six keep their places.
    window->FilterComboBox1->setCurrentIndex(window->FilterComboBox1->count() - 1);
    EXPECT_EQ(window->FilterComboBox1->currentText(), QStringLiteral("Fichiers PHP (*.php)"));
    EXPECT_EQ(names(), QStringList{QStringLiteral("index.php")});
}

TEST_F(FileChoice, SiteIsLeftOnlyForAnotherControlOfTheWindow)
{
    window->eSite->setText(QStringLiteral("http://h/a"));
    window->eSite->setFocus();
    QWidget other; // another window takes the focus, then gives it back
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(window->eSite->text(), QStringLiteral("http://h/a"));

    // The edit's own context menu neither.
    QTimer::singleShot(50, [] {
        if (QWidget *menu = QApplication::activePopupWidget())
            menu->close();
    });
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(5, 5));
    QApplication::sendEvent(window->eSite, &menu);
    EXPECT_EQ(window->eSite->text(), QStringLiteral("http://h/a"));

    window->eParam->setFocus();
    EXPECT_EQ(window->eSite->text(), QStringLiteral("http://h/a/"));
}

TEST_F(FileChoice, AnEmptySiteStaysEmpty)
{
    window->eSite->clear();
    pressItem(window->flb, QStringLiteral("autre.php"));
    EXPECT_EQ(window->eSite->text(), QString());
    EXPECT_EQ(window->eURL->text(), QStringLiteral("autre.php"));
    window->eSite->setFocus();
    window->eFile->setFocus();
    EXPECT_EQ(window->eSite->text(), QString());
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(FileChoice, WithRacineTheSiteIsFollowedByThePathBelowIt)
{
    writeFile(root + QStringLiteral("/wp-includes/formatting.php"), "<?php");
    window->eRacine->setText(root);
    chooseFile(*window, root + QStringLiteral("/wp-includes"), QStringLiteral("formatting.php"));
    EXPECT_EQ(window->eURL->text(), QStringLiteral("http://localhost/site/wp-includes/formatting.php"));
    // A file outside "Racine" falls back to the site and its name.
    window->eRacine->setText(root + QStringLiteral("/ailleurs"));
    EXPECT_EQ(window->eURL->text(), QStringLiteral("http://localhost/site/formatting.php"));
    // The built-in server: its origin and the path below the served folder.
    window->eRacine->setText(root);
    QTest::mouseClick(window->cbServeurIntegre, Qt::LeftButton);
    EXPECT_EQ(window->eURL->text(), window->server()->origin() + QStringLiteral("/wp-includes/formatting.php"));
}

} // namespace

ONDREL_QT_TEST_MAIN
