// The open files without the window: tabs opened and closed, the questions before
// unsaved text goes, the recent list, and the tabs of one run brought back by the next.
#include "support/qtmain.h"
#include "support/testsupport.h"

#include "app/sessioncontroller.h"
#include "editor/richedit.h"
#include "files/editedfile.h"

#include <QDialog>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>

namespace {

/** The controls a session is given, as the editor page holds them, and the session over them. */
struct Session
{
    explicit Session(const QString &sideFileBase)
    {
        editor = new RichEdit(&page);
        tabs = new QTabBar(&page);
        fileField = new QLineEdit(&page);
        session = std::make_unique<SessionController>(editor, tabs, fileField, &page);
        session->setSideFileBase(sideFileBase);
        // What the window does with a chosen or shown file: "Fichier" names it.
        QObject::connect(session.get(), &SessionController::fileChosen, fileField, &QLineEdit::setText);
        QObject::connect(session.get(), &SessionController::fileShown, fileField,
                         [this](EditedFile *file) { fileField->setText(file->path()); });
    }
    ~Session() { session.reset(); } // before the editor its files' documents belong to

    QStringList tabPaths() const
    {
        QStringList paths;
        for (const EditedFile *file : session->openFiles())
            paths << file->path();
        return paths;
    }
    void type(const QString &text)
    {
        editor->setFocus();
        QTest::keyClicks(editor, text);
    }

    QWidget page;
    RichEdit *editor;
    QTabBar *tabs;
    QLineEdit *fileField;
    std::unique_ptr<SessionController> session;
};

class SessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char *name : {"a.php", "b.php", "c.php"})
            folder.write(QString::fromLatin1(name), QByteArray(name) + " text\n");
    }
    QString file(const char *name) const { return folder.path(QString::fromLatin1(name)); }
    QString base() const { return folder.path(QStringLiteral("ondrel")); }

    TempFolder folder;
};

