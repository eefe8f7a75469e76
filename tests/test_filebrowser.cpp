// The four linked browsing controls of the file page, in the real window.
#include "support/qtmain.h"
#include "support/filepage.h"
#include "support/testsupport.h"

#include "app/main.h"
#include "files/browser.h"

#include <QDir>
#include <QTest>

namespace {

QStringList texts(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out.append(list->item(i)->text());
    return out;
}

class FileBrowser : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = QDir(site.path({})).canonicalPath();
        for (const char *name : {"index.php", "B.php3", "a.php3", "notes.txt", "Lib.INC", "photo.jpg",
                                 "logo.GIF", "icone.gif", ".htaccess", "LISEZMOI"})
            writeFile(root + QLatin1Char('/') + QString::fromUtf8(name), "x");
        QDir(root).mkpath(QStringLiteral("images/vieux"));
        QDir(root).mkpath(QStringLiteral("Admin"));
        QDir(root).mkpath(QStringLiteral(".git"));
        writeFile(root + QStringLiteral("/images/fond.jpg"), "x");
        window = makeWindow(sideFiles.path({}));
        window->dlb->setCurrentFolder(root);
    }

    void chooseFilter(const QString &text)
    {
        const int index = window->FilterComboBox1->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        window->FilterComboBox1->setCurrentIndex(index);
    }

    TempFolder sideFiles, site;
    QString root;
    std::unique_ptr<TfmMain> window;
    ModalWatcher boxes;
};

