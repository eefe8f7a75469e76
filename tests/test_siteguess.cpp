// The site of a file opened without one: the nearest marked folder inside the
// home folder, else the file's folder; `/` is never a site.
#include "support/coremain.h"

#include "files/siteguess.h"

#include <QDir>
#include <QSet>

namespace {

struct GuessCase
{
    const char *what;
    const char *file;
    const char *home;
    QStringList marked; // folders that hold .git, composer.json or wp-config.php
    const char *site;
};

TEST(SiteGuess, FindsTheNearestMarkedFolderInsideHome)
{
    const GuessCase cases[] = {
        {"WordPress root above the file", "/home/ana/wp/wp-includes/class-wp-query.php", "/home/ana",
         {"/home/ana/wp"}, "/home/ana/wp"},
        {"nearest mark wins", "/home/ana/shop/vendor/lib/src/a.php", "/home/ana",
         {"/home/ana/shop", "/home/ana/shop/vendor/lib"}, "/home/ana/shop/vendor/lib"},
        {"mark in the file's own folder", "/home/ana/shop/index.php", "/home/ana", {"/home/ana/shop"},
         "/home/ana/shop"},
        {"no mark: the file's folder", "/home/ana/notes/a/b.php", "/home/ana", {}, "/home/ana/notes/a"},
        {"home's own mark is not a site", "/home/ana/notes/b.php", "/home/ana", {"/home/ana"},
         "/home/ana/notes"},
        {"file right in home", "/home/ana/b.php", "/home/ana", {"/home/ana"}, "/home/ana"},
        {"marks outside home are not looked at", "/etc/nginx/sites/x.php", "/home/ana", {"/etc", "/"},
         "/etc/nginx/sites"},
        {"a folder named like home is not inside it", "/home/anabel/site/x.php", "/home/ana",
         {"/home/anabel/site"}, "/home/anabel/site"},
        {"home of another prefix", "/home/anabel/site/sub/x.php", "/home/ana", {"/home/anabel/site"},
         "/home/anabel/site/sub"},
        {"file in / never makes / a site", "/x.php", "/home/ana", {"/"}, ""},
        {"file in / with home at /", "/x.php", "/", {"/"}, ""},
        {"home at /: marks below it count", "/srv/www/a/x.php", "/", {"/srv/www"}, "/srv/www"},
        {"home given with a final slash", "/home/ana/wp/x/y.php", "/home/ana/", {"/home/ana/wp"}, "/home/ana/wp"},
        {"path with .. and //", "/home/ana/wp//x/../y.php", "/home/ana", {"/home/ana/wp"}, "/home/ana/wp"},
        {"relative path: no site", "wp/x.php", "/home/ana", {"wp"}, ""},
        {"no home known: the file's folder", "/home/ana/wp/x/y.php", "", {"/home/ana/wp"}, "/home/ana/wp/x"},
    };
    for (const GuessCase &c : cases) {
        SCOPED_TRACE(c.what);
        const QSet<QString> marked(c.marked.begin(), c.marked.end());
        QStringList asked;
        const QString site = guessSiteFolder(QString::fromUtf8(c.file), QString::fromUtf8(c.home),
                                             [&](const QString &folder) {
                                                 asked << folder;
                                                 return marked.contains(folder);
                                             });
        EXPECT_EQ(site, QString::fromUtf8(c.site));
        // Nothing at or above home, nor outside it, is ever looked at.
        const QString home = QDir::cleanPath(QString::fromUtf8(c.home));
        for (const QString &folder : asked) {
            EXPECT_TRUE(home == QStringLiteral("/") ? folder != home : folder.startsWith(home + u'/'))
                << folder.toStdString();
        }
    }
}

TEST(SiteGuess, LooksAtTheDiskForEachMark)
{
    const char *marks[] = {".git/", ".git", "composer.json", "wp-config.php"};
    for (const char *mark : marks) {
        SCOPED_TRACE(mark);
        TempFolder home;
        const QString name = QString::fromUtf8(mark);
        if (name.endsWith(u'/'))
            ASSERT_TRUE(QDir().mkpath(home.path(QStringLiteral("site/") + name)));
        else
            home.write(QStringLiteral("site/") + name, "gitdir: /elsewhere\n");
        const QString file = home.write(QStringLiteral("site/a/b/page.php"), "<?php\n");
        EXPECT_EQ(guessSiteFolder(file, home.dir.path()), home.path(QStringLiteral("site")));
        EXPECT_TRUE(holdsSiteMark(home.path(QStringLiteral("site"))));
        EXPECT_FALSE(holdsSiteMark(home.path(QStringLiteral("site/a"))));
    }
}

} // namespace

ONDREL_CORE_TEST_MAIN
