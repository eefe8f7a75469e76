// Find in files on a real tree: the options of the find bar and the file filter,
// lines and columns of matches, binary and oversized files skipped and counted,
// results that stream in batches, cancelling, and a bad regular expression.
#include "support/coremain.h"

#include "search/findinfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtCore/qtestsupport_core.h>

#include <algorithm>
#include <tuple>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

/** A small site: PHP and text files, one binary file and one too large for the search. */
struct SmallSite
{
    QTemporaryDir dir;
    QString root = dir.path();
    SmallSite()
    {
        writeFile(root + "/index.php", "<?php\n$total = 0;\nfunction addTotal($x) { $total += $x; }\necho $TOTAL;\n");
        writeFile(root + "/inc/lib.inc", "<?php // subtotal\r\n$totals = [];\r\n");
        writeFile(root + "/notes.txt", "total été\nÉTÉ total\n");
        writeFile(root + "/latin1.php", QByteArray("<?php // \xe9t\xe9 total\n"));
        writeFile(root + "/image.png", QByteArray("\x89PNG\0\0 total", 13));
        writeFile(root + "/big.php", QByteArray(2000, 'x') + " total");
        writeFile(root + "/.git/objects/total", "total");
    }
};

/** Runs one search to its end; the matches as "file:line:column:length:text", sorted. */
struct SearchRun
{
    QStringList lines;
    FindSummary summary;
    int batches = 0;
};

SearchRun search(const Site &site, FindOptions options)
{
    options.maxFileBytes = 1000;
    FindInFiles finder;
    SearchRun run;
    bool done = false;
    QObject::connect(&finder, &FindInFiles::found, [&](const QList<FindMatch> &batch) {
        ++run.batches;
        for (const FindMatch &m : batch)
            run.lines << QStringLiteral("%1:%2:%3:%4:%5").arg(m.file).arg(m.line).arg(m.column).arg(m.length).arg(m.text)
                             + (m.matchesOnLine > 1 ? QStringLiteral(" (x%1)").arg(m.matchesOnLine) : QString());
    });
    QObject::connect(&finder, &FindInFiles::finished, [&](const FindSummary &s) {
        run.summary = s;
        done = true;
    });
    finder.start(site, options);
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
    run.lines.sort();
    return run;
}

/** Writes a file whose path is given as the file system's bytes. */
void writeRaw(const QByteArray &path, const QByteArray &bytes)
{
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path.constData();
    ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
    ::close(fd);
}

/**
 * The site's listing as an account that permissions bind would have it: this one,
 * or, for root (whom no mode stops), nobody in a child process. Files, then the
 * counts of unreadable files and folders.
 */
std::tuple<QStringList, qsizetype, qsizetype> listAsBoundAccount(const Site &site)
{
    if (::getuid() != 0) {
        const SiteListing listing = listSiteFiles(site);
        return {listing.files, listing.unreadableFiles, listing.unreadableFolders};
    }
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        const SiteListing listing = listSiteFiles(site);
        const QByteArray out = QByteArray::number(listing.unreadableFiles) + '\n' + QByteArray::number(listing.unreadableFolders)
            + '\n' + listing.files.join(u'\n').toUtf8();
        (void)!::write(fds[1], out.constData(), size_t(out.size()));
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray out;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, n);
    ::close(fds[0]);
    ::waitpid(child, nullptr, 0);
    const QStringList lines = QString::fromUtf8(out).split(u'\n');
    if (lines.size() < 2)
        return {};
    return {lines.mid(2), lines[0].toLongLong(), lines[1].toLongLong()};
}

} // namespace

