// Find and replace in the editor: a request carries a copy of the bytes to the
// find bar's task (editor/findtask.h), and its result comes back here, applied
// only to the text it was worked out on.
#include "editor/richedit.h"

#include "editor/findtask.h"
#include "editor/textsearch.h"

#include <algorithm>

QByteArray RichEdit::encode(const QString &text) const
{
    return textIsUtf8() ? text.toUtf8() : encodeWindows1252(text);
}

FindRequest RichEdit::findRequest(FindRequest::Kind kind, const QString &text, const QString &replacement,
                                  const SearchOptions &options) const
{
    FindRequest request;
    request.kind = kind;
    const std::string_view bytes = range(0, textLength());
    request.text = QByteArray(bytes.data(), qsizetype(bytes.size()));
    request.utf8 = textIsUtf8();
    request.windows1252File = isWindows1252();
    request.pattern = text;
    request.replacement = replacement;
    request.matchCase = options.matchCase;
    request.wholeWord = options.wholeWord;
    request.regex = options.regex;
    request.selStart = selStart();
    request.selEnd = request.selStart + selLength();
    return request;
}

bool RichEdit::holdsText(const QByteArray &text) const
{
    return textLength() == text.size() && range(0, text.size()) == std::string_view(text.constData(), size_t(text.size()));
}

bool RichEdit::applyFound(const FindRequest &request, const FindResult &result)
{
    if (result.outcome != FindResult::Outcome::Found)
        return true;
    if (!holdsText(request.text))
        return false;
    if (request.kind == FindRequest::Kind::ReplaceAll || request.kind == FindRequest::Kind::ReplaceSelected) {
        SendScintilla(SCI_BEGINUNDOACTION);
        replaceSpan(result.replaced, result.span);
        SendScintilla(SCI_ENDUNDOACTION);
    }
    if (result.matchStart >= 0) {
        SendScintilla(SCI_SETSEL, static_cast<unsigned long>(result.matchStart), static_cast<long>(result.matchEnd));
        SendScintilla(SCI_CHOOSECARETX);
    } else if (request.kind == FindRequest::Kind::ReplaceSelected) {
        const qsizetype after = result.replaced.front().start + result.replaced.front().length;
        SendScintilla(SCI_SETSEL, static_cast<unsigned long>(after), static_cast<long>(after));
    }
    return true;
}

FindResult RichEdit::findNow(FindRequest::Kind kind, const QString &text, const QString &replacement,
                             const SearchOptions &options)
{
    const FindRequest request = findRequest(kind, text, replacement, options);
    FindProgress progress;
    const FindResult result = runFind(request, progress);
    applyFound(request, result);
    return result;
}

bool RichEdit::findMatch(const QString &text, const SearchOptions &options, bool backwards)
{
    const auto kind = backwards ? FindRequest::Kind::Previous : FindRequest::Kind::Next;
    return findNow(kind, text, {}, options).matchStart >= 0;
}

qsizetype RichEdit::replaceAll(const QString &text, const QString &replacement, const SearchOptions &options)
{
    return qsizetype(findNow(FindRequest::Kind::ReplaceAll, text, replacement, options).replaced.size());
}

// One replacement of the span from the first match to the end of the last: the
// control then records one change, whatever the number of matches. The bytes
// between the matches keep their colours; the replacements, like typed text, have none.
void RichEdit::replaceSpan(const std::vector<FindResult::Replaced> &replaced, const QByteArray &bytes)
{
    finishColours(); // the styles are read before the text changes
    const qsizetype first = replaced.front().start;
    const qsizetype last = replaced.back().end;
    std::vector<char> pairs(static_cast<size_t>(2 * (last - first) + 2)); // (byte, style) pairs
    SendScintilla(SCI_GETSTYLEDTEXT, static_cast<long>(first), static_cast<long>(last), pairs.data());
    std::vector<char> styles(static_cast<size_t>(bytes.size()));
    qsizetype out = 0;
    qsizetype from = first;
    for (const FindResult::Replaced &r : replaced) {
        for (qsizetype p = from; p < r.start; ++p, ++out) // the bytes between two matches keep their styles
            styles[static_cast<size_t>(out)] = pairs[static_cast<size_t>(2 * (p - first) + 1)];
        std::fill_n(styles.begin() + out, r.length, char(0));
        out += r.length;
        from = r.end;
    }
    SendScintilla(SCI_SETTARGETRANGE, static_cast<unsigned long>(first), static_cast<long>(last));
    SendScintilla(SCI_REPLACETARGET, static_cast<uintptr_t>(bytes.size()), bytes.constData());
    if (!bytes.isEmpty())
        writeStyles(first, bytes.size(), styles.data());
}