TEST_F(SessionTest, ChosenFilesTakeTabsOfTheirOwnOnceEach)
{
    struct Case
    {
        const char *name;
        QStringList chosen;
        QStringList tabs;
        int current;
    };
    const Case cases[] = {
        {"one file takes the empty tab", {"a.php"}, {"a.php"}, 0},
        {"two files, two tabs", {"a.php", "b.php"}, {"a.php", "b.php"}, 1},
        {"a file chosen again goes to its tab", {"a.php", "b.php", "a.php"}, {"a.php", "b.php"}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Session s(base());
        for (const QString &name : c.chosen)
            s.session->chooseFile(folder.path(name));
        QStringList expected;
        for (const QString &name : c.tabs)
            expected << folder.path(name);
        EXPECT_EQ(s.tabPaths(), expected);
        EXPECT_EQ(s.tabs->count(), expected.size());
        EXPECT_EQ(s.tabs->currentIndex(), c.current);
        EXPECT_EQ(s.session->editedFile(), s.session->openFiles().at(c.current));
        EXPECT_EQ(s.editor->wholeText(), folder.read(c.tabs.at(c.current)).replace("\n", "\r\n"));
    }
}

TEST_F(SessionTest, AFileThatCannotBeReadLeavesTheTabsAsTheyWere)
{
    Session s(base());
    s.session->chooseFile(file("a.php"));
    EXPECT_THROW(s.session->chooseFile(folder.path(QStringLiteral("missing.php"))), OndrelError);
    EXPECT_EQ(s.tabPaths(), QStringList{file("a.php")});
    EXPECT_EQ(s.session->editedFile()->path(), file("a.php"));
}

TEST_F(SessionTest, ClosingATabWithUnsavedTextFollowsTheAnswer)
{
    struct Case
    {
        const char *answer;
        bool closed;
        QByteArray onDisk; // b.php afterwards
    };
    const Case cases[] = {
        {"Annuler", false, "b.php text\n"},
        {"Abandonner", true, "b.php text\n"},
        {"Enregistrer", true, "typed b.php text\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.answer);
        folder.write(QStringLiteral("b.php"), "b.php text\n");
        Session s(base());
        s.session->chooseFile(file("a.php"));
        s.session->chooseFile(file("b.php"));
        s.type(QStringLiteral("typed "));
        ModalWatcher watcher;
        watcher.answer = QString::fromLatin1(c.answer);
        EXPECT_EQ(s.session->closeFileTab(1), c.closed);
        ASSERT_EQ(watcher.boxes.size(), 1);
        EXPECT_TRUE(watcher.boxes.first().text.contains(file("b.php")));
        EXPECT_EQ(s.tabPaths(), c.closed ? QStringList{file("a.php")} : (QStringList{file("a.php"), file("b.php")}));
        EXPECT_EQ(folder.read(QStringLiteral("b.php")), c.onDisk);
    }
}

TEST_F(SessionTest, ClosingTheLastTabLeavesAnEmptyText)
{
    Session s(base());
    s.session->chooseFile(file("a.php"));
    EXPECT_TRUE(s.session->closeFileTab(0));
    EXPECT_EQ(s.tabPaths(), QStringList{QString()});
    EXPECT_TRUE(s.editor->wholeText().isEmpty());
}

TEST_F(SessionTest, ClosingTheWindowAsksOnceForEveryUnsavedText)
{
    struct Case
    {
        const char *answer;
        bool mayClose;
    };
    for (const Case &c : {Case{"Annuler", false}, Case{"Abandonner", true}}) {
        SCOPED_TRACE(c.answer);
        Session s(base());
        s.session->chooseFile(file("a.php"));
        s.type(QStringLiteral("x"));
        s.session->chooseFile(file("b.php"));
        s.type(QStringLiteral("y"));
        ModalWatcher watcher;
        watcher.answer = QString::fromLatin1(c.answer);
        EXPECT_EQ(s.session->mayCloseFiles(), c.mayClose);
        ASSERT_EQ(watcher.boxes.size(), 1);
        EXPECT_TRUE(watcher.boxes.first().text.contains(file("a.php")));
        EXPECT_TRUE(watcher.boxes.first().text.contains(file("b.php")));
        EXPECT_EQ(folder.read(QStringLiteral("a.php")), "a.php text\n"); // nothing written
    }
}

TEST_F(SessionTest, NeighbourTabsGoRoundTheStrip)
{
    struct Case
    {
        int from;
        int step;
        int to;
    };
    const Case cases[] = {{0, 1, 1}, {2, 1, 0}, {0, -1, 2}, {1, -1, 0}};
    Session s(base());
    for (const char *name : {"a.php", "b.php", "c.php"})
        s.session->chooseFile(file(name));
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " + " << c.step);
        s.session->showFileTab(c.from);
        s.session->showNeighbourTab(c.step);
        EXPECT_EQ(s.tabs->currentIndex(), c.to);
        EXPECT_EQ(s.session->editedFile(), s.session->openFiles().at(c.to));
    }
}

TEST_F(SessionTest, TheRecentListPutsTheFileLeftLastFirst)
{
    Session s(base());
    for (const char *name : {"a.php", "b.php", "c.php"})
        s.session->chooseFile(file(name));
    EXPECT_EQ(s.session->recentPaths(), (QStringList{file("c.php"), file("b.php"), file("a.php")}));
    s.session->closeFileTab(1);
    EXPECT_EQ(s.session->recentPaths(), (QStringList{file("b.php"), file("c.php"), file("a.php")}));
}

