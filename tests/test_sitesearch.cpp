// The site and its files (which folder, what is skipped, .ondrelignore) and the
// fuzzy match of "Ouvrir un fichier du site": ranking, narrowing and "name:42".
#include "support/coremain.h"

#include "files/recentfiles.h"
#include "search/fuzzymatch.h"
#include "search/jumphistory.h"
#include "search/sitefiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

struct IgnoreCase
{
    const char *patterns;
    const char *path;
    bool isFolder;
    bool ignored;
};

TEST(IgnoreRules, FollowTheGitignorePatterns)
{
    const IgnoreCase cases[] = {
        {"*.log", "a/b/x.log", false, true},
        {"*.log", "a/b/x.logs", false, false},
        {"/build", "build", true, true},
        {"/build", "src/build", true, false},
        {"build/", "build", false, false},
        {"build/", "src/build", true, true},
        {"docs/*.md", "docs/a.md", false, true},
        {"docs/*.md", "docs/sub/a.md", false, false},
        {"**/cache", "a/b/cache", true, true},
        {"a/**/z.php", "a/z.php", false, true},
        {"a/**/z.php", "a/x/y/z.php", false, true},
        {"a/**", "a/x/y", false, true},
        {"*.php\n!keep.php", "x/keep.php", false, false},
        {"*.php\n!keep.php", "x/other.php", false, true},
        {"!keep.php\n*.php", "keep.php", false, true},
        {"# a comment\n\\#hash\n\n", "#hash", false, true},
        {"# a comment", "# a comment", false, false},
        {"tmp?", "tmp1", false, true},
        {"tmp?", "tmp12", false, false},
        {"[ab].txt", "a.txt", false, true},
        {"[ab].txt", "c.txt", false, false},
        {"[!ab].txt", "c.txt", false, true},
        {"secret.php   \r\n", "secret.php", false, true},
        {"a+b(c).php", "a+b(c).php", false, true},
        {"[unclosed", "[unclosed", false, true},
    };
    for (const IgnoreCase &c : cases) {
        EXPECT_EQ(IgnoreRules(QString::fromUtf8(c.patterns)).ignores(QString::fromUtf8(c.path), c.isFolder), c.ignored)
            << c.patterns << " / " << c.path;
    }
}

TEST(SiteFiles, SkipHiddenFoldersNodeModulesAndIgnoredButKeepVendor)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    for (const char *name : {"index.php", "inc/a.php", "vendor/lib/Lib.php", "node_modules/pkg/x.js", ".git/config",
                             "inc/.cache/c.php", ".htaccess", "logs/today.log", "logs/keep.log", "cache/big.php",
                             "été/page.php"})
        writeFile(root + u'/' + QString::fromUtf8(name), "x");
    writeFile(root + "/.ondrelignore", "*.log\n!keep.log\n/cache/\n");
    ASSERT_EQ(::symlink((root + "/inc").toLocal8Bit().constData(), (root + "/inc-link").toLocal8Bit().constData()), 0);
    ASSERT_EQ(::symlink((root + "/index.php").toLocal8Bit().constData(), (root + "/alias.php").toLocal8Bit().constData()), 0);

    const SiteListing listing = listSiteFiles({root, true});
    EXPECT_EQ(listing.files, (QStringList{".htaccess", ".ondrelignore", "alias.php", "inc/a.php", "index.php",
                                          "logs/keep.log", "vendor/lib/Lib.php", QStringLiteral("été/page.php")}));
    EXPECT_FALSE(listing.truncated);

    // The folder's own files only, and a limit.
    EXPECT_EQ(listSiteFiles({root, false}).files, (QStringList{".htaccess", ".ondrelignore", "alias.php", "index.php"}));
    const SiteListing capped = listSiteFiles({root, true}, nullptr, 3);
    EXPECT_EQ(capped.files.size(), 3);
    EXPECT_TRUE(capped.truncated);
    EXPECT_TRUE(listSiteFiles({root + "/missing", true}).files.isEmpty());
}

