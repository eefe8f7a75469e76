// CSS in the <style> blocks of a page, for "Coloration PHP". The control's lexer for
// HTML with PHP leaves a style block's text in its plain style, and one text has one
// lexer; so Ondrel scans that CSS itself and draws it through an indicator that gives
// each range of bytes a text colour of its own, from the lexer's palette.
//
// Like the lexer, it does only what is shown and what changed: when a paint is about
// to draw lines whose CSS colours are not known to be right, the style blocks among
// them are scanned from the nearest state of the scanner kept inside the block. This
// happens inside the paint (the control announces its update there, after lexing what
// it draws), so the colours need no second paint.
//
// The lexer's styles say what is CSS: in a block, the bytes in the plain style and
// those of an HTML comment; PHP code inside it keeps its own colours. A block opens and
// closes only at "<style" and "</style" that the lexer made tags of, never at the same
// letters inside a PHP string.
#include "editor/phplexing.h"

#include "editor/richedit.h"

#include <Qsci/qscilexerhtml.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

using Html = QsciLexerHTML;

constexpr qsizetype kStateSpacing = 1024;  // bytes between two kept states of the scanner: a key rescans about half of it
constexpr qsizetype kTagWindow = 8;        // bytes that tell a style tag: "</style" and one more
constexpr qsizetype kTagEndReach = 4096;   // how far an opening tag's ">" is looked for
constexpr qsizetype kDrawnLimit = 256 * 1024; // bytes whose indicator values are kept in step

enum class TagKind { None, Opening, Closing };

/** What the bytes at `p` (`available` of them readable) start: "<style" or "</style", as a whole tag name. */
TagKind styleTagAt(const char *p, qsizetype available)
{
    if (available < 2 || p[0] != '<')
        return TagKind::None;
    const qsizetype name = p[1] == '/' ? 2 : 1;
    if (available < name + 6)
        return TagKind::None;
    for (int i = 0; i < 5; ++i)
        if ((p[name + i] | 0x20) != "style"[i])
            return TagKind::None;
    const char after = p[name + 5];
    if (after != '>' && after != '/' && after != ' ' && after != '\t' && after != '\r' && after != '\n')
        return TagKind::None;
    return name == 2 ? TagKind::Closing : TagKind::Opening;
}

/** A style of the lexer whose bytes are CSS inside a style block. */
bool isCssStyle(int style)
{
    return style == Html::Default || style == Html::HTMLComment;
}

} // namespace

void PhpLexing::dropCssColours()
{
    m_edit.SendScintilla(QsciScintillaBase::SCI_SETINDICATORCURRENT, kCssIndicator);
    m_edit.SendScintilla(QsciScintillaBase::SCI_INDICATORCLEARRANGE, 0UL, static_cast<long>(m_edit.textLength()));
    m_css.tags.clear();
    m_css.indexedTo = 0;
    m_css.right = {};
    m_css.states.clear();
    m_css.drawn.clear();
    for (size_t kind = 0; kind < m_css.values.size(); ++kind) {
        const PhpStyleKind paletteKind = paletteKindOf(static_cast<CssKind>(kind));
        m_css.values[kind] = paletteKind == PhpStyleKind::Plain
                                 ? 0
                                 : static_cast<std::int32_t>(phpTokenColour(paletteKind, m_edit.backgroundColour(), m_edit.textColour()) | QsciScintillaBase::SC_INDICVALUEBIT);
    }
}

void PhpLexing::refreshCss()
{
    if (!m_active)
        return;
    const ByteSpan view = m_edit.shownBytes();
    ByteSpan &right = m_css.right;
    if (right.from >= 0 && right.from <= view.from && view.to <= right.to)
        return;
    // The lexer's styles say what is CSS: they must be right up to the end of the view,
    // as the paint has them.
    const qsizetype styled = m_edit.SendScintilla(QsciScintillaBase::SCI_GETENDSTYLED);
    if (styled < view.to)
        m_edit.SendScintilla(QsciScintillaBase::SCI_COLOURISE, static_cast<unsigned long>(styled), static_cast<long>(view.to));
    // Only the part of the view not known right yet.
    ByteSpan todo = view;
    const bool meets = right.from >= 0 && right.from <= view.to && view.from <= right.to;
    if (meets && right.from <= view.from)
        todo.from = right.to;
    else if (meets && view.to <= right.to)
        todo.to = right.from;
    indexStyleTags(todo.to);
    // The component tells no one of the indicator's changes: nothing listens for them.
    const long mask = m_edit.SendScintilla(QsciScintillaBase::SCI_GETMODEVENTMASK);
    m_edit.SendScintilla(QsciScintillaBase::SCI_SETMODEVENTMASK, static_cast<unsigned long>(mask & ~QsciScintillaBase::SC_MOD_CHANGEINDICATOR));
    colourCss(todo.from, todo.to);
    m_edit.SendScintilla(QsciScintillaBase::SCI_SETMODEVENTMASK, static_cast<unsigned long>(mask));
    right = meets && (todo.from != view.from || todo.to != view.to)
                ? ByteSpan{std::min(right.from, view.from), std::max(right.to, view.to)}
                : view;
}

