// Git through libgit2, against repositories the tests make: finding the
// repository (or why there is none), the branch, the index's and HEAD's text of
// a file and the change bars over it, the status marks, blame, and the jobs
// that run all of it off the window's thread.
#include "support/coremain.h"
#include "support/gitrepo.h"

#include "git/changebars.h"
#include "git/gitjobs.h"
#include "git/gitrepository.h"

#include <QSignalSpy>
#include <QTimeZone>
#include <QTest>

#include <functional>
#include <memory>

#include <unistd.h>

// Readable runs in failure messages (found by argument lookup: global, as LineChange).
inline void PrintTo(const LineChange &c, std::ostream *os)
{
    *os << int(c.kind) << '(' << c.line << '+' << c.lineCount << " old " << c.oldLine << '+' << c.oldLineCount << ')';
}

namespace {

using Absence = GitRepository::Absence;
using Kind = LineChange::Kind;


/** A repository with one commit holding `index.php`. */
std::unique_ptr<MadeRepo> committedRepo(const QString &top)
{
    auto repo = std::make_unique<MadeRepo>(top);
    repo->add(QStringLiteral("index.php"), "<?php\necho 1;\n");
    repo->commit("Première version");
    return repo;
}

struct OpenCase
{
    const char *what;
    // Makes the folders under `root`; returns the path to open.
    std::function<QString(const QString &root)> make;
    Absence absence;
    const char *workTree; // relative to root, when found
};

TEST(GitRepository, FindsTheRepositoryOrSaysWhyThereIsNone)
{
    const OpenCase cases[] = {
        {"a file deep in the tree", [](const QString &root) {
             auto repo = committedRepo(root + "/site");
             return repo->write(QStringLiteral("a/b/c.php"), "x");
         }, Absence::None, "site"},
        {"the top folder itself", [](const QString &root) {
             committedRepo(root + "/site");
             return root + "/site";
         }, Absence::None, "site"},
        {"a repository with no commit yet", [](const QString &root) {
             MadeRepo repo(root + "/site");
             return repo.write(QStringLiteral("new.php"), "x");
         }, Absence::None, "site"},
        {"a file not yet on disk", [](const QString &root) {
             committedRepo(root + "/site");
             return root + "/site/later.php";
         }, Absence::None, "site"},
        {"a file of a submodule belongs to the submodule", [](const QString &root) {
             auto repo = committedRepo(root + "/site");
             repo->addSubmodule(QStringLiteral("vendor/lib"));
             return root + "/site/vendor/lib/index.php";
         }, Absence::None, "site/vendor/lib"},
        {"no repository", [](const QString &root) {
             QDir().mkpath(root + "/plain");
             return root + "/plain";
         }, Absence::NotARepository, ""},
        {"a bare repository", [](const QString &root) {
             MadeRepo repo(root + "/site.git", true);
             return root + "/site.git/hooks";
         }, Absence::Bare, ""},
        {"a linked work tree", [](const QString &root) {
             auto repo = committedRepo(root + "/site");
             repo->addWorkTree("other", root + "/other");
             return root + "/other/index.php";
         }, Absence::LinkedWorkTree, ""},
        {"a .git file that leads nowhere", [](const QString &root) {
             QDir().mkpath(root + "/broken");
             QFile file(root + "/broken/.git");
             file.open(QIODevice::WriteOnly);
             file.write("gitdir: /nowhere/at/all\n");
             return root + "/broken";
         }, Absence::NotARepository, ""},
    };
    for (const OpenCase &c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder root;
        const QString root0 = QFileInfo(root.dir.path()).canonicalFilePath();
        const GitRepository repository = GitRepository::open(c.make(root0));
        EXPECT_EQ(repository.absence(), c.absence) << repository.reason().toStdString();
        EXPECT_EQ(repository.isValid(), c.absence == Absence::None);
        if (c.absence == Absence::None)
            EXPECT_EQ(repository.workTree(), root0 + u'/' + QString::fromUtf8(c.workTree));
        else
            EXPECT_FALSE(repository.reason().isEmpty());
    }
}

// Tests run as root: a repository of another account is what Git itself refuses
// to read (its owner check), and must come out as "no Git", not as a repository.
TEST(GitRepository, ARepositoryOfAnotherAccountIsNoGit)
{
    TempFolder root;
    const QString top = root.path(QStringLiteral("site"));
    committedRepo(top);
    ASSERT_EQ(::chown(QFile::encodeName(top).constData(), 4321, 4321), 0);
    const GitRepository repository = GitRepository::open(top + QStringLiteral("/index.php"));
    EXPECT_FALSE(repository.isValid());
    EXPECT_FALSE(repository.reason().isEmpty());
    EXPECT_TRUE(repository.workTree().isEmpty());
}

TEST(GitRepository, NamesTheBranch)
{
    TempFolder root;
    MadeRepo unborn(root.path(QStringLiteral("unborn")));
    EXPECT_EQ(GitRepository::open(root.path(QStringLiteral("unborn"))).branch(),
              (GitBranch{QStringLiteral("main"), false, true}));

    auto repo = committedRepo(root.path(QStringLiteral("site")));
    const GitRepository site = GitRepository::open(root.path(QStringLiteral("site")));
    EXPECT_EQ(site.branch(), (GitBranch{QStringLiteral("main"), false, false}));
    const QString id = repo->commit("Deux");
    repo->detachHead();
    EXPECT_EQ(site.branch(), (GitBranch{id.left(7), true, false}));
}

struct IndexCase
{
    const char *what;
    QByteArray committed;
    QByteArray edited; // the editor's bytes: CR LF breaks
    QList<LineChange> bars;
};

// The editor's text against the index's, for files of each kind that a PHP site holds.
TEST(GitRepository, ChangeBarsFollowTheIndexForEachKindOfFile)
{
    const IndexCase cases[] = {
        {"LF file, line changed", "<?php\n$a = 1;\n$b = 2;\n", "<?php\r\n$a = 3;\r\n$b = 2;\r\n",
         {{Kind::Changed, 1, 1, 1, 1}}},
        {"LF file, lines added", "<?php\n$a = 1;\n", "<?php\r\n$a = 1;\r\n$b = 2;\r\n$c = 3;\r\n",
         {{Kind::Added, 2, 2, 2, 0}}},
        {"LF file, line deleted", "<?php\n$a = 1;\n$b = 2;\n", "<?php\r\n$b = 2;\r\n", {{Kind::Deleted, 1, 0, 1, 1}}},
        {"CRLF file untouched", "<?php\r\n$a = 1;\r\n", "<?php\r\n$a = 1;\r\n", {}},
        {"CRLF file, line changed", "<?php\r\n$a = 1;\r\n", "<?php\r\n$a = 2;\r\n", {{Kind::Changed, 1, 1, 1, 1}}},
        {"Windows-1252 file, accent changed", "<?php\necho 'caf\xe9';\necho 'th\xe9';\n",
         "<?php\r\necho 'caf\xe8';\r\necho 'th\xe9';\r\n", {{Kind::Changed, 1, 1, 1, 1}}},
        {"binary file", QByteArray("GIF89a\0\1\2\n", 10), QByteArray("GIF89a\0\1\3\n", 10), {}},
    };
    for (const IndexCase &c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder root;
        MadeRepo repo(root.path(QStringLiteral("site")));
        const QString file = repo.add(QStringLiteral("page.php"), c.committed);
        repo.commit("Page");
        const GitRepository site = GitRepository::open(file);
        const std::optional<QByteArray> index = site.indexContent(file);
        ASSERT_TRUE(index.has_value());
        EXPECT_EQ(*index, c.committed); // the blob's own bytes: no break or encoding changed
        EXPECT_EQ(ChangeBars(*index).compare(c.edited), c.bars);
    }
}

TEST(GitRepository, TheIndexNotHeadIsTheBaseOfTheBars)
{
    TempFolder root;
    MadeRepo repo(root.path(QStringLiteral("site")));
    const QString file = repo.add(QStringLiteral("a.php"), "one\ntwo\n");
    repo.commit("Un");
    repo.add(QStringLiteral("a.php"), "one\nTWO\n"); // staged, not committed
    const GitRepository site = GitRepository::open(file);
    EXPECT_EQ(site.headContent(file), QByteArray("one\ntwo\n"));
    EXPECT_EQ(site.indexContent(file), QByteArray("one\nTWO\n"));
    EXPECT_FALSE(site.indexContent(root.path(QStringLiteral("site/absent.php"))).has_value());
    EXPECT_FALSE(site.indexContent(root.path(QStringLiteral("elsewhere.php"))).has_value());
}

TEST(GitRepository, ARepositoryWithNoCommitYet)
{
    TempFolder root;
    MadeRepo repo(root.path(QStringLiteral("site")));
    const QString staged = repo.add(QStringLiteral("staged.php"), "a\nb\n");
    repo.write(QStringLiteral("loose.php"), "c\n");
    const GitRepository site = GitRepository::open(staged);
    ASSERT_TRUE(site.isValid());
    EXPECT_EQ(site.indexContent(staged), QByteArray("a\nb\n"));
    EXPECT_FALSE(site.headContent(staged).has_value());
    const GitStatus status = site.status();
    EXPECT_TRUE(status.error.isEmpty()) << status.error.toStdString();
    EXPECT_EQ(status.markOf(QStringLiteral("staged.php")), GitMark::New);
    EXPECT_EQ(status.markOf(QStringLiteral("loose.php")), GitMark::New);
    const GitBlame blame = site.blameLine(staged, "a\r\nb\r\n", 0);
    EXPECT_FALSE(blame.committed);
    EXPECT_TRUE(blame.error.isEmpty());
}

struct MarkCase
{
    const char *path;
    GitMark mark;
};

TEST(GitRepository, StatusMarksEveryKindOfFile)
{
    TempFolder root;
    MadeRepo repo(root.path(QStringLiteral("site")));
    repo.add(QStringLiteral(".gitignore"), "*.log\ncache/\n");
    for (const char *name : {"same.php", "edited.php", "staged.php", "gone.php", "moved.php", "lib/deep.php"})
        repo.add(QString::fromUtf8(name), QByteArray("<?php\n// ") + name + "\n");
    repo.commit("Tout");
    repo.write(QStringLiteral("edited.php"), "<?php\n// changed\n");
    repo.add(QStringLiteral("staged.php"), "<?php\n// staged\n");
    repo.write(QStringLiteral("new.php"), "<?php\n");
    repo.add(QStringLiteral("added.php"), "<?php\n// added\n");
    QFile::remove(repo.path(QStringLiteral("gone.php")));
    repo.move(QStringLiteral("moved.php"), QStringLiteral("lib/renamed.php"));
    repo.write(QStringLiteral("debug.log"), "x");
    repo.write(QStringLiteral("cache/a/b.txt"), "x");
    repo.write(QStringLiteral("newdir/x.php"), "x");
    QDir().mkpath(repo.path(QStringLiteral("emptydir/below")));

    const GitStatus status = GitRepository::open(repo.path(QStringLiteral("lib"))).status();
    ASSERT_TRUE(status.error.isEmpty()) << status.error.toStdString();
    const MarkCase cases[] = {
        {"same.php", GitMark::Unchanged},
        {"lib/deep.php", GitMark::Unchanged},
        {"edited.php", GitMark::Modified},
        {"staged.php", GitMark::Modified},
        {"new.php", GitMark::New},
        {"added.php", GitMark::New},
        {"gone.php", GitMark::Deleted},
        {"lib/renamed.php", GitMark::Renamed},
        {"debug.log", GitMark::Ignored},
        {"cache/a/b.txt", GitMark::Ignored},
        {"cache/", GitMark::Ignored},
        {"newdir/x.php", GitMark::New},
        {"newdirx.php", GitMark::Unchanged},
        {"emptydir/", GitMark::Unchanged}, // Git keeps no folders, only files
    };
    for (const MarkCase &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(status.markOf(QString::fromUtf8(c.path)), c.mark);
    }
    ASSERT_NE(status.entry(QStringLiteral("lib/renamed.php")), nullptr);
    EXPECT_EQ(status.entry(QStringLiteral("lib/renamed.php"))->oldPath, QStringLiteral("moved.php"));
    EXPECT_TRUE(status.entry(QStringLiteral("lib/renamed.php"))->staged);
    EXPECT_TRUE(status.entry(QStringLiteral("staged.php"))->staged);
    EXPECT_FALSE(status.entry(QStringLiteral("edited.php"))->staged);
    EXPECT_EQ(status.entry(QStringLiteral("moved.php")), nullptr); // listed once, under its new name
}

TEST(GitRepository, ARenamedFileKeepsItsBarsAndItsOldPath)
{
    TempFolder root;
    MadeRepo repo(root.path(QStringLiteral("site")));
    repo.add(QStringLiteral("old.php"), "a\nb\nc\nd\ne\nf\n");
    repo.add(QStringLiteral("plain.php"), "1\n2\n3\n4\n5\n6\n");
    repo.commit("Deux fichiers");
    // Renamed in the index: the index holds the text under the new name.
    repo.move(QStringLiteral("old.php"), QStringLiteral("new.php"));
    const GitRepository site = GitRepository::open(repo.path(QStringLiteral("new.php")));
    const std::optional<QByteArray> index = site.indexContent(repo.path(QStringLiteral("new.php")));
    ASSERT_TRUE(index.has_value());
    EXPECT_EQ(ChangeBars(*index).compare("a\r\nb\r\nC\r\nd\r\ne\r\nf\r\n"),
              (QList<LineChange>{{Kind::Changed, 2, 1, 2, 1}}));
    const GitStatus staged = site.status();
    ASSERT_NE(staged.entry(QStringLiteral("new.php")), nullptr);
    EXPECT_EQ(staged.entry(QStringLiteral("new.php"))->mark, GitMark::Renamed);
    EXPECT_EQ(staged.entry(QStringLiteral("new.php"))->oldPath, QStringLiteral("old.php"));
    // Renamed on disk only: as Git shows it, a file deleted and a new one, until staged.
    QFile::rename(repo.path(QStringLiteral("plain.php")), repo.path(QStringLiteral("moved.php")));
    const GitStatus status = site.status();
    EXPECT_EQ(status.markOf(QStringLiteral("moved.php")), GitMark::New);
    EXPECT_EQ(status.markOf(QStringLiteral("plain.php")), GitMark::Deleted);
    EXPECT_FALSE(site.indexContent(repo.path(QStringLiteral("moved.php"))).has_value());
}

TEST(GitRepository, ASubmoduleIsARepositoryOfItsOwn)
{
    TempFolder root;
    auto repo = committedRepo(root.path(QStringLiteral("site")));
    repo->addSubmodule(QStringLiteral("vendor/lib"));
    repo->commit("Sous-module");
    const QString inside = repo->path(QStringLiteral("vendor/lib/index.php"));
    writeFile(inside, "<?php\necho 2;\n");

    repo->write(QStringLiteral("index.php"), "<?php\necho 3;\n");
    const GitStatus parent = GitRepository::open(repo->path(QString())).status();
    EXPECT_TRUE(parent.error.isEmpty()) << parent.error.toStdString();
    EXPECT_EQ(parent.markOf(QStringLiteral("index.php")), GitMark::Modified);
    EXPECT_EQ(parent.markOf(QStringLiteral("vendor/lib")), GitMark::Unchanged); // its own repository tells
    const GitRepository sub = GitRepository::open(inside);
    EXPECT_EQ(sub.status().markOf(QStringLiteral("index.php")), GitMark::Modified);
    EXPECT_EQ(ChangeBars(sub.indexContent(inside).value_or("?")).compare("<?php\r\necho 2;\r\n"),
              (QList<LineChange>{{Kind::Changed, 1, 1, 1, 1}}));
}

struct BlameCase
{
    const char *what;
    QByteArray edited;
    int line;
    bool committed;
    const char *author;
    const char *summary;
};

TEST(GitRepository, BlameTellsWhoChangedTheCaretsLine)
{
    TempFolder root;
    MadeRepo repo(root.path(QStringLiteral("site")));
    repo.add(QStringLiteral("old.php"), "a\nb\nc\n");
    repo.commit("Première version\n\nAvec des détails.\n", "Ana Martin", 1765000000, 60);
    repo.add(QStringLiteral("old.php"), "a\nB\nc\n");
    repo.commit("Le b en capitale", "Bruno Petit", 1765100000, -300);
    repo.move(QStringLiteral("old.php"), QStringLiteral("page.php"));
    repo.commit("Renommé", "Chloé Roux", 1765200000, 0);
    repo.add(QStringLiteral("page.php"), "a\nB\nc\nd\n");
    repo.commit("Un d", "Chloé Roux", 1765300000, 0);
    const QString file = repo.path(QStringLiteral("page.php"));
    const GitRepository site = GitRepository::open(file);

    const BlameCase cases[] = {
        {"first line, from before the rename", "a\r\nB\r\nc\r\nd\r\n", 0, true, "Ana Martin", "Première version"},
        {"changed in the second commit", "a\r\nB\r\nc\r\nd\r\n", 1, true, "Bruno Petit", "Le b en capitale"},
        {"added last", "a\r\nB\r\nc\r\nd\r\n", 3, true, "Chloé Roux", "Un d"},
        {"lines inserted above do not shift it", "x\r\ny\r\na\r\nB\r\nc\r\nd\r\n", 3, true, "Bruno Petit",
         "Le b en capitale"},
        {"a line deleted above", "B\r\nc\r\nd\r\n", 0, true, "Bruno Petit", "Le b en capitale"},
        {"a line being typed is not committed", "a\r\nBx\r\nc\r\nd\r\n", 1, false, "", ""},
        {"an inserted line is not committed", "x\r\na\r\nB\r\nc\r\nd\r\n", 0, false, "", ""},
    };
    for (const BlameCase &c : cases) {
        SCOPED_TRACE(c.what);
        const GitBlame blame = site.blameLine(file, c.edited, c.line);
        EXPECT_TRUE(blame.error.isEmpty()) << blame.error.toStdString();
        EXPECT_EQ(blame.committed, c.committed);
        EXPECT_EQ(blame.author, QString::fromUtf8(c.author));
        EXPECT_EQ(blame.summary, QString::fromUtf8(c.summary));
    }
    const GitBlame bruno = site.blameLine(file, "a\nB\nc\nd\n", 1);
    EXPECT_EQ(bruno.when, QDateTime::fromSecsSinceEpoch(1765100000, QTimeZone(-300 * 60)));
    EXPECT_EQ(bruno.when.offsetFromUtc(), -300 * 60);
    EXPECT_EQ(bruno.commitId.size(), 40);
    EXPECT_FALSE(site.blameLine(file, "a\nB\nc\nd\n", 9).error.isEmpty());
}

TEST(GitRepository, BlameFollowsTheLineDownCommitsThatLeaveTheFileAlone)
{
    TempFolder root;
    MadeRepo repo(root.path(QStringLiteral("site")));
    const QString file = repo.add(QStringLiteral("page.php"), "a\nb\nc\n");
    repo.commit("Trois lignes", "Ana Martin");
    repo.add(QStringLiteral("other.php"), "x\n");
    repo.commit("Un autre fichier", "Bruno Petit");
    repo.add(QStringLiteral("page.php"), "a\nb\nC\n");
    repo.commit("Le c", "Chloé Roux");
    repo.add(QStringLiteral("other.php"), "y\n");
    repo.commit("L'autre encore", "Bruno Petit");
    repo.add(QStringLiteral("page.php"), "a\r\nb\r\nC\r\n"); // only the line breaks change
    repo.commit("Fins de ligne Windows", "Denis Blanc");
    repo.add(QStringLiteral("logo.php"), QByteArray("GIF89a\0\n", 8));
    const QString image = repo.add(QStringLiteral("image.gif"), QByteArray("GIF89a\0\n", 8));
    repo.commit("Une image", "Ana Martin");
    repo.add(QStringLiteral("logo.php"), "<?php\necho 'logo';\n");
    repo.commit("Un script en place de l'image", "Chloé Roux");
    const GitRepository site = GitRepository::open(file);
    const GitBlame binary = site.blameLine(image, QByteArray("GIF89a\0\n", 8), 0);
    EXPECT_FALSE(binary.committed); // no lines to tell of
    EXPECT_FALSE(binary.error.isEmpty());
    const GitBlame script = site.blameLine(repo.path(QStringLiteral("logo.php")), "<?php\r\necho 'logo';\r\n", 0);
    EXPECT_EQ(script.summary, QStringLiteral("Un script en place de l'image"));
    const BlameCase cases[] = {
        {"untouched since the first commit", "a\r\nb\r\nC\r\n", 0, true, "Ana Martin", "Trois lignes"},
        {"changed two commits down", "a\r\nb\r\nC\r\n", 2, true, "Chloé Roux", "Le c"},
    };
    for (const BlameCase &c : cases) {
        SCOPED_TRACE(c.what);
        const GitBlame blame = site.blameLine(file, c.edited, c.line);
        EXPECT_TRUE(blame.error.isEmpty()) << blame.error.toStdString();
        EXPECT_EQ(blame.committed, c.committed);
        EXPECT_EQ(blame.author, QString::fromUtf8(c.author));
        EXPECT_EQ(blame.summary, QString::fromUtf8(c.summary));
    }
}

TEST(GitJobs, AnswerOnTheCallersThreadAndTheNewestRequestWins)
{
    TempFolder root;
    auto repo = committedRepo(root.path(QStringLiteral("site")));
    repo->write(QStringLiteral("index.php"), "<?php\necho 2;\n");
    GitJobs jobs;
    QSignalSpy opened(&jobs, &GitJobs::opened);
    QSignalSpy read(&jobs, &GitJobs::statusRead);
    QSignalSpy blamed(&jobs, &GitJobs::blamed);
    jobs.open(repo->path(QStringLiteral("index.php")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return opened.size() == 1; }));
    const GitRepository site = opened.at(0).at(1).value<GitRepository>();
    ASSERT_TRUE(site.isValid());

