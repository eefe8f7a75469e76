#pragma once

#include <QString>
#include <QStringList>

#include <vector>

/**
 * Names in SQL statements, for the schema tree and the completion of the query
 * box: quoting an identifier, telling a statement that changes the schema, the
 * word being typed at the caret, and the names that complete it. No window, no
 * client library.
 */

/**
 * A database, table or column name as a statement takes it: bare when it is a
 * plain word (letters, digits, "_", "$"; not all digits) that is no SQL
 * keyword, otherwise between backticks, a backtick inside doubled.
 */
QString quotedIdentifier(const QString &name);

/**
 * Whether the statement may change what the schema tree shows: the first word
 * of one of its statements (separated by ";" outside strings, quoted names and
 * comments), after blanks and comments, is CREATE, ALTER, DROP or RENAME
 * (letter case ignored).
 */
bool changesSchema(const QString &statement);

/**
 * A text as an SQL string that every sql_mode reads the same way, whatever it
 * holds (quotes, backslashes): CONVERT(X'<UTF-8 in hexadecimal>' USING utf8mb4).
 */
QString sqlTextLiteral(const QString &text);

/** The SQL keywords the completion offers, in capitals, sorted. */
const QStringList &sqlKeywords();

/** What is being typed at the caret, for the completion. */
struct CompletionWord
{
    QString prefix;     // the identifier characters just before the caret (a "`" before them skipped)
    QString qualifier;  // the name before a "." that precedes the prefix ("t" in "t.na"), unquoted
    qsizetype start = 0; // where the replaced text starts: the prefix, or its opening "`"
};

/** The word before `caret` (a 0-based offset in UTF-16 units) in `text`. */
CompletionWord completionWord(const QString &text, qsizetype caret);

/**
 * The names of `names` that start with `prefix` (letter case ignored), in
 * `names`' order, at most `limit`; an exact match (same case) is left out, as
 * there is nothing to complete.
 */
QStringList namesStartingWith(const QStringList &names, const QString &prefix, int limit);

/** What a piece of a statement is, for its colour in the statement line. */
enum class SqlTokenKind { Keyword, String, Number, Comment, Identifier };

struct SqlToken
{
    qsizetype start = 0; // in UTF-16 units
    qsizetype length = 0;
    SqlTokenKind kind = SqlTokenKind::Identifier;
};

/**
 * The coloured pieces of `text`, in order: the keywords of sqlKeywords() (any
 * letter case), strings ('…' and "…", with backslashes and doubled quotes),
 * numbers, comments ("-- ", "#", C-style, over several lines) and names (bare
 * or between backticks). Blanks and punctuation are in none. A string or
 * comment left open runs to the end.
 */
std::vector<SqlToken> sqlTokens(QStringView text);