void PhpLexing::noteEdit(int position, int type, int length)
{
    if (!m_active || length <= 0)
        return;
    CssColours &css = m_css;
    const bool inserted = (type & QsciScintillaBase::SC_MOD_INSERTTEXT) != 0;
    noteDrawnEdit(position, length, inserted);
    // Tags whose bytes the change meets go; those after it move with the text.
    const qsizetype changedTo = inserted ? position : position + length;
    const auto first = std::lower_bound(css.tags.begin(), css.tags.end(), position - kTagWindow + 1,
                                        [](const StyleTag &tag, qsizetype at) { return tag.at < at; });
    auto last = first;
    while (last != css.tags.end() && last->at < changedTo)
        ++last;
    const auto after = css.tags.erase(first, last);
    for (auto tag = after; tag != css.tags.end(); ++tag)
        tag->at += inserted ? length : -length;
    // Tags the change made, among the bytes already looked through.
    if (css.indexedTo > position)
        css.indexedTo = inserted ? css.indexedTo + length : std::max<qsizetype>(position, css.indexedTo - length);
    const qsizetype lookFrom = std::max<qsizetype>(0, position - kTagWindow + 1);
    const qsizetype lookTo = std::min<qsizetype>(css.indexedTo, inserted ? position + length : position);
    if (lookFrom < lookTo) {
        const qsizetype readTo = std::min(m_edit.textLength(), lookTo + kTagWindow);
        const std::string_view bytes = m_edit.range(lookFrom, readTo - lookFrom);
        std::vector<StyleTag> made;
        for (qsizetype at = lookFrom; at < lookTo; ++at) {
            const TagKind kind = styleTagAt(bytes.data() + (at - lookFrom), readTo - at);
            if (kind != TagKind::None)
                made.push_back({at, kind == TagKind::Closing});
        }
        const auto where = std::lower_bound(css.tags.begin(), css.tags.end(), lookFrom,
                                            [](const StyleTag &tag, qsizetype at) { return tag.at < at; });
        css.tags.insert(where, made.begin(), made.end());
    }
    // The lexer styles again from the changed line, and the CSS after it may read otherwise.
    const qsizetype lineStart = m_edit.SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, m_edit.SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, static_cast<unsigned long>(position)));
    if (css.right.from >= lineStart)
        css.right = {};
    else if (css.right.to > lineStart)
        css.right.to = lineStart;
    css.states.erase(css.states.lower_bound(lineStart), css.states.end());
}

void PhpLexing::indexStyleTags(qsizetype to)
{
    CssColours &css = m_css;
    const qsizetype length = m_edit.textLength();
    to = std::min(to, length);
    if (css.indexedTo >= to)
        return;
    const qsizetype from = css.indexedTo;
    const qsizetype readTo = std::min(length, to + kTagWindow);
    const std::string_view bytes = m_edit.range(from, readTo - from);
    const char *const start = bytes.data();
    const char *p = start;
    const char *const end = start + (to - from);
    while ((p = static_cast<const char *>(std::memchr(p, '<', static_cast<size_t>(end - p))))) {
        const TagKind kind = styleTagAt(p, readTo - from - (p - start));
        if (kind != TagKind::None)
            css.tags.push_back({from + (p - start), kind == TagKind::Closing});
        if (++p >= end)
            break;
    }
    css.indexedTo = to;
}

bool PhpLexing::isStyleTag(qsizetype at) const
{
    const int style = static_cast<int>(m_edit.SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, static_cast<unsigned long>(at)) & 0xFF);
    return style == Html::Tag || style == Html::UnknownTag;
}

qsizetype PhpLexing::openingTagEnd(qsizetype at) const
{
    const qsizetype styled = m_edit.SendScintilla(QsciScintillaBase::SCI_GETENDSTYLED);
    const qsizetype to = std::min(styled, at + kTagEndReach);
    if (to <= at)
        return -1;
    const std::string_view bytes = m_edit.range(at, to - at);
    for (size_t i = 6; i < bytes.size(); ++i) // after "<style"
        if (bytes[i] == '>' && isStyleTag(at + static_cast<qsizetype>(i)))
            return at + static_cast<qsizetype>(i) + 1;
    return -1;
}

