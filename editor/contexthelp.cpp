#include "editor/contexthelp.h"

QByteArray functionWord(const QByteArray &line, qsizetype x)
{
    // 1-based positions as in L[k]: L[x] is the character just before the caret.
    if (x <= 1 || x > line.size() || line[x - 1] != '(')
        return {};
    qsizetype i = x - 1;
    auto isStop = [](char c) { return c == ' ' || c == '(' || c == '.' || c == '/' || c == '='; };
    while (i > 0 && !isStop(line[i - 1]))
        --i;
    return line.mid(i, x - i);
}

QStringList helpPageCandidates(const QString &prefix, const QString &name)
{
    QString hyphenated = name;
    hyphenated.replace(QLatin1Char('_'), QLatin1Char('-'));
    return {prefix + QStringLiteral("function.") + hyphenated + QStringLiteral(".html"),
            prefix + QStringLiteral("manuel_function.") + hyphenated + QStringLiteral(".html")};
}

QString firstLineContaining(const QString &list, const QString &word)
{
    // The first occurrence lies on the first line holding the word: a word never spans lines.
    const qsizetype at = list.indexOf(word);
    if (at < 0)
        return {};
    // lastIndexOf with a start of -1 would search from the end of the list: a word at
    // the very start lies on the first line.
    const qsizetype start = at == 0 ? 0 : list.lastIndexOf(QLatin1Char('\n'), at - 1) + 1;
    qsizetype end = list.indexOf(QLatin1Char('\n'), at);
    if (end < 0)
        end = list.size();
    return list.mid(start, end - start);
}
