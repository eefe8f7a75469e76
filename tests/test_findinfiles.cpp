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
