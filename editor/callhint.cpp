#include "editor/callhint.h"

#include "editor/phpbrackets.h"

#include <vector>

namespace {

struct Open
{
    QChar bracket; // '(' '[' or '{'
    qsizetype at;
    int commas;
};

/** The hint's word for the "(" at `open`: back to a space, "(", ".", "/", "=" or the start. */
QString wordBefore(const QString &line, qsizetype open)
{
    qsizetype i = open;
    auto isStop = [](QChar c) {
        return c == u' ' || c == u'(' || c == u'.' || c == u'/' || c == u'=' || c == u'\n' || c == u'\r' || c == u'\t';
    };
    while (i > 0 && !isStop(line[i - 1]))
        --i;
    return line.mid(i, open + 1 - i);
}

/** The spans [from, to) of the top-level parameters of `signature`'s list, and where the list closes. */
std::vector<std::pair<qsizetype, qsizetype>> parameterSpans(const QString &signature)
{
    std::vector<std::pair<qsizetype, qsizetype>> spans;
    const qsizetype open = signature.indexOf(u'(');
    if (open < 0)
        return spans;
    qsizetype from = open + 1;
    PhpBracketScanner scan(signature, open + 1, u"([{", u")]}");
    while (scan.next()) {
        const QChar c = scan.character();
        const qsizetype i = scan.at();
        if (scan.kind() != PhpBracketScanner::Kind::Other)
            continue;
        if (c == u')' || (c == u',' && scan.depth() == 0)) {
            while (from < i && signature[from] == u' ')
                ++from;
            if (i > from || c == u',')
                spans.emplace_back(from, i);
            if (c == u')')
                break;
            from = i + 1;
        }
    }
    return spans;
}

} // namespace

namespace {

/** What a scan of a line up to the caret finds: the brackets still open, and where the caret stands. */
struct LineScan
{
    std::vector<Open> open;
    bool inString = false;
    bool inComment = false;
};

LineScan scanLine(const QString &beforeCaret)
{
    LineScan scan;
    QChar quote;
    bool lineComment = false, blockComment = false;
    const qsizetype size = beforeCaret.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = beforeCaret[i];
        const QChar next = i + 1 < size ? beforeCaret[i + 1] : QChar();
        if (lineComment) {
            lineComment = c != u'\n'; // a comment of a line above ends with it
            continue;
        }
        if (blockComment) {
            if (c == u'*' && next == u'/') {
                blockComment = false;
                ++i;
            }
            continue;
        }
        if (!quote.isNull()) {
            if (c == u'\\')
                ++i;
            else if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == u'\'' || c == u'"') {
            quote = c;
        } else if (c == u'#' || (c == u'/' && next == u'/')) {
            lineComment = true;
        } else if (c == u'/' && next == u'*') {
            blockComment = true;
            ++i;
        } else if (c == u'(' || c == u'[' || c == u'{') {
            scan.open.push_back({c, i, 0});
        } else if (c == u')' || c == u']' || c == u'}') {
            if (!scan.open.empty())
                scan.open.pop_back();
        } else if (c == u',' && !scan.open.empty()) {
            ++scan.open.back().commas;
        }
    }
    scan.inString = !quote.isNull();
    scan.inComment = lineComment || blockComment;
    return scan;
}

} // namespace

CallAtCaret callAtCaret(const QString &beforeCaret)
{
    const LineScan scan = scanLine(beforeCaret);
    if (scan.inComment || scan.open.empty() || scan.open.back().bracket != u'(')
        return {};
    const QString word = wordBefore(beforeCaret, scan.open.back().at);
    if (word.size() < 2) // "(" alone: a bracket of an expression, not a call
        return {};
    return {word, scan.open.back().commas};
}

bool inStringOrComment(const QString &beforeCaret)
{
    const LineScan scan = scanLine(beforeCaret);
    return scan.inString || scan.inComment;
}

QString signatureWithParameter(const QString &signature, int index)
{
    const auto spans = parameterSpans(signature);
    if (index < 0 || spans.empty())
        return signature.toHtmlEscaped();
    if (index >= int(spans.size())) {
        const auto &last = spans.back();
        if (!signature.mid(last.first, last.second - last.first).contains(QStringLiteral("...")))
            return signature.toHtmlEscaped();
        index = int(spans.size()) - 1;
    }
    const auto [from, to] = spans[size_t(index)];
    return signature.left(from).toHtmlEscaped() + QStringLiteral("<b>") + signature.mid(from, to - from).toHtmlEscaped()
           + QStringLiteral("</b>") + signature.mid(to).toHtmlEscaped();
}

QStringList signatureParameters(const QString &signature)
{
    QStringList parameters;
    for (const auto &[from, to] : parameterSpans(signature))
        parameters.append(signature.mid(from, to - from).trimmed());
    return parameters;
}

QString signatureReturnType(const QString &signature)
{
    const auto spans = parameterSpans(signature);
    const qsizetype open = signature.indexOf(u'(');
    if (open < 0)
        return {};
    // The ")" that closes the list: after the last parameter, or the first one after "(" when there is none.
    const qsizetype close = signature.indexOf(u')', spans.empty() ? open : spans.back().second);
    if (close < 0 || !QStringView(signature).mid(close + 1).startsWith(QLatin1String(": ")))
        return {};
    qsizetype end = signature.indexOf(QStringLiteral(" — "), close);
    return signature.mid(close + 3, (end < 0 ? signature.size() : end) - close - 3).trimmed();
}
