#include "db/sqlnames.h"

#include <QSet>

#include <algorithm>

namespace {

bool isNameCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'$';
}

bool isPlainWord(const QString &name)
{
    if (name.isEmpty())
        return false;
    bool allDigits = true;
    for (const QChar c : name) {
        // ASCII only: a bare accented name depends on the connection's character set.
        if (c.unicode() > 127 || !isNameCharacter(c))
            return false;
        allDigits = allDigits && c.isDigit();
    }
    return !allDigits;
}

// Skips blanks, "-- " and "#" line comments and C-style block comments from `at`.
qsizetype afterBlanksAndComments(const QString &text, qsizetype at)
{
    const qsizetype size = text.size();
    while (at < size) {
        if (text[at].isSpace()) {
            ++at;
        } else if (text[at] == u'#' || (text.mid(at, 2) == u"--" && (at + 2 >= size || text[at + 2].isSpace()))) {
            const qsizetype end = text.indexOf(u'\n', at);
            at = end < 0 ? size : end + 1;
        } else if (text.mid(at, 2) == u"/*") {
            const qsizetype end = text.indexOf(QStringLiteral("*/"), at + 2);
            at = end < 0 ? size : end + 2;
        } else {
            break;
        }
    }
    return at;
}

} // namespace

const QStringList &sqlKeywords()
{
    static const QStringList words = [] {
        static const char *const kWords[] = {
            "ADD", "ALL", "ALTER", "AND", "AS", "ASC", "AUTO_INCREMENT", "BEGIN", "BETWEEN", "BIGINT", "BINARY",
            "BLOB", "BY", "CALL", "CASCADE", "CASE", "CHANGE", "CHAR", "CHARACTER", "CHECK", "COLLATE", "COLUMN",
            "COLUMNS", "COMMIT", "CONSTRAINT", "COUNT", "CREATE", "CROSS", "DATABASE", "DATABASES", "DATE",
            "DATETIME", "DECIMAL", "DEFAULT", "DELETE", "DESC", "DESCRIBE", "DISTINCT", "DOUBLE", "DROP", "ELSE",
            "END", "ENGINE", "EXISTS", "EXPLAIN", "FALSE", "FLOAT", "FOREIGN", "FROM", "FULL", "FUNCTION",
            "GRANT", "GROUP", "HAVING", "IF", "IGNORE", "IN", "INDEX", "INNER", "INSERT", "INT", "INTEGER",
            "INTERVAL", "INTO", "IS", "JOIN", "KEY", "KEYS", "LEFT", "LIKE", "LIMIT", "LONGTEXT", "MODIFY", "NOT",
            "NULL", "OFFSET", "ON", "OR", "ORDER", "OUTER", "PRIMARY", "PROCEDURE", "REFERENCES", "RENAME",
            "REPLACE", "RIGHT", "ROLLBACK", "SELECT", "SET", "SHOW", "SMALLINT", "START", "STATUS", "TABLE",
            "TABLES", "TEXT", "THEN", "TIME", "TIMESTAMP", "TINYINT", "TO", "TRANSACTION", "TRIGGER", "TRUE",
            "TRUNCATE", "UNION", "UNIQUE", "UNSIGNED", "UPDATE", "USE", "USING", "VALUES", "VARCHAR", "VIEW",
            "WHEN", "WHERE", "WITH"};
        QStringList list;
        for (const char *word : kWords)
            list.append(QString::fromLatin1(word));
        list.sort();
        return list;
    }();
    return words;
}

QString quotedIdentifier(const QString &name)
{
    static const QSet<QString> keywords(sqlKeywords().begin(), sqlKeywords().end());
    if (isPlainWord(name) && !keywords.contains(name.toUpper()))
        return name;
    QString quoted = name;
    quoted.replace(u'`', QStringLiteral("``"));
    return u'`' + quoted + u'`';
}

namespace {

/** Where the statement that starts at `at` ends: its ";" outside strings, quoted names and comments, or the end. */
qsizetype statementEnd(const QString &text, qsizetype at)
{
    const qsizetype size = text.size();
    while (at < size) {
        const QChar c = text[at];
        if (c == u';')
            return at;
        if (c == u'\'' || c == u'"' || c == u'`') {
            ++at;
            while (at < size && text[at] != c)
                at += (text[at] == u'\\' && c != u'`') ? 2 : 1;
            ++at;
        } else if (c == u'#' || c == u'-' || c == u'/') {
            const qsizetype after = afterBlanksAndComments(text, at);
            at = after > at ? after : at + 1;
        } else {
            ++at;
        }
    }
    return size;
}

} // namespace

bool changesSchema(const QString &statement)
{
    // Each statement of the text, when several are sent at once.
    for (qsizetype at = 0; at < statement.size(); at = statementEnd(statement, at) + 1) {
        const qsizetype start = afterBlanksAndComments(statement, at);
        qsizetype end = start;
        while (end < statement.size() && statement[end].isLetter())
            ++end;
        const QString word = statement.mid(start, end - start).toUpper();
        if (word == u"CREATE" || word == u"ALTER" || word == u"DROP" || word == u"RENAME")
            return true;
        at = end;
    }
    return false;
}