TEST_F(SessionTest, AClosedFileComesBackWithItsCaretAndAnchors)
{
    folder.write(QStringLiteral("a.php"), "one\ntwo\nthree\n");
    Session s(base());
    s.session->chooseFile(file("a.php"));
    s.editor->setSelStart(8);
    s.session->editedFile()->setAnchor(2, QStringLiteral("3"));
    s.session->chooseFile(file("b.php"));
    ASSERT_TRUE(s.session->closeFileTab(0));
    QStringList shownAnchors;
    QObject::connect(s.session.get(), &SessionController::anchorsChanged, &s.page,
                     [&](EditedFile *file) { shownAnchors << file->anchor(2); });
    s.session->chooseFile(file("a.php"));
    EXPECT_EQ(s.editor->selStart(), 8);
    EXPECT_EQ(s.session->editedFile()->anchor(2), QStringLiteral("3"));
    EXPECT_EQ(shownAnchors, QStringList{QStringLiteral("3")});
}

TEST_F(SessionTest, TheTabsOfOneRunComeBackInTheNext)
{
    {
        Session s(base());
        s.session->restoreTabs(); // nothing yet: the list of this run starts empty
        for (const char *name : {"a.php", "b.php", "c.php"})
            s.session->chooseFile(file(name));
        s.session->showFileTab(1);
        s.session->setPinnedPage(file("a.php"));
        s.session->writeRecentFiles();
    }
    ASSERT_TRUE(QFile::remove(file("c.php"))); // gone between the runs
    Session s(base());
    QSignalSpy pinned(s.session.get(), &SessionController::pinnedPageRestored);
    QSignalSpy notices(s.session.get(), &SessionController::notice);
    EXPECT_TRUE(s.session->restoreTabs());
    EXPECT_EQ(s.tabPaths(), (QStringList{file("a.php"), file("b.php")}));
    EXPECT_EQ(s.session->editedFile()->path(), file("b.php"));
    ASSERT_EQ(pinned.count(), 1);
    EXPECT_EQ(pinned.first().first().toString(), file("a.php"));
    ASSERT_FALSE(notices.isEmpty()); // a load clears the notice line first
    EXPECT_TRUE(notices.last().first().toString().contains(file("c.php")));
}

TEST_F(SessionTest, TheRecentListIsNotWrittenWhenItWasNeverRead)
{
    const QString recent = base() + QStringLiteral(".rec");
    folder.write(QStringLiteral("ondrel.rec"), "kept as it is\n");
    Session s(base());
    s.session->chooseFile(file("a.php"));
    s.session->writeRecentFiles();
    EXPECT_EQ(readFile(recent), QByteArray("kept as it is\n"));
}

TEST_F(SessionTest, ALaunchsFileWaitsForAnOpenDialog)
{
    Session s(base());
    QSignalSpy requested(s.session.get(), &SessionController::openRequested);
    s.session->openFromCommandLine({file("a.php"), file("b.php")});
    ASSERT_EQ(requested.count(), 1);
    EXPECT_EQ(requested.first().first().toString(), file("a.php")); // only the first file named

    QDialog dialog(&s.page);
    QTimer::singleShot(0, &dialog, [&] {
        s.session->openFromCommandLine({file("b.php")});
        s.session->openFromCommandLine({file("c.php")}); // the last one handed over wins
        EXPECT_EQ(requested.count(), 1);
        dialog.accept();
    });
    dialog.exec();
    ASSERT_TRUE(QTest::qWaitFor([&] { return requested.count() == 2; }));
    EXPECT_EQ(requested.last().first().toString(), file("c.php"));
}

TEST_F(SessionTest, AStopKeepsTheUnsavedTextBesideTheSideFiles)
{
    Session s(base());
    s.session->chooseFile(file("a.php"));
    s.type(QStringLiteral("unsaved "));
    ASSERT_TRUE(s.session->keepTextsForStop());
    const QStringList copies = QDir(folder.path(QString())).entryList({QStringLiteral("ondrel-non-enregistre-*-a.php")});
    ASSERT_EQ(copies.size(), 1);
    EXPECT_EQ(folder.read(copies.first()), "unsaved a.php text\n");
    EXPECT_EQ(folder.read(QStringLiteral("a.php")), "a.php text\n");
}

} // namespace

ONDREL_QT_TEST_MAIN
