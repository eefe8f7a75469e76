// Find and replace in the editor. Plain text is searched in the control's own bytes
// (memchr-driven, no copy); regular expressions and letter-case folding beyond ASCII
// use the control's search.
#include "editor/richedit.h"

#include "editor/textsearch.h"

#include <algorithm>

namespace {

int scintillaFlags(const RichEdit::SearchOptions &options)
{
    int flags = 0;
    if (options.matchCase)
        flags |= QsciScintillaBase::SCFIND_MATCHCASE;
    if (options.wholeWord)
        flags |= QsciScintillaBase::SCFIND_WHOLEWORD;
    if (options.regex)
        flags |= QsciScintillaBase::SCFIND_REGEXP | QsciScintillaBase::SCFIND_CXX11REGEX;
    return flags;
}

} // namespace

QByteArray RichEdit::encode(const QString &text) const
{
    return textIsUtf8() ? text.toUtf8() : encodeWindows1252(text);
}

RichEdit::Match RichEdit::searchFrom(const QByteArray &needle, const SearchOptions &options, qsizetype from,
                                     bool backwards)
{
    const qsizetype length = textLength();
    const TextSearch plain{needle, options.matchCase, options.wholeWord};
    if (!options.regex && plain.bytewise()) {
        const std::string_view text = range(0, length);
        const qsizetype at = backwards ? plain.previous(text, from) : plain.next(text, from);
        return at < 0 ? Match{} : Match{at, at + needle.size()};
    }
    // The control's search: forwards from `from` to the end, or backwards from `from` to 0.
    SendScintilla(SCI_SETSEARCHFLAGS, static_cast<unsigned long>(scintillaFlags(options)));
    SendScintilla(SCI_SETTARGETRANGE, static_cast<unsigned long>(from), static_cast<long>(backwards ? 0 : length));
    const long at = SendScintilla(SCI_SEARCHINTARGET, static_cast<uintptr_t>(needle.size()), needle.constData());
    if (at < 0)
        return {};
    return {at, SendScintilla(SCI_GETTARGETEND)};
}

bool RichEdit::findMatch(const QString &text, const SearchOptions &options, bool backwards)
{
    const QByteArray needle = encode(text);
    if (needle.isEmpty())
        return false;
    const qsizetype start = selStart();
    const qsizetype end = start + selLength();
    // From just past the selection, then once round the end of the text.
    Match match = backwards ? searchFrom(needle, options, start, true) : searchFrom(needle, options, end, false);
    if (match.start < 0)
        match = backwards ? searchFrom(needle, options, textLength(), true) : searchFrom(needle, options, 0, false);
    if (match.start < 0)
        return false;
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(match.start), static_cast<long>(match.end));
    SendScintilla(SCI_CHOOSECARETX);
    return true;
}

bool RichEdit::replaceSelectedMatch(const QString &text, const QString &replacement, const SearchOptions &options)
{
    const QByteArray needle = encode(text);
    const qsizetype start = selStart();
    const qsizetype end = start + selLength();
    if (needle.isEmpty() || end == start)
        return false;
    const Match match = searchFrom(needle, options, start, false);
    if (match.start != start || match.end != end)
        return false;
    const QByteArray with = encode(replacement);
    SendScintilla(SCI_SETTARGETRANGE, static_cast<unsigned long>(start), static_cast<long>(end));
    const long written = SendScintilla(options.regex ? SCI_REPLACETARGETRE : SCI_REPLACETARGET,
                                       static_cast<uintptr_t>(with.size()), with.constData());
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(start + written), static_cast<long>(start + written));
    return true;
}

qsizetype RichEdit::replaceAll(const QString &text, const QString &replacement, const SearchOptions &options)
{
    const QByteArray needle = encode(text);
    if (needle.isEmpty())
        return 0;
    const QByteArray with = encode(replacement);
    qsizetype count = 0;
    SendScintilla(SCI_BEGINUNDOACTION);
    const TextSearch plain{needle, options.matchCase, options.wholeWord};
    if (!options.regex && plain.bytewise()) {
        const std::vector<qsizetype> matches = plain.all(range(0, textLength()));
        if (!matches.empty())
            replaceSpan(matches, needle.size(), with);
        count = static_cast<qsizetype>(matches.size());
    } else {
        qsizetype from = 0;
        for (Match m = searchFrom(needle, options, from, false); m.start >= 0;
             m = searchFrom(needle, options, from, false)) {
            SendScintilla(SCI_SETTARGETRANGE, static_cast<unsigned long>(m.start), static_cast<long>(m.end));
            const long written = SendScintilla(options.regex ? SCI_REPLACETARGETRE : SCI_REPLACETARGET,
                                               static_cast<uintptr_t>(with.size()), with.constData());
            ++count;
            from = m.start + written + (m.end == m.start ? 1 : 0); // an empty match moves on by one
            if (from > textLength())
                break;
        }
    }
    SendScintilla(SCI_ENDUNDOACTION);
    return count;
}

// One replacement of the span from the first match to the end of the last: the
// control then records one change, whatever the number of matches. The bytes
// between the matches keep their colours; the replacements, like typed text, have none.
void RichEdit::replaceSpan(const std::vector<qsizetype> &matches, qsizetype length, const QByteArray &with)
{
    const qsizetype first = matches.front();
    const qsizetype last = matches.back() + length;
    std::vector<char> pairs(static_cast<size_t>(2 * (last - first) + 2)); // (byte, style) pairs
    SendScintilla(SCI_GETSTYLEDTEXT, static_cast<long>(first), static_cast<long>(last), pairs.data());
    const qsizetype size = (last - first) + qsizetype(matches.size()) * (with.size() - length);
    QByteArray bytes(size, Qt::Uninitialized);
    std::vector<char> styles(static_cast<size_t>(size));
    qsizetype out = 0;
    qsizetype from = first;
    auto keep = [&](qsizetype to) { // the bytes between two matches, with their styles
        for (qsizetype p = from; p < to; ++p, ++out) {
            bytes[out] = pairs[static_cast<size_t>(2 * (p - first))];
            styles[static_cast<size_t>(out)] = pairs[static_cast<size_t>(2 * (p - first) + 1)];
        }
    };
    for (qsizetype at : matches) {
        keep(at);
        std::copy(with.cbegin(), with.cend(), bytes.begin() + out);
        std::fill_n(styles.begin() + out, with.size(), char(0));
        out += with.size();
        from = at + length;
    }
    SendScintilla(SCI_SETTARGETRANGE, static_cast<unsigned long>(first), static_cast<long>(last));
    SendScintilla(SCI_REPLACETARGET, static_cast<uintptr_t>(bytes.size()), bytes.constData());
    if (size > 0) {
        writeStyles(first, size, styles.data());
    }
}
