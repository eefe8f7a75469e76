#include "editor/completion.h"

#include "editor/phpbrackets.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>

bool isPhpNameCharacter(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c.unicode() >= 0x80;
}

namespace {

bool lessNoCase(const CompletionEntry &a, const CompletionEntry &b)
{
    return QString::compare(a.name, b.name, Qt::CaseInsensitive) < 0;
}

/** The definition's parameters and return type: from the "(" at `open` to the ")" closing it, and ": type". */
QString definitionTail(const QString &text, qsizetype open)
{
    constexpr qsizetype kMaxDefinition = 2000;
    PhpBracketScanner scan(text, open, u"([", u")]");
    bool closed = false;
    while (!closed && scan.next() && scan.at() - open < kMaxDefinition)
        closed = scan.kind() == PhpBracketScanner::Kind::Closing && scan.depth() == 0;
    if (!closed)
        return {};
    const qsizetype i = scan.at();
    QString tail = text.mid(open, i + 1 - open).simplified();
    static const QRegularExpression returnType(QStringLiteral(R"(\G\s*:\s*([?\\\w|&()]+))"));
    const QRegularExpressionMatch type = returnType.match(text, i + 1);
    if (type.hasMatch())
        tail += QStringLiteral(": ") + type.captured(1);
    return tail;
}

/** The first line of text of the doc comment that ends just before `at` (blanks between), or null. */
QString docCommentBefore(const QString &text, qsizetype at)
{
    qsizetype end = at;
    while (end > 0 && text[end - 1].isSpace())
        --end;
    if (end < 2 || text[end - 1] != u'/' || text[end - 2] != u'*')
        return {};
    // The opening of that very comment: an earlier doc comment must not stand in for it.
    const qsizetype start = end >= 3 ? text.lastIndexOf(QStringLiteral("/*"), end - 3) : -1;
    if (start < 0 || !QStringView(text).mid(start).startsWith(QLatin1String("/**")) || start + 3 > end - 2)
        return {};
    const QStringList lines = text.mid(start + 3, end - 2 - start - 3).split(u'\n');
    for (QString line : lines) {
        line = line.trimmed();
        while (line.startsWith(u'*'))
            line = line.mid(1).trimmed();
        if (!line.isEmpty() && !line.startsWith(u'@'))
            return line;
    }
    return {};
}

} // namespace

void CompletionIndex::addKeywordList(const QString &list)
{
    for (QStringView line : QStringView(list).split(u'\n')) {
        qsizetype end = 0;
        while (end < line.size() && isPhpNameCharacter(line[end]))
            ++end;
        if (end == 0 || line[0].isDigit())
            continue;
        const QStringView rest = line.mid(end);
        if (!rest.startsWith(u'(') && !rest.startsWith(QLatin1String(" = ")))
            continue;
        const QString shown = line.trimmed().toString();
        m_entries.push_back({line.left(end).toString(), shown});
    }
}

void CompletionIndex::addPhpKeywords()
{
    static const char *const words[] = {
        "abstract", "and", "array", "as", "break", "callable", "case", "catch", "class", "clone", "const",
        "continue", "declare", "default", "do", "echo", "else", "elseif", "empty", "enddeclare", "endfor",
        "endforeach", "endif", "endswitch", "endwhile", "enum", "extends", "false", "final", "finally", "fn",
        "for", "foreach", "function", "global", "goto", "if", "implements", "include", "include_once",
        "instanceof", "insteadof", "interface", "isset", "list", "match", "namespace", "new", "null", "or",
        "parent", "print", "private", "protected", "public", "readonly", "require", "require_once", "return",
        "self", "static", "switch", "throw", "trait", "true", "try", "unset", "use", "var", "while", "xor",
        "yield"};
    for (const char *word : words)
        m_entries.push_back({QString::fromLatin1(word), QString::fromLatin1(word)});
}

void CompletionIndex::addNamesOf(const QString &text)
{
    static const QRegularExpression function(QStringLiteral(R"(\bfunction\s+&?\s*([A-Za-z_\x{80}-\x{10FFFF}][\w\x{80}-\x{10FFFF}]*)\s*\()"),
                                             QRegularExpression::CaseInsensitiveOption);
    for (auto it = function.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString tail = definitionTail(text, m.capturedEnd() - 1);
        const QString doc = docCommentBefore(text, m.capturedStart());
        QString shown = m.captured(1) + tail;
        if (!doc.isEmpty())
            shown += QStringLiteral(" — ") + doc;
        m_entries.push_back({m.captured(1), shown});
    }
    // "$" and a name that does not start with a digit. A variable comes back many times in
    // a text: each is added once, before the sort. Read by hand: the text is read again
    // when the caret goes to another line, and a regular expression's matches cost most.
    QSet<QString> seen;
    const qsizetype size = text.size();
    for (qsizetype at = text.indexOf(u'$'); at >= 0 && at < size; at = text.indexOf(u'$', at)) {
        qsizetype end = at + 1;
        if (end < size && isPhpNameCharacter(text[end]) && !text[end].isDigit()) {
            while (end < size && isPhpNameCharacter(text[end]))
                ++end;
            const QString name = text.mid(at, end - at);
            if (!seen.contains(name)) {
                seen.insert(name);
                m_entries.push_back({name, name});
            }
        }
        at = end;
    }
}

void CompletionIndex::finish()
{
    std::stable_sort(m_entries.begin(), m_entries.end(), lessNoCase);
    const auto equal = [](const CompletionEntry &a, const CompletionEntry &b) {
        return QString::compare(a.name, b.name, Qt::CaseInsensitive) == 0 && (a.name == b.name || !a.name.startsWith(u'$'));
    };
    m_entries.erase(std::unique(m_entries.begin(), m_entries.end(), equal), m_entries.end());
}

std::vector<const CompletionEntry *> CompletionIndex::matching(const QString &prefix) const
{
    const auto first = std::lower_bound(m_entries.begin(), m_entries.end(), prefix, [](const CompletionEntry &e, const QString &p) {
        return QString::compare(e.name, p, Qt::CaseInsensitive) < 0;
    });
    std::vector<const CompletionEntry *> found;
    for (auto it = first; it != m_entries.end() && it->name.startsWith(prefix, Qt::CaseInsensitive); ++it)
        found.push_back(&*it);
    return found;
}

QString nameBeforeCaret(const QString &beforeCaret)
{
    qsizetype start = beforeCaret.size();
    while (start > 0 && isPhpNameCharacter(beforeCaret[start - 1]))
        --start;
    if (start > 0 && beforeCaret[start - 1] == u'$')
        --start;
    return beforeCaret.mid(start);
}

QString definitionSignature(const QString &text, const QString &name)
{
    const QRegularExpression definition(QStringLiteral(R"(\bfunction\s+&?\s*%1\s*\()").arg(QRegularExpression::escape(name)),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = definition.match(text);
    if (!m.hasMatch())
        return {};
    const QString tail = definitionTail(text, m.capturedEnd() - 1);
    if (tail.isEmpty())
        return {};
    const QString doc = docCommentBefore(text, m.capturedStart());
    return name + tail + (doc.isEmpty() ? QString() : QStringLiteral(" — ") + doc);
}