PhpLexing::CssBlock PhpLexing::cssBlockFrom(qsizetype at, qsizetype limit) const
{
    const std::vector<StyleTag> &tags = m_css.tags;
    const auto startingFrom = [&tags](qsizetype offset) {
        return static_cast<size_t>(std::lower_bound(tags.begin(), tags.end(), offset,
                                                    [](const StyleTag &tag, qsizetype o) { return tag.at < o; })
                                   - tags.begin());
    };
    // The block open at `at`, if the last tag up to it opens one.
    size_t next = startingFrom(at + 1);
    qsizetype start = -1;
    for (size_t i = next; i-- > 0;) {
        if (isStyleTag(tags[i].at)) {
            start = tags[i].closing ? -1 : openingTagEnd(tags[i].at);
            break;
        }
    }
    // Else the first block that opens before `limit`.
    while (start < 0 && next < tags.size() && tags[next].at < limit) {
        if (!tags[next].closing && isStyleTag(tags[next].at))
            start = openingTagEnd(tags[next].at);
        ++next;
    }
    if (start < 0 || start >= limit)
        return {-1, limit, limit};
    // It ends at its first closing tag: inside a style block, "<style" opens nothing.
    for (size_t i = startingFrom(std::max(start, at)); i < tags.size() && tags[i].at < limit; ++i)
        if (tags[i].closing && isStyleTag(tags[i].at))
            return {start, std::max(start, at), tags[i].at};
    return {start, std::max(start, at), limit};
}

void PhpLexing::colourCss(qsizetype from, qsizetype to)
{
    std::vector<std::int32_t> values; // the indicator's value for each byte of [from, to)
    values.reserve(static_cast<size_t>(to - from));
    for (qsizetype at = from; at < to;) {
        const CssBlock block = cssBlockFrom(at, to);
        values.resize(static_cast<size_t>(block.from - from), 0); // no CSS before the block
        if (block.start < 0)
            break;
        scanCssBlock(block, values);
        at = block.to > at ? block.to : at + 1;
    }
    values.resize(static_cast<size_t>(to - from), 0);
    writeCssColours(from, values);
}

void PhpLexing::scanCssBlock(const CssBlock &block, std::vector<std::int32_t> &values)
{
    // The scanner starts from the nearest state kept inside the block, or at its start.
    const auto kept = m_css.states.upper_bound(block.from);
    qsizetype at = block.start;
    CssState state;
    if (kept != m_css.states.begin() && std::prev(kept)->first >= block.start) {
        at = std::prev(kept)->first;
        state = std::prev(kept)->second;
    }
    CssScanner scanner(state);
    std::vector<char> styled, text;
    std::vector<unsigned char> styles;
    std::vector<CssKind> kinds;
    while (at < block.to) {
        if (at > block.start)
            m_css.states.insert_or_assign(at, scanner.state());
        const qsizetype pieceTo = std::min(block.to, at + kStateSpacing);
        const auto count = static_cast<size_t>(pieceTo - at);
        styled.resize(2 * count + 2);
        m_edit.SendScintilla(QsciScintillaBase::SCI_GETSTYLEDTEXT, static_cast<long>(at), static_cast<long>(pieceTo), styled.data());
        text.resize(count);
        styles.resize(count);
        for (size_t i = 0; i < count; ++i) {
            text[i] = styled[2 * i];
            styles[i] = static_cast<unsigned char>(styled[2 * i + 1]);
        }
        kinds.assign(count, CssKind::Plain);
        scanCssPiece(scanner, text, styles, kinds);
        for (size_t i = static_cast<size_t>(std::max<qsizetype>(0, block.from - at)); i < count; ++i) {
            std::int32_t value = 0;
            if (styles[i] == Html::Default)
                value = m_css.values[static_cast<size_t>(kinds[i])];
            else if (styles[i] == Html::HTMLComment) // drawn as a comment by the lexer
                value = kinds[i] == CssKind::Plain ? static_cast<std::int32_t>(m_edit.textColour() | QsciScintillaBase::SC_INDICVALUEBIT)
                                                   : m_css.values[static_cast<size_t>(kinds[i])];
            values.push_back(value);
        }
        at = pieceTo;
    }
}