TEST(SiteFiles, TheSiteIsRacineOnlyWhenItHoldsTheFileAndNeverWidensToHome)
{
    QTemporaryDir dir;
    const QString home = dir.path();
    writeFile(home + "/www/site/page.php", "x");
    writeFile(home + "/other/x.php", "x");
    writeFile(home + "/loose.php", "x");
    struct Case
    {
        QString racine, file;
        Site expected;
    } const cases[] = {
        {home + "/www", home + "/www/site/page.php", {home + "/www", true}},
        {home + "/www/", home + "/www/site/page.php", {home + "/www", true}},
        {home + "/www", home + "/other/x.php", {home + "/other", true}},
        {"", home + "/www/site/page.php", {home + "/www/site", true}},
        {"", home + "/loose.php", {home, false}},          // never the whole home folder by itself
        {home, home + "/loose.php", {home, true}},         // unless the user chose it as Racine
        {home + "/www", "", {home + "/www", true}},
        {home + "/missing", home + "/missing/x.php", {}},
        {"", "", {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(siteFor(c.racine, c.file, home), c.expected) << c.racine.toStdString() << " / " << c.file.toStdString();
    EXPECT_EQ(siteFor("", "/etc-like-file", home), (Site{"/", false}));
}

const QStringList kPaths = {
    "docs/huge/deep/folder/with/u/c/file.txt",
    "index.php",
    "src/UserController.php",
    "src/user_controller_test.php",
    "wp-admin/includes/file.php",
    "wp-admin/index.php",
    "wp-content/themes/twentyone/functions.php",
    "wp-includes/class-wp-query.php",
    "wp-includes/formatting.php",
    "wp-includes/functions.php",
    "wp-includes/js/tinymce/plugins/fullscreen/plugin.js",
    "wp-includes/l10n.php",
    "wp-includes/query.php",
};

TEST(FuzzyMatch, RanksWordStartsAndFileNamesFirst)
{
    struct Case
    {
        const char *query;
        const char *first;
    } const cases[] = {
        {"formatting", "wp-includes/formatting.php"},
        {"functions", "wp-includes/functions.php"},          // the shorter of two equal names
        {"index", "index.php"},
        {"uc", "src/UserController.php"},                     // word starts beat scattered letters
        {"usercon", "src/UserController.php"},
        {"uct", "src/user_controller_test.php"},
        {"admin/file", "wp-admin/includes/file.php"},        // "/" typed matches the separator
        {"adminindex", "wp-admin/index.php"},
        {"query", "wp-includes/query.php"},
        {"cwq", "wp-includes/class-wp-query.php"},
        {"plug", "wp-includes/js/tinymce/plugins/fullscreen/plugin.js"},
        {"FUNCTIONS", "wp-includes/functions.php"},          // letter case aside
        {"l10n", "wp-includes/l10n.php"},
    };
    FuzzyFinder finder;
    finder.setPaths(kPaths);
    for (const Case &c : cases) {
        const QList<FuzzyFinder::Hit> hits = finder.find(QString::fromUtf8(c.query), 5);
        ASSERT_FALSE(hits.isEmpty()) << c.query;
        EXPECT_EQ(kPaths[hits.first().index], QString::fromUtf8(c.first)) << c.query;
    }
    EXPECT_TRUE(finder.find(QStringLiteral("yreuq"), 5).isEmpty()); // letters out of order
    EXPECT_TRUE(finder.find(QStringLiteral("zzz"), 5).isEmpty());
    EXPECT_TRUE(finder.find(QString(), 5).isEmpty());
    EXPECT_EQ(fuzzyScore(u"abc", u"ab"), kNoMatch);
    EXPECT_GT(fuzzyScore(u"ab", u"ab"), fuzzyScore(u"ab", u"a_b"));
}

TEST(FuzzyMatch, NarrowingLetterByLetterGivesWhatAFreshSearchGives)
{
    FuzzyFinder typing, fresh;
    typing.setPaths(kPaths);
    fresh.setPaths(kPaths);
    const auto ranked = [](const QList<FuzzyFinder::Hit> &hits) {
        QList<int> order;
        for (const FuzzyFinder::Hit &hit : hits)
            order << hit.index;
        return order;
    };
    for (const char *text : {"w", "wp", "wpi", "wpin", "wpinq", "wpin", "wpinc", "i", "in"}) {
        const QString query = QString::fromUtf8(text);
        const QList<FuzzyFinder::Hit> a = typing.find(query, 100);
        fresh.setPaths(kPaths); // forgets the query before
        EXPECT_EQ(ranked(a), ranked(fresh.find(query, 100))) << query.toStdString();
    }
}

TEST(FuzzyMatch, ReadsALineAfterTheName)
{
    struct Case
    {
        const char *typed;
        const char *text;
        int line;
    } const cases[] = {
        {"page.php:42", "page.php", 42}, {" page.php : 7 ", "page.php", 7}, {"page.php", "page.php", 0},
        {"page.php:", "page.php", 0},   {"a:b", "a:b", 0},                   {":12", "", 12},
        {"x:99999999999", "x:99999999999", 0},
    };
    for (const Case &c : cases) {
        const FileQuery q = parseFileQuery(QString::fromUtf8(c.typed));
        EXPECT_EQ(q.text, QString::fromUtf8(c.text)) << c.typed;
        EXPECT_EQ(q.line, c.line) << c.typed;
    }
}

TEST(JumpHistory, BackAndForwardAcrossFilesAsABrowserDoes)
{
    // Each step: what is done ('j' a jump from `at`, 'b' back, 'f' forward), the
    // place the caret is at, and where the step lands (empty: nowhere to go).
    struct Step
    {
        char action;
        JumpPlace at;
        JumpPlace lands;
    };
    const JumpPlace a{QStringLiteral("/s/a.php"), 10}, b{QStringLiteral("/s/b.php"), 20}, c{QStringLiteral("/s/c.php"), 30};
    const JumpPlace none{};
    const Step steps[] = {
        {'b', a, none},                    // nothing yet
        {'j', a, none}, {'j', b, none},    // a -> b -> c
        {'b', c, b}, {'b', b, a}, {'b', a, none},
        {'f', a, b}, {'f', b, c}, {'f', c, none},
        {'b', c, b},
        {'j', b, none},                    // a new jump from b ends the way forward
        {'f', b, none},
        {'b', c, b}, {'b', b, a},
        {'j', JumpPlace{}, none},          // a text of no file is never a place to come back to
        {'b', a, none},
    };
    JumpHistory history;
    int index = 0;
    for (const Step &step : steps) {
        SCOPED_TRACE(index++);
        if (step.action == 'j') {
            history.leave(step.at);
            continue;
        }
        const std::optional<JumpPlace> landed = step.action == 'b' ? history.back(step.at) : history.forward(step.at);
        ASSERT_EQ(landed.has_value(), !step.lands.file.isEmpty());
        if (landed) {
            EXPECT_EQ(*landed, step.lands);
        }
    }
    for (int i = 0; i < JumpHistory::kMaxPlaces + 5; ++i)
        history.leave({QStringLiteral("/s/a.php"), i});
    EXPECT_EQ(history.backCount(), JumpHistory::kMaxPlaces);
}

TEST(RecentFiles, TheSideFileKeepsEachFilesPlaceAndSkipsWhatDoesNotRead)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ondrel.rec"));
    RecentFile open;
    open.path = QStringLiteral("/srv/site/é t\tab.php");
    open.caret = 1234;
    open.firstLine = 40;
    open.anchors = {QStringLiteral("3"), QStringLiteral("0"), QStringLiteral("12"), QStringLiteral("0"), QStringLiteral("7")};
    open.open = open.current = true;
    open.size = 99;
    open.modifiedMs = 1700000000123;
    RecentFile pinned;
    pinned.path = QStringLiteral("/srv/site/index.php");
    pinned.pinned = true;
    ASSERT_TRUE(writeRecentFiles(path, {open, pinned}));
    EXPECT_EQ(readRecentFiles(path), (QList<RecentFile>{open, pinned}));

    const struct
    {
        const char *line;
        bool read;
    } lines[] = {
        {"-\t0\t0\t0,0,0,0,0\t-1\t-1\t/a.php", true},
        {"ocp\t5\t1\t1,2,3,4,5\t10\t20\t/with\ttab.php", true},
        {"-\t0\t0\t0,0,0,0,0\t-1\t-1\trelative.php", false},
        {"x\t0\t0\t0,0,0,0,0\t-1\t-1\t/b.php", false},
        {"-\t-4\t0\t0,0,0,0,0\t-1\t-1\t/b.php", false},
        {"-\t0\t0\t0,0,0\t-1\t-1\t/b.php", false},
        {"-\t0\t0\t0,a,0,0,0\t-1\t-1\t/b.php", false},
        {"-\tz\t0\t0,0,0,0,0\t-1\t-1\t/b.php", false},
        {"-\t0\t0\t0,0,0,0,0\t/b.php", false},
        {"", false},
    };
    for (const auto &l : lines) {
        SCOPED_TRACE(l.line);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(l.line) + "\r\n");
        file.close();
        EXPECT_EQ(readRecentFiles(path).size(), l.read ? 1 : 0);
    }
    EXPECT_FALSE(writeRecentFiles(dir.filePath(QStringLiteral("no/such/folder/ondrel.rec")), {open}));
}

TEST(RecentFiles, TheListKeepsThirtyAndNeverDropsAnOpenOrPinnedFile)
{
    QList<RecentFile> list;
    RecentFile open;
    open.path = QStringLiteral("/open.php");
    open.open = true;
    noteRecentFile(list, open);
    for (int i = 0; i < kRecentFiles + 10; ++i) {
        RecentFile file;
        file.path = QStringLiteral("/f%1.php").arg(i);
        noteRecentFile(list, file);
    }
    ASSERT_EQ(list.size(), kRecentFiles + 1);
    EXPECT_EQ(list.first().path, QStringLiteral("/f%1.php").arg(kRecentFiles + 9));
    EXPECT_EQ(list.last().path, QStringLiteral("/open.php"));
    RecentFile again;
    again.path = QStringLiteral("/f20.php");
    again.caret = 7;
    noteRecentFile(list, again); // the same file once, first, with its new place
    EXPECT_EQ(list.first(), again);
    EXPECT_EQ(std::count_if(list.begin(), list.end(), [](const RecentFile &r) { return r.path == u"/f20.php"; }), 1);
}

} // namespace

ONDREL_CORE_TEST_MAIN
