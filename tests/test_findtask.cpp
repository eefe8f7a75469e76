// The find bar's task on a copy of the text: replacements and searches by plain
// bytes and by expression, in UTF-8 and Windows-1252, and the expressions that
// used to crash or freeze the window.
#include "support/qtmain.h"

#include "editor/findtask.h"

#include <QElapsedTimer>

namespace {

using Kind = FindRequest::Kind;
using Outcome = FindResult::Outcome;

struct Options
{
    bool regex = false, matchCase = false, wholeWord = false, utf8 = true;
};

FindRequest request(Kind kind, const QByteArray &text, const char *pattern, const char *replacement,
                    Options o = {}, qsizetype selStart = 0, qsizetype selEnd = 0)
{
    FindRequest r;
    r.kind = kind;
    r.text = text;
    r.utf8 = o.utf8;
    r.pattern = o.utf8 ? QString::fromUtf8(pattern) : QString::fromLatin1(pattern);
    r.replacement = QString::fromUtf8(replacement);
    r.regex = o.regex;
    r.matchCase = o.matchCase;
    r.wholeWord = o.wholeWord;
    r.selStart = selStart;
    r.selEnd = selEnd;
    return r;
}

FindResult run(const FindRequest &r)
{
    FindProgress progress;
    return runFind(r, progress);
}

/** The text once the result's replacements are in. */
QByteArray replaced(const QByteArray &text, const FindResult &result)
{
    if (result.replaced.empty())
        return text;
    const qsizetype first = result.replaced.front().start, last = result.replaced.back().end;
    return text.left(first) + result.span + text.mid(last);
}

constexpr Options kRegex{true};

struct ReplaceCase
{
    const char *what;
    QByteArray text;
    const char *pattern, *replacement;
    Options options;
    QByteArray expected;
    size_t count;
};

} // namespace

TEST(FindTask, ReplaceAll)
{
    const ReplaceCase cases[] = {
        {"expression", "fooo fo f", "fo+", "X", kRegex, "X X f", 2},
        {"groups", "a=1; b=1; e=1", "([a-d])=1", "\\1:=1", kRegex, "a:=1; b:=1; e=1", 2},
        {"empty matches", "abc", "x*", "-", kRegex, "-a-b-c-", 4},
        {"$ before CR LF", "a1\r\nb2\r\nc", "\\d$", "#", kRegex, "a#\r\nb#\r\nc", 2},
        {"^ after CR LF", "x\r\ny", "^", "> ", kRegex, "> x\r\n> y", 2},
        {"UTF-8 offsets", "é1 ü2 €3", "\\d", "#", kRegex, "é# ü# €#", 3},
        {"beyond the BMP", "😀a😀a", "a", "b", kRegex, "😀b😀b", 2},
        {"\\w knows letters", "élan, où", "\\w+", "[\\0]", kRegex, "[élan], [où]", 2},
        {"escapes", "a b", " ", "\\t\\\\\\q", kRegex, "a\t\\\\qb", 1},
        {"whole word", "foo food foo_ foo", "fo+", "X", {true, false, true}, "X food foo_ X", 2},
        {"case beyond ASCII", "Été été ÉTÉ", "été", "x", {}, "x x x", 3},
        {"match case beyond ASCII", "Été été", "été", "x", {false, true}, "Été x", 1},
        {"plain: no escapes", "a.b", ".", "\\1", {}, "a\\1b", 1},
        {"Windows-1252", "caf\xe9 \x80 CAF\xc9", "\xe9", "e", {false, false, false, false}, "cafe \x80 CAFe", 2},
        {"Windows-1252 expression", "\x8c" "1 \xe9" "2 \x80" "3", "\\w\\d", "<\\0>", {true, false, false, false},
         "<\x8c" "1> <\xe9" "2> \x80" "3", 2},
        {"none", "abc", "z+", "y", kRegex, "abc", 0},
    };
    for (const ReplaceCase &c : cases) {
        SCOPED_TRACE(c.what);
        const FindResult result = run(request(Kind::ReplaceAll, c.text, c.pattern, c.replacement, c.options));
        EXPECT_EQ(result.outcome, c.count ? Outcome::Found : Outcome::NotFound);
        EXPECT_EQ(result.replaced.size(), c.count);
        EXPECT_EQ(replaced(c.text, result), c.expected);
    }
}