void PhpLexing::scanCssPiece(CssScanner &scanner, const std::vector<char> &text, const std::vector<unsigned char> &styles,
                            std::vector<CssKind> &kinds)
{
    const size_t count = text.size();
    // What is CSS: the plain style, and the text of an HTML comment but for its "<!--" and "-->",
    // which take the kind Comment.
    const auto cssBytesAt = [&](size_t i) -> size_t { // 0: not CSS; else how many CSS bytes start there
        if (!isCssStyle(styles[i]))
            return 0;
        if (styles[i] == Html::HTMLComment) {
            for (std::string_view marker : {"<!--", "-->"})
                if (std::string_view(text.data() + i, std::min(count - i, marker.size())) == marker)
                    return 0;
        }
        return 1;
    };
    for (size_t i = 0; i < count;) {
        if (cssBytesAt(i) == 0) {
            scanner.interrupt();
            const bool marker = styles[i] == Html::HTMLComment;
            size_t skip = 1;
            if (marker)
                skip = text[i] == '<' ? 4 : 3;
            for (size_t k = i; k < std::min(count, i + skip); ++k)
                kinds[k] = marker ? CssKind::Comment : CssKind::Plain;
            i += skip;
            continue;
        }
        size_t j = i + 1;
        while (j < count && cssBytesAt(j) != 0)
            ++j;
        scanner.scan(text.data() + i, j - i, kinds.data() + i);
        i = j;
    }
}

void PhpLexing::writeCssColours(qsizetype from, const std::vector<std::int32_t> &values)
{
    // Written only where the indicator holds another value: after a key, the control
    // has moved the values of the rest of the view along with the text already.
    std::vector<std::int32_t> &drawn = m_css.drawn;
    const auto to = from + static_cast<qsizetype>(values.size());
    const auto valueAt = [&](qsizetype at) { return values[static_cast<size_t>(at - from)]; };
    const auto drawnAt = [&](qsizetype at) {
        const qsizetype k = at - m_css.drawnFrom;
        return k >= 0 && k < static_cast<qsizetype>(drawn.size()) ? drawn[static_cast<size_t>(k)] : -1;
    };
    for (qsizetype at = from; at < to;) {
        if (drawnAt(at) == valueAt(at)) {
            ++at;
            continue;
        }
        qsizetype end = at + 1;
        while (end < to && valueAt(end) == valueAt(at) && drawnAt(end) != valueAt(end))
            ++end;
        if (valueAt(at) == 0) {
            m_edit.SendScintilla(QsciScintillaBase::SCI_INDICATORCLEARRANGE, static_cast<unsigned long>(at), static_cast<long>(end - at));
        } else {
            m_edit.SendScintilla(QsciScintillaBase::SCI_SETINDICATORVALUE, static_cast<unsigned long>(valueAt(at)));
            m_edit.SendScintilla(QsciScintillaBase::SCI_INDICATORFILLRANGE, static_cast<unsigned long>(at), static_cast<long>(end - at));
        }
        at = end;
    }
    // What the indicator holds now.
    const qsizetype drawnTo = m_css.drawnFrom + static_cast<qsizetype>(drawn.size());
    if (drawn.empty() || to < m_css.drawnFrom || from > drawnTo
        || std::max(to, drawnTo) - std::min(from, m_css.drawnFrom) > kDrawnLimit) {
        m_css.drawnFrom = from;
        drawn = values;
        return;
    }
    if (from < m_css.drawnFrom) {
        drawn.insert(drawn.begin(), static_cast<size_t>(m_css.drawnFrom - from), -1);
        m_css.drawnFrom = from;
    }
    if (to > m_css.drawnFrom + static_cast<qsizetype>(drawn.size()))
        drawn.resize(static_cast<size_t>(to - m_css.drawnFrom), -1);
    std::copy(values.begin(), values.end(), drawn.begin() + (from - m_css.drawnFrom));
}

void PhpLexing::noteDrawnEdit(qsizetype position, qsizetype length, bool inserted)
{
    // The control moves the indicator's values with the text; what is inserted takes a
    // value of its neighbours' that is not worth foreseeing: not known.
    std::vector<std::int32_t> &drawn = m_css.drawn;
    qsizetype &drawnFrom = m_css.drawnFrom;
    const qsizetype drawnTo = drawnFrom + static_cast<qsizetype>(drawn.size());
    if (drawn.empty() || position > drawnTo)
        return;
    if (inserted && position <= drawnFrom) {
        drawnFrom += length;
    } else if (inserted) {
        if (drawn.size() + static_cast<size_t>(length) > static_cast<size_t>(kDrawnLimit))
            drawn.clear();
        else
            drawn.insert(drawn.begin() + (position - drawnFrom), static_cast<size_t>(length), -1);
    } else {
        const qsizetype cutFrom = std::max(position, drawnFrom);
        const qsizetype cutTo = std::min(position + length, drawnTo);
        if (cutFrom < cutTo)
            drawn.erase(drawn.begin() + (cutFrom - drawnFrom), drawn.begin() + (cutTo - drawnFrom));
        if (position < drawnFrom)
            drawnFrom = std::max(position, drawnFrom - length);
    }
}
