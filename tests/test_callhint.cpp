// The parameter being typed: which call and which of its parameters the caret
// stands in, and the signature with that parameter in bold.
#include "support/qtmain.h"

#include "editor/callhint.h"
#include "editor/phpbrackets.h"

namespace {

TEST(CallHint, TheCallAndItsParameterThroughNestingStringsAndComments)
{
    const struct
    {
        const char *before;
        const char *word; // null: no call
        int parameter;
    } cases[] = {
        {"$a = str_replace(", "str_replace(", 0},
        {"$a = str_replace($x, ", "str_replace(", 1},
        {"$a = str_replace($x, $y, $z", "str_replace(", 2},
        {"echo strlen(substr($s, 1, ", "substr(", 2},          // the innermost open call
        {"echo implode(', ', explode(',', $s), ", "implode(", 2}, // commas of strings and of a closed call
        {"f(\"a,\\\"b,\", ", "f(", 1},                          // an escaped quote inside the string
        {"f(array(1, 2), [3, 4], ", "f(", 2},
        {"f($a['x,y'], ", "f(", 1},
        {"$o->m(1, ", "$o->m(", 1},
        {"f(1, 2)", nullptr, -1},       // closed
        {"if (", nullptr, -1},          // a bracket of an expression
        {"$a = [1, 2, ", nullptr, -1},  // in an array, not a call
        {"f(1, // g(", nullptr, -1},    // a comment
        {"# f(1, ", nullptr, -1},
        {"", nullptr, -1},
        {"\tstrlen(", "strlen(", 0},
        {"f(1, /* a, g( */ ", "f(", 1},
        // A call spread over several lines.
        {"$a = str_replace(\n    $x,\r\n    ", "str_replace(", 1},
        {"foo(1);\nbar(", "bar(", 0},
        {"f(1, // g(2,\n  ", "f(", 1}, // the comment of a line above ends with it
        {"f(1, /* g(\n", nullptr, -1},  // in a comment over several lines
        {"function x() {\n  $a = f(1);\n  ", nullptr, -1},
        {"f('a,\nb', ", "f(", 1},       // a string over two lines
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.before);
        const CallAtCaret call = callAtCaret(QString::fromUtf8(c.before));
        EXPECT_EQ(call.isCall(), c.word != nullptr);
        if (c.word) {
            EXPECT_EQ(call.word, QString::fromUtf8(c.word));
            EXPECT_EQ(call.parameter, c.parameter);
        }
    }
}

TEST(CallHint, TheSignatureWithTheParameterInBold)
{
    const QString replace = QStringLiteral("str_replace(array|string $search, array|string $replace, "
                                           "array|string $subject, &$count = null): array|string");
    const struct
    {
        QString signature;
        int index;
        const char *html;
    } cases[] = {
        {replace, 0, "str_replace(<b>array|string $search</b>, array|string $replace, array|string $subject, &amp;$count = null): array|string"},
        {replace, 3, "str_replace(array|string $search, array|string $replace, array|string $subject, <b>&amp;$count = null</b>): array|string"},
        {replace, 4, "str_replace(array|string $search, array|string $replace, array|string $subject, &amp;$count = null): array|string"},
        {QStringLiteral("array_map(?callable $callback, array $array, array ...$arrays): array"), 5,
         "array_map(?callable $callback, array $array, <b>array ...$arrays</b>): array"},
        {QStringLiteral("f($a = [1, 2], $b = ',', $c = g(1, 2))"), 2, "f($a = [1, 2], $b = ',', <b>$c = g(1, 2)</b>)"},
        {QStringLiteral("f($a = [1, 2], $b = ',', $c = g(1, 2))"), 1, "f($a = [1, 2], <b>$b = ','</b>, $c = g(1, 2))"},
        {QStringLiteral("g()"), 0, "g()"},
        {QStringLiteral("no brackets <here>"), 0, "no brackets &lt;here&gt;"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(signatureWithParameter(c.signature, c.index), QString::fromUtf8(c.html)) << c.signature.toStdString();
}

TEST(PhpBracketScanner, StringsAreSkippedAndOnlyOpenBracketsClose)
{
    // What the scan sees outside strings, written one character each: "(" an
    // opening, ")" a closing, "." anything else (an unmatched closer included), with
    // the depth after each.
    const struct
    {
        const char *text;
        const char *seen;
        const char *depths;
    } cases[] = {
        {"(a)", "(.)", "110"},
        {"f(\"(\")", ".()", "010"},  // the "(" inside the string counts for nothing
        {"('a\\'b')x", "().", "100"},   // an escaped quote does not end the string
        {"(\"a\\\\\")x", "().", "100"},   // an escaped backslash does not escape the quote
        {")(", ".(", "01"},          // a closer with nothing open is plain text
        {"([)]", "(())", "1210"}, // any closer closes the last opened
        {"('", "(", "1"},            // a string left open hides the rest
        {"'abc", "", ""},
        {"\"a\\", "", ""},           // a backslash at the very end
    };
    for (const auto &c : cases) {
        const QString text = QString::fromUtf8(c.text);
        PhpBracketScanner scan(text, 0, u"([", u")]");
        QString seen, depths;
        while (scan.next()) {
            switch (scan.kind()) {
            case PhpBracketScanner::Kind::Opening: seen += u'('; break;
            case PhpBracketScanner::Kind::Closing: seen += u')'; break;
            case PhpBracketScanner::Kind::Other: seen += u'.'; break;
            }
            depths += QString::number(scan.depth());
        }
        EXPECT_EQ(seen, QString::fromUtf8(c.seen)) << c.text;
        EXPECT_EQ(depths, QString::fromUtf8(c.depths)) << c.text;
        EXPECT_EQ(scan.at(), text.size()) << c.text;
    }
}

} // namespace

ONDREL_QT_TEST_MAIN
