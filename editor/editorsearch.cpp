#include "editor/editorsearch.h"

#include "editor/richedit.h"

#include <algorithm>

EditorSearch::EditorSearch(RichEdit &edit)
    : m_edit(edit)
{
}

FindRequest EditorSearch::request(FindRequest::Kind kind, const QString &text, const QString &replacement,
                                  const Options &options) const
{
    FindRequest request;
    request.kind = kind;
    request.text = m_edit.wholeText();
    request.utf8 = m_edit.textIsUtf8();
    request.windows1252File = m_edit.isWindows1252();
    request.pattern = text;
    request.replacement = replacement;
    request.matchCase = options.matchCase;
    request.wholeWord = options.wholeWord;
    request.regex = options.regex;
    request.selStart = m_edit.selStart();
    request.selEnd = request.selStart + m_edit.selLength();
    return request;
}

bool EditorSearch::holdsText(const QByteArray &text) const
{
    return m_edit.textLength() == text.size()
           && m_edit.range(0, text.size()) == std::string_view(text.constData(), size_t(text.size()));
}

bool EditorSearch::applyFound(const FindRequest &request, const FindResult &result)
{
    if (result.outcome != FindResult::Outcome::Found)
        return true;
    if (!holdsText(request.text))
        return false;
    if (request.kind == FindRequest::Kind::ReplaceAll || request.kind == FindRequest::Kind::ReplaceSelected) {
        m_edit.SendScintilla(QsciScintillaBase::SCI_BEGINUNDOACTION);
        replaceSpan(result.replaced, result.span);
        m_edit.SendScintilla(QsciScintillaBase::SCI_ENDUNDOACTION);
    }
    if (result.matchStart >= 0) {
        m_edit.SendScintilla(QsciScintillaBase::SCI_SETSEL, static_cast<unsigned long>(result.matchStart),
                             static_cast<long>(result.matchEnd));
        m_edit.SendScintilla(QsciScintillaBase::SCI_CHOOSECARETX);
    } else if (request.kind == FindRequest::Kind::ReplaceSelected) {
        const qsizetype after = result.replaced.front().start + result.replaced.front().length;
        m_edit.SendScintilla(QsciScintillaBase::SCI_SETSEL, static_cast<unsigned long>(after), static_cast<long>(after));
    }
    return true;
}

FindResult EditorSearch::findNow(FindRequest::Kind kind, const QString &text, const QString &replacement,
                                 const Options &options)
{
    const FindRequest asked = request(kind, text, replacement, options);
    FindProgress progress;
    const FindResult result = runFind(asked, progress);
    applyFound(asked, result);
    return result;
}

bool EditorSearch::findMatch(const QString &text, const Options &options, bool backwards)
{
    const auto kind = backwards ? FindRequest::Kind::Previous : FindRequest::Kind::Next;
    return findNow(kind, text, {}, options).matchStart >= 0;
}

qsizetype EditorSearch::replaceAll(const QString &text, const QString &replacement, const Options &options)
{
    return qsizetype(findNow(FindRequest::Kind::ReplaceAll, text, replacement, options).replaced.size());
}

// One replacement of the span from the first match to the end of the last: the
// control then records one change, whatever the number of matches. The bytes
// between the matches keep their colours; the replacements, like typed text, have none.
void EditorSearch::replaceSpan(const std::vector<FindResult::Replaced> &replaced, const QByteArray &bytes)
{
    m_edit.colours()->finishColours(); // the styles are read before the text changes
    const qsizetype first = replaced.front().start;
    const qsizetype last = replaced.back().end;
    std::vector<char> pairs(static_cast<size_t>(2 * (last - first) + 2)); // (byte, style) pairs
    m_edit.SendScintilla(QsciScintillaBase::SCI_GETSTYLEDTEXT, static_cast<long>(first), static_cast<long>(last), pairs.data());
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
    m_edit.SendScintilla(QsciScintillaBase::SCI_SETTARGETRANGE, static_cast<unsigned long>(first), static_cast<long>(last));
    m_edit.SendScintilla(QsciScintillaBase::SCI_REPLACETARGET, static_cast<uintptr_t>(bytes.size()), bytes.constData());
    if (!bytes.isEmpty())
        m_edit.colours()->writeStyles(first, bytes.size(), styles.data());
}