TEST(FindTask, NextPreviousAndReplaceSelected)
{
    struct Case
    {
        const char *what;
        Kind kind;
        QByteArray text;
        const char *pattern;
        Options options;
        qsizetype selStart, selEnd;
        qsizetype matchStart, matchEnd; // -1: none
        QByteArray after;               // the text after a replacement of the selection by "X"
    };
    const QByteArray foo = "foo foo foo";
    const Case cases[] = {
        {"next", Kind::Next, foo, "foo", {}, 0, 3, 4, 7, foo},
        {"next, round the end", Kind::Next, foo, "o+", kRegex, 9, 11, 1, 3, foo},
        {"previous", Kind::Previous, foo, "foo", {}, 4, 7, 0, 3, foo},
        {"previous, round the start", Kind::Previous, foo, "foo", {}, 0, 3, 8, 11, foo},
        {"previous expression", Kind::Previous, foo, "f\\w+", kRegex, 8, 11, 4, 7, foo},
        {"previous expression, round", Kind::Previous, foo, "f\\w+", kRegex, 0, 3, 8, 11, foo},
        {"an empty match at the caret is passed", Kind::Next, "a\r\nb", "^", kRegex, 0, 0, 3, 3, "a\r\nb"},
        {"none", Kind::Next, foo, "bar", kRegex, 0, 0, -1, -1, foo},
        {"replace the selection, then next", Kind::ReplaceSelected, "a1 a2", "a\\d", kRegex, 0, 2, 2, 4, "X a2"},
        {"a selection that is no match: next only", Kind::ReplaceSelected, "a1 a2", "a\\d", kRegex, 0, 1, 3, 5,
         "a1 a2"},
        {"the last one replaced", Kind::ReplaceSelected, "é1", "é\\d", kRegex, 0, 3, -1, -1, "X"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const FindRequest r = request(c.kind, c.text, c.pattern, "X", c.options, c.selStart, c.selEnd);
        const FindResult result = run(r);
        EXPECT_EQ(result.matchStart, c.matchStart);
        EXPECT_EQ(result.matchEnd, c.matchEnd);
        EXPECT_EQ(replaced(c.text, result), c.after);
        EXPECT_EQ(findOutcomeText(r, result), c.matchStart < 0 ? QStringLiteral("Introuvable") : QString());
    }
}

// The inputs that ended the process (stack overflow), froze it, or took quadratic time.
TEST(FindTask, HostileExpressionsEndAndSaySo)
{
    QByteArray ab;
    for (int i = 0; i < 100000; ++i)
        ab += "ab"[i % 2];
    const QByteArray line = "x\r\n" + ab + "\r\ny";
    for (const char *pattern : {"(a|b)*", "(a|b)+", "(?:a|b)+"}) {
        SCOPED_TRACE(pattern);
        const FindResult found = run(request(Kind::Next, line, pattern, "", kRegex, 3, 3));
        EXPECT_EQ(found.outcome, Outcome::Found);
        EXPECT_EQ(found.matchStart, 3);
        EXPECT_EQ(found.matchEnd, 3 + ab.size());
    }
    const FindResult all = run(request(Kind::ReplaceAll, line, "(a|b)+", "<\\1>", kRegex));
    EXPECT_EQ(replaced(line, all), QByteArray("x\r\n<b>\r\ny"));

    const QByteArray costly = QByteArray(10000, 'a') + 'b';
    for (Kind kind : {Kind::Next, Kind::ReplaceAll}) {
        const FindRequest r = request(kind, costly, "(a+)+$", "", kRegex, 0, costly.size());
        const FindResult result = run(r);
        EXPECT_EQ(result.outcome, Outcome::TooCostly);
        EXPECT_TRUE(result.replaced.empty());
        EXPECT_EQ(findOutcomeText(r, result), QStringLiteral("Expression trop coûteuse"));
    }
}

TEST(FindTask, InvalidInputIsReportedNotSearched)
{
    const FindRequest bad = request(Kind::Next, "a(b", "a(", "", kRegex);
    const FindResult result = run(bad);
    EXPECT_EQ(result.outcome, Outcome::Invalid);
    EXPECT_TRUE(findOutcomeText(bad, result).startsWith(QStringLiteral("Expression invalide (caractère ")));
    // A replacement the file's encoding cannot hold replaces nothing.
    const FindRequest arrow = request(Kind::ReplaceAll, "a-b", "-", "→", {false, false, false, false});
    EXPECT_EQ(run(arrow).outcome, Outcome::Invalid);
    EXPECT_TRUE(run(arrow).replaced.empty());
    // A cancelled task stops before its end and gives nothing to apply.
    FindProgress progress;
    progress.cancel = true;
    const FindResult stopped = runFind(request(Kind::ReplaceAll, QByteArray("ab ").repeated(1000), "a", "b", kRegex), progress);
    EXPECT_EQ(stopped.outcome, Outcome::Cancelled);
}

ONDREL_QT_TEST_MAIN