TEST(FindInFiles, NamesThatAreNotUtf8AreSearchedAndWhatCannotBeReadIsCounted)
{
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path());
    ::chmod(root.constData(), 0755); // nobody walks it too
    writeFile(dir.path() + "/ok.php", "<?php // needle\n");
    ASSERT_EQ(::mkdir((root + "/d\xe9p").constData(), 0755), 0);
    writeRaw(root + "/caf\xe9.php", "<?php // needle in a Latin-1 name\n");
    writeRaw(root + "/caf\xe8.php", "<?php // needle, shown under the same name as the one above\n");
    writeRaw(root + "/d\xe9p/x.php", "<?php // needle below a Latin-1 folder\n");
    writeFile(dir.path() + "/ferme/y.php", "<?php // needle out of reach\n");
    const QByteArray closed = root + "/ferme";
    ASSERT_EQ(::chmod(closed.constData(), 0), 0);

    const auto [files, unreadableFiles, unreadableFolders] = listAsBoundAccount({dir.path(), true});
    const QString shown = QStringLiteral("caf\uFFFD.php");
    EXPECT_EQ(files, (QStringList{shown, QStringLiteral("d\uFFFDp/x.php"), QStringLiteral("ok.php")}));
    EXPECT_EQ(unreadableFiles, 1);   // the second "caf\uFFFD.php"
    EXPECT_EQ(unreadableFolders, 1); // "ferme"

    ::chmod(closed.constData(), 0755);
    ::unlink((closed + "/y.php").constData());
    const SearchRun run = search({dir.path(), true}, {"needle"});
    EXPECT_EQ(run.summary.filesSearched, 3);
    EXPECT_EQ(run.summary.unreadable, 1);
    ASSERT_EQ(run.lines.size(), 3);
    EXPECT_TRUE(run.lines[0].startsWith(shown + QStringLiteral(":1:9:6:"))) << run.lines[0].toStdString();
    EXPECT_TRUE(run.lines[1].startsWith(QStringLiteral("d\uFFFDp/x.php:1:9:6:"))) << run.lines[1].toStdString();
}