QString sqlTextLiteral(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    if (utf8.isEmpty())
        return QStringLiteral("''");
    return QStringLiteral("CONVERT(X'%1' USING utf8mb4)").arg(QString::fromLatin1(utf8.toHex()));
}

CompletionWord completionWord(const QString &text, qsizetype caret)
{
    CompletionWord word;
    caret = std::clamp<qsizetype>(caret, 0, text.size());
    qsizetype start = caret;
    while (start > 0 && isNameCharacter(text[start - 1]))
        --start;
    word.prefix = text.mid(start, caret - start);
    word.start = start;
    if (start > 0 && text[start - 1] == u'`')
        word.start = --start; // "`na": the backtick is replaced with the name, quoted as needed
    if (start == 0 || text[start - 1] != u'.')
        return word;
    // The name before the ".": a plain word, or one between backticks.
    qsizetype end = start - 1;
    if (end > 0 && text[end - 1] == u'`') {
        qsizetype open = end - 1;
        while (open > 0 && !(text[open - 1] == u'`' && (open < 2 || text[open - 2] != u'`')))
            --open;
        if (open > 0)
            word.qualifier = text.mid(open, end - 1 - open).replace(QStringLiteral("``"), QStringLiteral("`"));
        return word;
    }
    qsizetype from = end;
    while (from > 0 && isNameCharacter(text[from - 1]))
        --from;
    word.qualifier = text.mid(from, end - from);
    return word;
}

QStringList namesStartingWith(const QStringList &names, const QString &prefix, int limit)
{
    QStringList found;
    for (const QString &name : names) {
        if (found.size() >= limit)
            break;
        if (name.size() > prefix.size() && name.startsWith(prefix, Qt::CaseInsensitive))
            found.append(name);
        else if (name.size() == prefix.size() && name.compare(prefix, Qt::CaseInsensitive) == 0 && name != prefix)
            found.append(name); // "select" completes to "SELECT"
    }
    return found;
}

namespace {

/** Where the quoted piece opened by `text[at]` ends, past its closing quote (or the end). */
qsizetype quotedEnd(QStringView text, qsizetype at)
{
    const QChar quote = text[at];
    const qsizetype size = text.size();
    for (++at; at < size; ++at) {
        if (text[at] == u'\\' && quote != u'`') {
            ++at;
        } else if (text[at] == quote) {
            if (at + 1 < size && text[at + 1] == quote)
                ++at; // doubled: one quote inside
            else
                return at + 1;
        }
    }
    return size;
}

bool isKeyword(QStringView word)
{
    static const QSet<QString> keywords(sqlKeywords().begin(), sqlKeywords().end());
    if (word.size() > 16)
        return false;
    return keywords.contains(word.toString().toUpper());
}

} // namespace

std::vector<SqlToken> sqlTokens(QStringView text)
{
    std::vector<SqlToken> tokens;
    const qsizetype size = text.size();
    qsizetype at = 0;
    while (at < size) {
        const QChar c = text[at];
        const qsizetype start = at;
        SqlTokenKind kind;
        if (c == u'\'' || c == u'"' || c == u'`') {
            at = quotedEnd(text, at);
            kind = c == u'`' ? SqlTokenKind::Identifier : SqlTokenKind::String;
        } else if (c == u'#' || (c == u'-' && text.mid(at, 2) == u"--" && (at + 2 >= size || text[at + 2].isSpace()))) {
            const qsizetype end = text.indexOf(u'\n', at);
            at = end < 0 ? size : end;
            kind = SqlTokenKind::Comment;
        } else if (c == u'/' && at + 1 < size && text[at + 1] == u'*') {
            const qsizetype end = text.indexOf(u"*/", at + 2);
            at = end < 0 ? size : end + 2;
            kind = SqlTokenKind::Comment;
        } else if (c.isDigit() || (c == u'.' && at + 1 < size && text[at + 1].isDigit())) {
            // 12, 1.5, .5, 1e-3, 0x1F.
            const auto digit = [&](qsizetype i, bool hex) {
                return i < size && (text[i].isDigit() || (hex && QStringView(u"abcdefABCDEF").contains(text[i])));
            };
            if (c == u'0' && at + 1 < size && (text[at + 1] == u'x' || text[at + 1] == u'X')) {
                at += 2;
                while (digit(at, true))
                    ++at;
            } else {
                while (digit(at, false) || (at < size && text[at] == u'.'))
                    ++at;
                qsizetype exponent = at + 1;
                if (at < size && (text[at] == u'e' || text[at] == u'E')) {
                    if (exponent < size && (text[exponent] == u'+' || text[exponent] == u'-'))
                        ++exponent;
                    if (digit(exponent, false)) {
                        at = exponent;
                        while (digit(at, false))
                            ++at;
                    }
                }
            }
            kind = SqlTokenKind::Number;
            if (at < size && isNameCharacter(text[at])) { // digits running into letters make a name (1abc)
                while (at < size && isNameCharacter(text[at]))
                    ++at;
                kind = SqlTokenKind::Identifier;
            }
        } else if (isNameCharacter(c)) {
            while (at < size && isNameCharacter(text[at]))
                ++at;
            kind = isKeyword(text.mid(start, at - start)) ? SqlTokenKind::Keyword : SqlTokenKind::Identifier;
        } else {
            ++at;
            continue;
        }
        tokens.push_back({start, at - start, kind});
    }
    return tokens;
}