    jobs.readStatus(site);
    ASSERT_TRUE(QTest::qWaitFor([&] { return read.size() == 1; }));
    EXPECT_EQ(read.at(0).at(1).value<GitBranch>().name, QStringLiteral("main"));
    EXPECT_EQ(read.at(0).at(2).value<GitStatus>().markOf(QStringLiteral("index.php")), GitMark::Modified);

    // Three requests at once: the first runs, the second is replaced by the third.
    const QString file = repo->path(QStringLiteral("index.php"));
    for (int line = 0; line < 3; ++line)
        jobs.blame(site, file, "<?php\r\necho 1;\r\n", line);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !blamed.isEmpty() && blamed.last().at(1).toInt() == 2; }));
    QTest::qWait(50);
    EXPECT_EQ(blamed.size(), 2);
    EXPECT_EQ(blamed.at(0).at(1).toInt(), 0);
    EXPECT_EQ(blamed.at(0).at(2).value<GitBlame>().author, QStringLiteral("Ana Martin"));
}

TEST(GitJobs, DestroyedWhileAJobRunsDropsItsAnswer)
{
    TempFolder root;
    auto repo = committedRepo(root.path(QStringLiteral("site")));
    bool answered = false;
    for (int i = 0; i < 20; ++i) {
        auto jobs = std::make_unique<GitJobs>();
        QObject::connect(jobs.get(), &GitJobs::opened, [&] { answered = true; });
        jobs->open(repo->path(QStringLiteral("index.php")));
        jobs->readStatus(GitRepository::open(repo->path(QString())));
        jobs.reset();
    }
    QTest::qWait(300);
    EXPECT_FALSE(answered);
}

// Run with ONDREL_LIBGIT2 naming a library that does not exist (tests/CMakeLists.txt).
TEST(NoLibgit2, MeansNoGitNeverAnError)
{
    TempFolder root;
    auto repo = committedRepo(root.path(QStringLiteral("site")));
    const GitRepository site = GitRepository::open(repo->path(QStringLiteral("index.php")));
    EXPECT_EQ(site.absence(), Absence::NoLibrary);
    EXPECT_FALSE(site.reason().isEmpty());
    EXPECT_FALSE(site.status().error.isEmpty());
    EXPECT_FALSE(site.indexContent(repo->path(QStringLiteral("index.php"))).has_value());
    EXPECT_FALSE(site.blameLine(repo->path(QStringLiteral("index.php")), "<?php\r\n", 0).committed);
}

} // namespace

ONDREL_CORE_TEST_MAIN