namespace {

struct OptionCase
{
    const char *what;
    FindOptions options;
    QStringList expected;
};

TEST(FindInFiles, FindsWithTheFindBarsOptionsAndTheFileFilter)
{
    SmallSite site;
    const OptionCase cases[] = {
        {"a word, case ignored",
         {"total"},
         {"inc/lib.inc:1:12:5:<?php // subtotal", "inc/lib.inc:2:1:5:$totals = [];", "index.php:2:1:5:$total = 0;",
          "index.php:3:12:5:function addTotal($x) { $total += $x; } (x2)", "index.php:4:6:5:echo $TOTAL;",
          "latin1.php:1:13:5:<?php // été total", "notes.txt:1:0:5:total été", "notes.txt:2:4:5:ÉTÉ total"}},
        {"case kept", {"Total", true}, {"index.php:3:12:5:function addTotal($x) { $total += $x; }"}},
        {"whole word",
         {"total", false, true},
         {"index.php:2:1:5:$total = 0;", "index.php:3:25:5:function addTotal($x) { $total += $x; }",
          "index.php:4:6:5:echo $TOTAL;", "latin1.php:1:13:5:<?php // été total", "notes.txt:1:0:5:total été",
          "notes.txt:2:4:5:ÉTÉ total"}},
        {"file filter", {"total", false, true, false, "*.txt, *.INC"}, {"notes.txt:1:0:5:total été", "notes.txt:2:4:5:ÉTÉ total"}},
        {"regular expression, multiline anchors",
         {"^\\$total", true, false, true},
         {"inc/lib.inc:2:0:6:$totals = [];", "index.php:2:0:6:$total = 0;"}},
        {"letters beyond ASCII, case ignored, in UTF-8 and Windows-1252 files",
         {"été"},
         {"latin1.php:1:9:3:<?php // été total", "notes.txt:1:6:3:total été", "notes.txt:2:0:3:ÉTÉ total"}},
        {"whole word with a regular expression",
         {"tot\\w+", false, true, true},
         {"inc/lib.inc:2:1:6:$totals = [];", "index.php:2:1:5:$total = 0;",
          "index.php:3:25:5:function addTotal($x) { $total += $x; }", "index.php:4:6:5:echo $TOTAL;",
          "latin1.php:1:13:5:<?php // été total", "notes.txt:1:0:5:total été", "notes.txt:2:4:5:ÉTÉ total"}},
    };
    for (const OptionCase &c : cases) {
        const SearchRun run = search({site.root, true}, c.options);
        EXPECT_EQ(run.lines, c.expected) << c.what;
        EXPECT_TRUE(run.summary.error.isEmpty()) << c.what;
    }
}

TEST(FindInFiles, SkipsAndCountsBinaryAndOversizedFiles)
{
    SmallSite site;
    const SearchRun run = search({site.root, true}, {"total"});
    EXPECT_EQ(run.summary.skippedBinary, 1);
    EXPECT_EQ(run.summary.skippedLarge, 1);
    EXPECT_EQ(run.summary.filesSearched, 4);
    EXPECT_EQ(run.summary.lines, 8);
    EXPECT_EQ(run.summary.matches, 9);
    EXPECT_FALSE(run.summary.cancelled);
    EXPECT_FALSE(run.summary.truncated);
}

TEST(FindInFiles, ABadRegularExpressionIsToldAndNothingIsSearched)
{
    SmallSite site;
    for (const char *pattern : {"(unclosed", "[z-a]"}) {
        const SearchRun run = search({site.root, true}, {pattern, false, false, true});
        EXPECT_TRUE(run.summary.error.startsWith(QStringLiteral("Expression régulière incorrecte"))) << pattern;
        EXPECT_EQ(run.summary.filesSearched, 0);
    }
    EXPECT_FALSE(search({site.root, true}, {""}).summary.error.isEmpty());
}

TEST(FindInFiles, StopsAtTheLimitAndCutsLongLinesAroundTheMatch)
{
    QTemporaryDir dir;
    writeFile(dir.path() + "/many.txt", QByteArray("hit\n").repeated(50));
    writeFile(dir.path() + "/long.min.js", QByteArray(900, 'a') + "needle" + QByteArray(5000, 'b') + "\n");
    FindOptions options{"hit"};
    options.maxMatches = 10;
    const SearchRun capped = search({dir.path(), true}, options);
    EXPECT_EQ(capped.lines.size(), 10);
    EXPECT_TRUE(capped.summary.truncated);

    FindOptions needle{"needle"};
    FindInFiles finder;
    QList<FindMatch> got;
    QObject::connect(&finder, &FindInFiles::found, [&](const QList<FindMatch> &batch) { got += batch; });
    finder.start({dir.path(), true}, needle);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !finder.isRunning(); }, 10000));
    ASSERT_EQ(got.size(), 1);
    EXPECT_LE(got[0].text.size(), 400);
    EXPECT_EQ(got[0].text.mid(got[0].column, got[0].length), QStringLiteral("needle"));
}

TEST(FindInFiles, CancelStopsDeliveringAndANewSearchReplacesTheOld)
{
    QTemporaryDir dir;
    for (int i = 0; i < 300; ++i)
        writeFile(dir.path() + QStringLiteral("/f%1.php").arg(i), QByteArray("word\n").repeated(200));
    FindInFiles finder;
    int batches = 0, finished = 0;
    FindSummary last;
    QObject::connect(&finder, &FindInFiles::found, [&](const QList<FindMatch> &) { ++batches; });
    QObject::connect(&finder, &FindInFiles::finished, [&](const FindSummary &s) {
        ++finished;
        last = s;
    });
    finder.start({dir.path(), true}, {"word"});
    finder.cancel();
    EXPECT_FALSE(finder.isRunning());
    QTest::qWait(200);
    EXPECT_EQ(batches, 0); // what the cancelled search found is dropped
    EXPECT_EQ(finished, 0);

    finder.start({dir.path(), true}, {"word"});
    finder.start({dir.path(), true}, {"nothing-here"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished == 1; }, 10000));
    QTest::qWait(100);
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(batches, 0); // only the last search reports
    EXPECT_EQ(last.matches, 0);
    EXPECT_EQ(last.filesSearched, 300);
}

} // namespace

ONDREL_CORE_TEST_MAIN