TEST_F(FileBrowser, FolderListShowsThePathFromTheRootThenSubfolders)
{
    QStringList expected;
    for (const QString &part : root.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        expected.append(part);
    expected.prepend(QStringLiteral("/"));
    expected << QStringLiteral("Admin") << QStringLiteral("images"); // no hidden folder
    EXPECT_EQ(texts(window->dlb), expected);
    EXPECT_EQ(window->dlb->currentItem()->text(), root.section(QLatin1Char('/'), -1));
    EXPECT_EQ(window->dlb->currentFolder(), root);
    EXPECT_EQ(QDir::currentPath(), root);
    EXPECT_EQ(window->DriveComboBox1->itemText(0), QStringLiteral("/"));
    EXPECT_EQ(window->DriveComboBox1->currentText(), window->DriveComboBox1->driveOf(root));
}

TEST_F(FileBrowser, OpeningAnEntryEntersItByDoubleClickOrEnter)
{
    doubleClickItem(window->dlb, QStringLiteral("images"));
    EXPECT_EQ(window->dlb->currentFolder(), root + QStringLiteral("/images"));
    EXPECT_EQ(QDir::currentPath(), root + QStringLiteral("/images"));
    EXPECT_EQ(texts(window->flb), QStringList{"fond.jpg"});
    EXPECT_EQ(texts(window->dlb).mid(texts(window->dlb).size() - 2), (QStringList{"images", "vieux"}));

    // Back up the path with the keyboard: select the site folder's entry and press Enter.
    window->dlb->setFocus();
    window->dlb->setCurrentItem(itemNamed(window->dlb, root.section(QLatin1Char('/'), -1)));
    QTest::keyClick(window->dlb, Qt::Key_Return);
    EXPECT_EQ(window->dlb->currentFolder(), root);
    EXPECT_TRUE(itemNamed(window->flb, QStringLiteral("index.php")));

    window->dlb->setCurrentItem(window->dlb->item(0));
    QTest::keyClick(window->dlb, Qt::Key_Enter);
    EXPECT_EQ(window->dlb->currentFolder(), QStringLiteral("/"));
    EXPECT_EQ(QDir::currentPath(), QStringLiteral("/"));
    EXPECT_EQ(window->DriveComboBox1->currentText(), QStringLiteral("/"));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(FileBrowser, FilterEntriesGiveTheirMasks)
{
    const QStringList shown{"Tous les fichiers (*.*)", "Fichiers PHP3", "Fichiers TXT", "Fichier INC",
                            "Fichier JPG", "Fichier GIF", "Fichiers PHP (*.php)"};
    ASSERT_EQ(window->FilterComboBox1->count(), shown.size());
    EXPECT_EQ(window->FilterComboBox1->currentIndex(), 0);
    const QList<QStringList> listed{
        // Files only, no hidden ones, sorted without regard to case.
        {"a.php3", "B.php3", "icone.gif", "index.php", "Lib.INC", "LISEZMOI", "logo.GIF", "notes.txt", "photo.jpg"},
        {"a.php3", "B.php3"}, // not index.php: "*.php3" is no "*.php"
        {"notes.txt"},
        {"Lib.INC"},
        {"photo.jpg"},
        {"icone.gif", "logo.GIF"},
        {"index.php"}, // the entry added after the design's six
    };
    for (int i = shown.size() - 1; i >= 0; --i) {
        SCOPED_TRACE(shown[i].toStdString());
        EXPECT_EQ(window->FilterComboBox1->itemText(i), shown[i]);
        window->FilterComboBox1->setCurrentIndex(i);
        EXPECT_EQ(texts(window->flb), listed[i]);
    }
}

TEST_F(FileBrowser, FileListIsReadOnlyWhenFolderOrMaskReallyChanges)
{
    writeFile(root + QStringLiteral("/nouveau.php"), "x");
    window->dlb->setCurrentFolder(root);   // the folder in use
    chooseFilter(QStringLiteral("Tous les fichiers (*.*)")); // the filter in use
    EXPECT_FALSE(itemNamed(window->flb, QStringLiteral("nouveau.php")));

    chooseFilter(QStringLiteral("Fichiers TXT"));
    chooseFilter(QStringLiteral("Tous les fichiers (*.*)"));
    EXPECT_TRUE(itemNamed(window->flb, QStringLiteral("nouveau.php")));

    writeFile(root + QStringLiteral("/encore.php"), "x");
    doubleClickItem(window->dlb, QStringLiteral("Admin"));
    EXPECT_EQ(window->flb->count(), 0);
    window->dlb->setCurrentFolder(root);
    EXPECT_TRUE(itemNamed(window->flb, QStringLiteral("encore.php")));
}

TEST_F(FileBrowser, AFolderThatCannotBeEnteredIsReportedAndNothingMoves)
{
    const QStringList folders = texts(window->dlb);
    const QStringList files = texts(window->flb);
    ASSERT_TRUE(QDir(root + QStringLiteral("/Admin")).removeRecursively()); // removed meanwhile

    doubleClickItem(window->dlb, QStringLiteral("Admin"));
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Impossible d'accéder au dossier %1/Admin.").arg(root));
    EXPECT_TRUE(boxes.boxes[0].hasIcon);
    EXPECT_EQ(boxes.boxes[0].caption, applicationTitle());
    EXPECT_EQ(window->dlb->currentFolder(), root);
    EXPECT_EQ(QDir::currentPath(), root);
    EXPECT_EQ(texts(window->dlb), folders);
    EXPECT_EQ(texts(window->flb), files);

    // From code the same failure is thrown, with the same outcome.
    EXPECT_THROW(window->dlb->setCurrentFolder(root + QStringLiteral("/index.php")), OndrelError);
    EXPECT_THROW(window->dlb->setCurrentFolder(root + QStringLiteral("/absent")), OndrelError);
    EXPECT_EQ(window->dlb->currentFolder(), root);
    EXPECT_EQ(QDir::currentPath(), root);
    EXPECT_EQ(texts(window->flb), files);
}

TEST_F(FileBrowser, RelativeFoldersAreTakenFromTheProcessCurrentFolder)
{
    window->dlb->setCurrentFolder(QStringLiteral("images/vieux"));
    EXPECT_EQ(window->dlb->currentFolder(), root + QStringLiteral("/images/vieux"));
    window->dlb->setCurrentFolder(QStringLiteral("../.."));
    EXPECT_EQ(window->dlb->currentFolder(), root);
    EXPECT_EQ(window->flb->folder(), root);
}

} // namespace

ONDREL_QT_TEST_MAIN
