// PHP's own keyword list: the reflection script against the installed PHP, its
// cache and when it goes stale, the look-up of a typed word, and the hint that
// reads the user's list before PHP's.
#include "support/qtmain.h"
#include "support/testsupport.h"

#include "app/main.h"
#include "editor/phpsignatures.h"
#include "editor/phpsignaturesource.h"
#include "editor/richedit.h"
#include "preview/phpserver.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>

namespace {

/** The whole line of `list` that starts with `head`; empty when none. */
QString lineStartingWith(const QString &list, const QString &head)
{
    for (const QString &line : list.split(u'\n'))
        if (line.startsWith(head))
            return line;
    return {};
}

const QString &reflected()
{
    static const QString signatures = reflectPhpSignatures(phpExecutable());
    return signatures;
}

TEST(PhpSignatures, ReflectionOfTheInstalledPhpGivesEachSignatureWithItsParameters)
{
    ASSERT_FALSE(phpExecutable().isEmpty()) << "php-cli is needed by the tests";
    const struct
    {
        const char *head, *line;
    } cases[] = {
        {"str_replace(", "str_replace(array|string $search, array|string $replace, array|string $subject, "
                         "&$count = null): array|string"},
        {"array_map(", "array_map(?callable $callback, array $array, array ...$arrays): array"},
        {"PDO::prepare(", "PDO::prepare(string $query, array $options = []): PDOStatement|false"},
        {"strlen(", "strlen(string $string): int"},
        {"E_ALL = ", "E_ALL = 32767"},
        {"PHP_EOL = ", "PHP_EOL = '\\n'"}, // a line break in a value stays on its line
    };
    for (const auto &c : cases)
        EXPECT_EQ(lineStartingWith(reflected(), QString::fromUtf8(c.head)), QString::fromUtf8(c.line));
    EXPECT_GT(reflected().count(u'\n'), 1000);
    EXPECT_FALSE(reflected().contains(QStringLiteral("\n\n")));
}

TEST(PhpSignatures, TheCacheIsReadWhilePhpStaysTheSameAndRebuiltWhenItChanges)
{
    TempFolder folder;
    const QString cache = folder.path("cache/ondrel/php-signatures.txt");
    const QString php = phpExecutable();
    const QString version = phpVersionLine(php);
    ASSERT_TRUE(version.startsWith(QStringLiteral("PHP "))) << version.toStdString();

    const QString first = loadPhpSignatures(php, cache); // no cache: reflection, then written
    EXPECT_EQ(first, reflected());
    EXPECT_EQ(readSignatureCache(cache, version), first);
    EXPECT_TRUE(readSignatureCache(cache, QStringLiteral("PHP 0.1")).isNull());
    EXPECT_TRUE(readSignatureCache(folder.path("none.txt"), version).isNull());

    // A cache of the same PHP is what a later start uses.
    ASSERT_TRUE(writeSignatureCache(cache, version, QStringLiteral("marker(int $a): int\n")));
    EXPECT_EQ(loadPhpSignatures(php, cache), QStringLiteral("marker(int $a): int\n"));
    // Another PHP's cache is stale: the list is asked again.
    ASSERT_TRUE(writeSignatureCache(cache, QStringLiteral("PHP 7.0.0 (cli)"), QStringLiteral("marker()\n")));
    EXPECT_TRUE(loadPhpSignatures(php, cache).contains(QStringLiteral("\nstr_replace(")));
    EXPECT_TRUE(readSignatureCache(cache, version).contains(QStringLiteral("\nstr_replace(")));

    // Without PHP nothing is asked, nothing is written.
    EXPECT_TRUE(loadPhpSignatures(folder.path("no-php"), folder.path("other.txt")).isEmpty());
    EXPECT_TRUE(loadPhpSignatures(QString(), folder.path("other.txt")).isEmpty());
    EXPECT_FALSE(QFile::exists(folder.path("other.txt")));
}

TEST(PhpSignatures, ATypedWordFindsItsFunctionThenAMethodOfThatName)
{
    const QString list = QStringLiteral("mb_strlen(string $string): int\nstrlen(string $string): int\n"
                                        "PDO::prepare(string $query): PDOStatement|false\nprep(int $x)\n");
    const struct
    {
        const char *typed, *line;
    } cases[] = {
        {"strlen(", "strlen(string $string): int"}, // not mb_strlen, which holds it
        {"mb_strlen(", "mb_strlen(string $string): int"},
        {"!strlen(", "strlen(string $string): int"},
        {"\tstrlen(", "strlen(string $string): int"},
        {"$pdo->prepare(", "PDO::prepare(string $query): PDOStatement|false"},
        {"PDO::prepare(", "PDO::prepare(string $query): PDOStatement|false"},
        {"prep(", "prep(int $x)"},
        {"(", ""},
        {"nothing(", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(phpSignatureFor(list, QString::fromUtf8(c.typed)), QString::fromUtf8(c.line)) << c.typed;
}

TEST(PhpSignatures, TheHintReadsTheUsersListFirstThenPhps)
{
    TempFolder folder;
    auto w = makeWindow(folder.path(QString()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->phpSignatures() && w->phpSignatures()->isLoaded(); }, 30000));
    const struct
    {
        const char *keywords, *typed, *hint;
    } cases[] = {
        {"str_replace(mine)\n", "$a = str_replace(", "str_replace(mine)"},
        {"", "$a = str_replace(", "str_replace(array|string $search, array|string $replace, array|string $subject, "
                                  "&$count = null): array|string"},
        {"other(x)\n", "echo strlen(", "strlen(string $string): int"},
        {"", "echo nosuchfunction(", ""},
        // Further in the call: the parameter being typed in bold, from either list.
        {"", "echo substr($s, ", "substr(string $string, <b>int $offset</b>, ?int $length = null): string"},
        {"substr(a, b)\n", "echo substr(strlen($t), ", "substr(a, <b>b</b>)"},
        {"", "echo substr($s, 1) + 2", ""},
        {"", "<?php\necho substr(\n    $s,\n    ", "substr(string $string, <b>int $offset</b>, ?int $length = null): string"},
        // A function of the file: its definition and the first line of its doc comment.
        {"", "<?php\n/** Adds the tax. */\nfunction withTax($p, $r = 0.2) {}\necho withTax(", "withTax($p, $r = 0.2) — Adds the tax."},
        {"", "<?php\nfunction withTax($p, $r = 0.2) {}\necho withTax(1, ", "withTax($p, <b>$r = 0.2</b>)"},
        // The definition changed on its line, the caret's line as it was: the new one.
        {"", "<?php\nfunction withTax($q, $r = 0.2) {}\necho withTax(1, ", "withTax($q, <b>$r = 0.2</b>)"},
        {"", "<?php\nfunction withTax($q, $r = 0.2) {}\necho WITHTAX(", "WITHTAX($q, $r = 0.2)"},
        {"", "<?php\necho nowhere(1, ", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed);
        w->mAide->setPlainText(QString::fromUtf8(c.keywords));
        w->M->setBytes(c.typed);
        w->M->setSelStart(w->M->textLength());
        w->Ligne();
        EXPECT_EQ(w->Label6->text(), QString::fromUtf8(c.hint));
    }
}

TEST(PhpSignatures, WithoutPhpTheListStaysEmpty)
{
    PhpSignatureSource source;
    source.start(QString(), QStringLiteral("/nonexistent/cache.txt"));
    QCoreApplication::processEvents();
    EXPECT_FALSE(source.isLoaded());
    EXPECT_TRUE(source.signatures().isEmpty());
}

} // namespace

ONDREL_QT_TEST_MAIN
