// The pure rules of the file page: file-name part, trailing slash, target and
// preview URLs, selected file path, mask matching and the listing of a folder.
#include "support/coremain.h"

#include "files/listing.h"
#include "files/urlrules.h"

#include <QDir>
#include <QFile>

namespace {

struct NameCase
{
    const char *path;
    const char *posix;
    const char *windows;
};

TEST(FileNamePart, TakesTheTextAfterTheLastSeparatorOfEachPlatform)
{
    const NameCase cases[] = {
        {"/var/www/index.php", "index.php", "/var/www/index.php"},
        {"index.php", "index.php", "index.php"},
        {"/", "", "/"},
        {"", "", ""},
        {"/var/www/", "", "/var/www/"},
        {"c:\\www\\site\\page.php", "c:\\www\\site\\page.php", "page.php"},
        {"c:\\page.php", "c:\\page.php", "page.php"},
        // After a drive letter, forward slashes are part of the name on Windows.
        {"c:/www/page.php", "page.php", "/www/page.php"},
        {"d:page.php", "d:page.php", "page.php"},
        {"a\\b/c:d", "c:d", "d"},
    };
    for (const NameCase &c : cases) {
        SCOPED_TRACE(c.path);
        const QString path = QString::fromUtf8(c.path);
        EXPECT_EQ(fileNamePart(path, kPosixSeparators), QString::fromUtf8(c.posix));
        EXPECT_EQ(fileNamePart(path, kWindowsSeparators), QString::fromUtf8(c.windows));
    }
    EXPECT_EQ(fileNamePart(QStringLiteral("/srv/é/à.php")), QStringLiteral("à.php"));
}

TEST(UrlRules, TrailingSlashTargetAndPreviewJoinTextsUnchanged)
{
    EXPECT_EQ(withTrailingSlash(QStringLiteral("http://localhost")), QStringLiteral("http://localhost/"));
    EXPECT_EQ(withTrailingSlash(QStringLiteral("http://localhost/")), QStringLiteral("http://localhost/"));
    EXPECT_EQ(withTrailingSlash(QStringLiteral("http://h/a b")), QStringLiteral("http://h/a b/"));
    EXPECT_EQ(withTrailingSlash(QString()), QString()); // an empty site stays empty

    // Nothing is inserted between the site and the name, even without a final "/".
    EXPECT_EQ(targetUrl(QStringLiteral("http://h/site"), QStringLiteral("/var/www/a.php")),
              QStringLiteral("http://h/sitea.php"));
    EXPECT_EQ(targetUrl(QStringLiteral("http://h/"), QStringLiteral("relatif.php")),
              QStringLiteral("http://h/relatif.php"));
    EXPECT_EQ(targetUrl(QStringLiteral("http://h/"), QString()), QStringLiteral("http://h/"));

    EXPECT_EQ(previewUrl(QStringLiteral("http://h/a.php"), QString()), QStringLiteral("http://h/a.php"));
    EXPECT_EQ(previewUrl(QStringLiteral("http://h/a.php"), QStringLiteral("test=1")),
              QStringLiteral("http://h/a.php?test=1"));
    // An URL with a query already gets a second "?"; nothing is encoded or trimmed.
    EXPECT_EQ(previewUrl(QStringLiteral("http://h/a.php?x=1"), QStringLiteral(" a b&c=é ")),
              QStringLiteral("http://h/a.php?x=1? a b&c=é "));
}

TEST(UrlRules, SelectedFilePathAddsNoSecondSlashAtTheRoot)
{
    EXPECT_EQ(joinPath(QStringLiteral("/"), QStringLiteral("a.php")), QStringLiteral("/a.php"));
    EXPECT_EQ(joinPath(QStringLiteral("/var/www"), QStringLiteral("a.php")),
              QStringLiteral("/var/www/a.php"));
    EXPECT_EQ(joinPath(QStringLiteral("/var/www"), QString()), QString());
}

TEST(Masks, MatchLikeTheFilterEntries)
{
    struct Case
    {
        const char *name;
        const char *mask;
        bool matches;
    } const cases[] = {
        {"index.php", "*.*", true},     {"LISEZMOI", "*.*", true},      {"a.b.c", "*.*", true},
        {"page.php3", "*.php3", true},  {"page.php", "*.php3", false},  {"page.php3.bak", "*.php3", false},
        {"notes.TXT", "*.txt", true},   {"image.gif", "*.GIF", true},   {"image.GIF", "*.GIF", true},
        {"gif", "*.GIF", false},        {".gif", "*.GIF", true},        {"a.inc", "*.php;*.inc", true},
        {"a.jpg", "*.php; *.inc", false}, {"ab.php", "a?.php", true},   {"abc.php", "a?.php", false},
        {"aXbXc", "a*b*c", true},       {"aXbX", "a*b*c", false},       {"x", "*", true},
        {"été.PHP3", "*.php3", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.name) + " / " + c.mask);
        EXPECT_EQ(matchesMask(QString::fromUtf8(c.name), QString::fromUtf8(c.mask)), c.matches);
    }
}

TEST(Listing, FilesOnlyNoHiddenSortedWithoutCase)
{
    TempFolder tmp;
    for (const char *name : {"b.php", "A.php", "c.PHP3", "a.txt", ".cache.php", "Zeta", "alpha.inc"})
        tmp.write(QString::fromUtf8(name), "x");
    QDir(tmp.path({})).mkdir(QStringLiteral("dossier.php"));
    QDir(tmp.path({})).mkdir(QStringLiteral(".cache"));
    QFile::link(tmp.path(QStringLiteral("b.php")), tmp.path(QStringLiteral("lien.php")));
    QFile::link(tmp.path(QStringLiteral("manquant")), tmp.path(QStringLiteral("mort.php")));
    QFile::link(tmp.path(QStringLiteral("dossier.php")), tmp.path(QStringLiteral("vers-dossier")));

    QStringList names;
    ASSERT_TRUE(listFiles(tmp.path({}), QStringLiteral("*.*"), &names));
    EXPECT_EQ(names, (QStringList{"A.php", "a.txt", "alpha.inc", "b.php", "c.PHP3", "lien.php", "Zeta"}));
    ASSERT_TRUE(listFiles(tmp.path({}), QStringLiteral("*.php3"), &names));
    EXPECT_EQ(names, QStringList{"c.PHP3"});

    QStringList folders;
    ASSERT_TRUE(readFolder(tmp.path({}), EntryKind::Folders, &folders));
    sortWithoutCase(folders);
    EXPECT_EQ(folders, (QStringList{"dossier.php", "vers-dossier"}));

    QStringList untouched{"garde"};
    EXPECT_FALSE(listFiles(tmp.path(QStringLiteral("absent")), QStringLiteral("*.*"), &untouched));
    EXPECT_EQ(untouched, QStringList{"garde"});
}

TEST(Listing, FolderChainRunsFromTheRootDown)
{
    EXPECT_EQ(folderAncestors(QStringLiteral("/")), QStringList{"/"});
    EXPECT_EQ(folderAncestors(QStringLiteral("/var/www/site")),
              (QStringList{"/", "/var", "/var/www", "/var/www/site"}));
    EXPECT_EQ(folderCaption(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_EQ(folderCaption(QStringLiteral("/var/www")), QStringLiteral("www"));
}

} // namespace

ONDREL_CORE_TEST_MAIN
