// The CSS scanner on its own: the kind each byte of a style sheet is drawn as, and
// that scanning in pieces, or with bytes of PHP between them, gives the same kinds.
#include "support/coremain.h"

#include "editor/csstokens.h"

#include <cctype>
#include <string>
#include <vector>

namespace {

/** One letter per kind, for tables that read like the text they describe. */
char letterOf(CssKind kind)
{
    switch (kind) {
    case CssKind::Plain: return '.';
    case CssKind::Selector: return 'S';
    case CssKind::Property: return 'P';
    case CssKind::Value: return 'V';
    case CssKind::Number: return 'N';
    case CssKind::String: return 'Q';
    case CssKind::Comment: return 'C';
    case CssKind::Keyword: return 'K';
    }
    return '?';
}

/** The kinds of `css` scanned in pieces of `piece` bytes (0: at once), as letters. */
std::string kindsOf(const std::string &css, size_t piece = 0)
{
    CssScanner scanner;
    std::vector<CssKind> kinds(css.size());
    const size_t step = piece == 0 ? css.size() : piece;
    for (size_t at = 0; at < css.size(); at += step)
        scanner.scan(css.data() + at, std::min(step, css.size() - at), kinds.data() + at);
    std::string letters;
    for (CssKind kind : kinds)
        letters += letterOf(kind);
    return letters;
}

TEST(CssTokens, EachByteTakesTheKindOfItsToken)
{
    const struct
    {
        const char *css, *kinds;
    } cases[] = {
        {"p.note { color: red; }", "SSSSSS...PPPPP..VVV..."},
        {"a:hover,b>i{margin:-2px 0 .5em}", "SSSSSSS.S.S.PPPPPP.NNNN.N.NNNN."},
        {"h1 { width: 50%; color: #ff8800 }", "SS...PPPPP..NNN..PPPPP..NNNNNNN.."},
        {"b { font-family: \"A}B\", serif }", "S...PPPPPPPPPPP..QQQQQ..VVVVV.."},
        {"b { content: 'it\\'s}'; top: 0 }", "S...PPPPPPP..QQQQQQQQ..PPP..N.."},
        {"/* a { b } */ i { }", "CCCCCCCCCCCCC.S...."},
        {"i { /* x: y; } */ top: 1px }", "S...CCCCCCCCCCCCC.PPP..NNN.."},
        {"i { /*/ still */ a: b }", "S...CCCCCCCCCCCC.P..V.."},
        {"i { a: b !important }", "S...P..V.KKKKKKKKKK.."},
        {"i { background: url(a/b.png) no-repeat }", "S...PPPPPPPPPP..VVV.QQQQQQQ..VVVVVVVVV.."},
        {"i { background: url(\"x y\") }", "S...PPPPPPPPPP..VVV.QQQQQ..."},
        {"@media screen and (max-width: 600px) { p { top: 0 } }",
         "KKKKKK.VVVVVV.VVV..VVVVVVVVV..NNNNN....S...PPP..N...."},
        {"@import \"a.css\"; p { }", "KKKKKKK.QQQQQQQ..S...."},
        {"@font-face { font-family: x } p { }", "KKKKKKKKKK...PPPPPPPPPPP..V...S...."},
        // A string ends with its line; the declaration it spoilt goes on to its ";".
        {"i { a: \"open\r\nb: c; d: e }", "S...P..QQQQQ..V..V..P..V.."},
        // CSS nesting: the nested rule's selector reads as a property, its block as declarations.
        {"p { &:hover { top: 0 } }", "S...S.VVVVV...PPP..N...."},
        // A stray closing brace at the top does not unbalance what follows.
        {"} p { top: 1 }", "..S...PPP..N.."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.css);
        EXPECT_EQ(kindsOf(c.css), c.kinds);
    }
}

TEST(CssTokens, PiecesGiveTheSameKindsButForATokenCutBeforeItsSecondByte)
{
    const std::string css = "@media print { p.a > b { color: #abc; margin: 1.5em -2px; } } "
                            "/* note } */ i::after { content: \"}\\\"\"; background: url(x.png) !important }";
    const std::string whole = kindsOf(css);
    for (size_t piece : {1, 2, 3, 7, 64}) {
        SCOPED_TRACE(piece);
        const std::string pieces = kindsOf(css, piece);
        ASSERT_EQ(pieces.size(), whole.size());
        for (size_t i = 0; i < whole.size(); ++i) {
            // A "/" before "*", and a sign or "." before a digit, learn their kind from the
            // next byte: cut between the two, they keep the kind they had.
            const bool decidedLater = i + 1 < css.size() && (i + 1) % piece == 0
                                      && ((css[i] == '/' && css[i + 1] == '*')
                                          || ((css[i] == '-' || css[i] == '.') && std::isdigit(static_cast<unsigned char>(css[i + 1]))));
            if (!decidedLater) {
                EXPECT_EQ(pieces[i], whole[i]) << "byte " << i << " '" << css[i] << "'";
            }
        }
    }
}

TEST(CssTokens, CodeBetweenPiecesEndsAWordButNotAStringOrComment)
{
    // "color: <?= $c ?>;" and ".item-<?= $i ?> {": the scanner sees the CSS around the PHP.
    const struct
    {
        const char *before, *after, *kindsAfter;
    } cases[] = {
        {"p { color: ", "; top: 1 }", "..PPP..N.."},
        {".item-", " { top: 1 }", "...PPP..N.."},
        {"p { content: \"a", "b\"; }", "QQ..."},
        {"p { /* a", " } */ top: 1 }", "CCCCC.PPP..N.."},
        {"p { top: 1", "px }", "VV.."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.before) + "<?php ?>" + c.after);
        CssScanner scanner;
        const std::string before(c.before), after(c.after);
        std::vector<CssKind> kinds(before.size() + after.size());
        scanner.scan(before.data(), before.size(), kinds.data());
        scanner.interrupt();
        scanner.scan(after.data(), after.size(), kinds.data() + before.size());
        std::string letters;
        for (size_t i = before.size(); i < kinds.size(); ++i)
            letters += letterOf(kinds[i]);
        EXPECT_EQ(letters, c.kindsAfter);
    }
}

TEST(CssTokens, AStateKeptAnywhereGoesOnAsTheWholeScan)
{
    const std::string css = "@media (min-width: 1px) { a { b: 'x;y' /* } */ } } @page { margin: 1cm } p { top: -1px }";
    const std::string whole = kindsOf(css);
    for (size_t cut = 1; cut < css.size(); ++cut) {
        CssScanner first;
        std::vector<CssKind> kinds(css.size());
        first.scan(css.data(), cut, kinds.data());
        CssScanner second(first.state()); // as a kept state starts a later scan
        second.scan(css.data() + cut, css.size() - cut, kinds.data() + cut);
        std::string letters;
        for (CssKind kind : kinds)
            letters += letterOf(kind);
        // All but the byte before the cut, which may learn its kind only from the other side.
        EXPECT_EQ(letters.substr(cut), whole.substr(cut)) << "cut at " << cut;
        EXPECT_EQ(letters.substr(0, cut - 1), whole.substr(0, cut - 1)) << "cut at " << cut;
    }
}

} // namespace

ONDREL_CORE_TEST_MAIN
