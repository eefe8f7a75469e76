// The PHP tokenizer and the definition index: what is code and what is not
// (strings, comments, heredoc, ?> inside strings), the definitions found in
// tricky PHP, and the index kept up to date file by file.
#include "support/coremain.h"

#include "search/definitionindex.h"
#include "search/phplexer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtCore/qtestsupport_core.h>

#include <functional>

namespace {

/** "kind name@line", with "Container::" before the name of members and "Ns\\" for namespaces. */
QStringList describe(const QList<Definition> &definitions)
{
    QStringList out;
    for (const Definition &d : definitions) {
        QString name = d.name;
        if (!d.container.isEmpty())
            name = d.container + QStringLiteral("::") + name;
        if (!d.nameSpace.isEmpty())
            name = d.nameSpace + u'\\' + name;
        out << QStringLiteral("%1 %2@%3").arg(definitionKindText(d.kind), name).arg(d.line);
    }
    return out;
}

QStringList definitionsOf(const char *php)
{
    return describe(scanDefinitions(std::string_view(php)));
}

struct DefinitionCase
{
    const char *what;
    const char *php;
    QStringList expected;
};

TEST(PhpDefinitions, FindsDeclarationsAndNothingInStringsCommentsOrHtml)
{
    const DefinitionCase cases[] = {
        {"plain function and class with a method",
         "<?php\nfunction foo() {}\nclass A {\n  public function bar() {}\n}\n",
         {"fonction foo@2", "classe A@3", "méthode A::bar@4"}},
        {"'function' inside strings of every kind",
         "<?php\n$a = 'function no1() {}';\n$b = \"function no2() {}\";\n$c = `function no3`;\nfunction yes() {}\n",
         {"fonction yes@5"}},
        {"comments, // ended by a line break",
         "<?php\n// function no1() {}\n# class No2 {}\n/* function no3() {} */\n/** class No4 */\nfunction yes() {}\n",
         {"fonction yes@6"}},
        {"?> in a string does not leave PHP",
         "<?php\n$s = '?> function no() {}';\nfunction yes() {}\n",
         {"fonction yes@3"}},
        {"?> in a // comment leaves PHP: what follows is HTML",
         "<?php\n// a comment ?> function no() {}\n<?php function yes() {}\n",
         {"fonction yes@3"}},
        {"HTML between PHP blocks",
         "<p>function no() {}</p>\n<?php function a() {} ?>\n<div>class No {}</div>\n<?= 1 ?><?php\nclass B {}\n",
         {"fonction a@2", "classe B@5"}},
        {"heredoc and nowdoc, indented closing label, interpolation with quotes",
         "<?php\n$h = <<<EOT\nfunction no1() {}\n  {$a['x']} \" ' class No2 {}\n  EOT;\n"
         "$n = <<<'NOW'\nfunction no3() { ?>\nNOW;\nfunction yes() {}\n",
         {"fonction yes@9"}},
        {"heredoc label as prefix of a longer word does not close it",
         "<?php\n$h = <<<\"END\"\nENDING function no() {}\nEND;\nfunction yes() {}\n",
         {"fonction yes@5"}},
        {"interpolation with braces and nested strings",
         "<?php\n$s = \"a {$o->m(\"}\", '{')} b ${x} c\";\nfunction yes() {}\n",
         {"fonction yes@3"}},
        {"class declared inside a conditional, and a nested function",
         "<?php\nif (!class_exists('A')) {\n  class A { function m() { function inner() {} } }\n}\n"
         "if (true) { function cond() {} }\n",
         {"classe A@3", "méthode A::m@3", "fonction inner@3", "fonction cond@5"}},
        {"interface, trait, abstract and final classes, readonly class and properties",
         "<?php\ninterface I { public function i(); }\ntrait T { function t() {} }\n"
         "abstract class Ab {}\nfinal class F {}\nreadonly class R { public function __construct(public readonly int $x) {} }\n",
         {"interface I@2", "méthode I::i@2", "trait T@3", "méthode T::t@3", "classe Ab@4", "classe F@5",
          "classe R@6", "méthode R::__construct@6"}},
        {"enum with cases, backed enum, and 'enum' as an ordinary word",
         "<?php\nenum Suit { case Hearts; case Spades; }\nenum Code: string implements I { case A = 'a'; const X = 1; }\n"
         "$enum = enum_exists('x'); echo enum;\n",
         {"énumération Suit@2", "constante Suit::Hearts@2", "constante Suit::Spades@2", "énumération Code@3",
          "constante Code::A@3", "constante Code::X@3"}},
        {"switch cases in a method are not enum cases",
         "<?php\nclass S { function f($x) { switch ($x) { case A: break; } } }\n",
         {"classe S@2", "méthode S::f@2"}},
        {"attributes before declarations, and a comment-looking #[",
         "<?php\n#[Attribute(Attribute::TARGET_CLASS)]\nclass Attr {}\n#[Route('/x', name: \"function\")]\nfunction routed() {}\n",
         {"classe Attr@3", "fonction routed@5"}},
        {"constants: const lists, typed class constants, define() in both quotes",
         "<?php\nconst A = 1, B = [2, 3];\nclass K { const int C = 4; public const D = 'x', E = f(1, 2); }\n"
         "define('ABSPATH', __DIR__); \\define(\"WPINC\", 'wp'); define($dynamic, 1);\n",
         {"constante A@2", "constante B@2", "classe K@3", "constante K::C@3", "constante K::D@3", "constante K::E@3",
          "constante ABSPATH@4", "constante WPINC@4"}},
        {"what only looks like a declaration: ::class, ->function, new class, closures, use function",
         "<?php\nuse function Foo\\bar;\nuse const Foo\\BAZ;\n$x = A::class; $o->function(); $y = new class {};\n"
         "$f = function () {}; $g = fn($a) => $a; $h = static function &() {};\n",
         {}},
        {"namespaces, by semicolon and braced, and a function returning by reference",
         "<?php\nnamespace App\\Models;\nclass User { function &ref() {} }\nnamespace Other {\n  function helper() {}\n}\n",
         {"classe App\\Models\\User@3", "méthode App\\Models\\User::ref@3", "fonction Other\\helper@5"}},
        {"CR LF and lone CR line breaks count as one line each",
         "<?php\r\n\r\nfunction a() {}\r\rfunction b() {}\n",
         {"fonction a@3", "fonction b@5"}},
        {"unclosed string and comment at the end do not run away",
         "<?php\nfunction a() {}\n$s = 'never closed function no() {}\n",
         {"fonction a@2"}},
        {"<<< that is not a heredoc (no line break after the label) is an operator",
         "<?php\n$h = <<<EOTx; function after() {}\n",
         {"fonction after@2"}},
        {"short open tag with a space, and <?xml left as HTML",
         "<?xml version=\"1.0\"?>\n<? function shortTag() {} ?>\n",
         {"fonction shortTag@2"}},
    };
    for (const DefinitionCase &c : cases)
        EXPECT_EQ(definitionsOf(c.php), c.expected) << c.what;
}

TEST(PhpLexer, CutsTokensAtTheRightPlaces)
{
    const std::string_view php = "<?php $a->b?->c::D; $s = \"x{$y}\" . 1.5e-3; #[A] ?>tail";
    PhpLexer lexer(php);
    QStringList seen;
    for (PhpToken t = lexer.next(); t.kind != PhpTokenKind::End; t = lexer.next())
        seen << QString::fromUtf8(t.text(php).data(), qsizetype(t.text(php).size()));
    EXPECT_EQ(seen, (QStringList{"<?php", "$a", "->", "b", "?->", "c", "::", "D", ";", "$s", "=", "\"x{$y}\"", ".",
                                 "1.5e-3", ";", "#[", "A", "]", "?>", "tail"}));
}

TEST(PhpLexer, TakesTheNameUnderOrJustBeforeTheCaret)
{
    struct Case
    {
        const char *line;
        size_t column;
        const char *name;
    } const cases[] = {
        {"wp_die( 'x' );", 0, "wp_die"}, {"wp_die( 'x' );", 3, "wp_die"}, {"wp_die( 'x' );", 6, "wp_die"},
        {"wp_die( 'x' );", 7, ""},       {"new \\App\\User();", 12, "User"}, {"$user->save();", 2, ""},
        {"$user->save();", 8, "save"},   {"x = 42;", 5, ""},                 {"été();", 1, "été"},
        {"", 0, ""},                     {"abc", 99, "abc"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(phpNameAt(c.line, c.column), std::string_view(c.name)) << c.line << " @" << c.column;
}

TEST(DefinitionIndex, FindsByNameWithoutCaseAndReplacesOneFileAtATime)
{
    DefinitionIndex index;
    index.setFile(QStringLiteral("/s/a.php"), "<?php function wp_die() {} class WP_Query { function get() {} }");
    index.setFile(QStringLiteral("/s/b.php"), "<?php\n\nfunction wp_die() {}\nfunction wp_dice() {}");
    EXPECT_EQ(describe(index.find(u"WP_DIE")), (QStringList{"fonction wp_die@1", "fonction wp_die@3"}));
    EXPECT_EQ(index.find(u"wp_die").last().file, QStringLiteral("/s/b.php"));
    EXPECT_EQ(describe(index.startingWith(u"wp_", 10)),
              (QStringList{"fonction wp_dice@4", "fonction wp_die@1", "fonction wp_die@3", "classe WP_Query@1"}));
    EXPECT_EQ(index.startingWith(u"wp_", 2).size(), 2);

    // A save that renames a function: the old name is gone, the other file's stays.
    index.setFile(QStringLiteral("/s/b.php"), "<?php function wp_halt() {}");
    EXPECT_EQ(describe(index.find(u"wp_die")), QStringList{"fonction wp_die@1"});
    EXPECT_EQ(index.find(u"wp_dice").size(), 0);
    EXPECT_EQ(index.find(u"wp_halt").size(), 1);
    index.removeFile(QStringLiteral("/s/a.php"));
    EXPECT_TRUE(index.find(u"wp_die").isEmpty());
    EXPECT_EQ(index.definitionCount(), 1);
}

TEST(DefinitionIndexer, BuildsASiteInTheBackgroundAndFollowsSaves)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    writeFile(root + "/index.php", "<?php require 'inc/functions.php'; site_header();");
    writeFile(root + "/inc/functions.php", "<?php\nfunction site_header() {}\n");
    writeFile(root + "/vendor/lib/Lib.php", "<?php class Lib {}");
    writeFile(root + "/node_modules/x/y.php", "<?php function from_node_modules() {}");
    writeFile(root + "/.git/hooks/h.php", "<?php function from_hidden() {}");
    writeFile(root + "/notes.txt", "function not_php() {}");
    writeFile(root + "/bin.php", QByteArray("<?php function in_binary() {}\0", 31));

    DefinitionIndexer indexer;
    int ready = 0;
    QObject::connect(&indexer, &DefinitionIndexer::ready, [&] { ++ready; });
    const Site site{root, true};
    indexer.ensureBuilt(site);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ready == 1; }, 10000));
    EXPECT_TRUE(indexer.isReadyFor(site));
    const DefinitionIndex &index = indexer.index();
    ASSERT_EQ(index.find(u"site_header").size(), 1);
    EXPECT_EQ(index.find(u"site_header").first().file, root + "/inc/functions.php");
    EXPECT_EQ(index.find(u"site_header").first().line, 2);
    EXPECT_EQ(index.find(u"Lib").size(), 1);
    for (const char16_t *absent : {u"from_node_modules", u"from_hidden", u"not_php", u"in_binary"})
        EXPECT_TRUE(index.find(absent).isEmpty()) << QString::fromUtf16(absent).toStdString();

    // A save: the file's definitions follow; a file outside the site changes nothing.
    writeFile(root + "/inc/functions.php", "<?php\n\n\nfunction site_footer() {}\n");
    indexer.updateFile(root + "/inc/functions.php");
    EXPECT_TRUE(indexer.index().find(u"site_header").isEmpty());
    ASSERT_EQ(indexer.index().find(u"site_footer").size(), 1);
    EXPECT_EQ(indexer.index().find(u"site_footer").first().line, 4);
    QFile::remove(root + "/inc/functions.php");
    indexer.updateFile(root + "/inc/functions.php");
    EXPECT_TRUE(indexer.index().find(u"site_footer").isEmpty());
    indexer.updateFile(QStringLiteral("/elsewhere/x.php"));
    indexer.ensureBuilt(site); // already built: no second build
    EXPECT_FALSE(indexer.isBuilding());
    EXPECT_EQ(ready, 1);

    // Another program changes the site: the index follows, with no save in Ondrel.
    EXPECT_TRUE(indexer.watchedFolders().contains(root + "/inc"));
    EXPECT_FALSE(indexer.watchedFolders().contains(root + "/node_modules/x"));
    const struct
    {
        std::function<void()> change;
        const char16_t *present;
        const char16_t *gone;
    } steps[] = {
        {[&] { writeFile(root + "/inc/new.php", "<?php function added_outside() {}"); }, u"added_outside", nullptr},
        {[&] { // replaced whole, as editors and checkouts do
             writeFile(root + "/index.tmp", "<?php function replaced_outside() {}");
             QFile::remove(root + "/index.php");
             QFile::rename(root + "/index.tmp", root + "/index.php");
         }, u"replaced_outside", nullptr},
        {[&] { QFile::remove(root + "/inc/new.php"); }, nullptr, u"added_outside"},
        {[&] { writeFile(root + "/lib/deep/x.php", "<?php class MadeWithItsFolders {}"); }, u"MadeWithItsFolders", nullptr},
        {[&] { writeFile(root + "/lib/deep/y.php", "<?php class InTheNewFolder {}"); }, u"InTheNewFolder", nullptr},
    };
    for (const auto &step : steps) {
        step.change();
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return (!step.present || !indexer.index().find(step.present).isEmpty())
                && (!step.gone || indexer.index().find(step.gone).isEmpty());
        }, 5000)) << QString::fromUtf16(step.present ? step.present : step.gone).toStdString();
    }
}

} // namespace

ONDREL_CORE_TEST_MAIN
