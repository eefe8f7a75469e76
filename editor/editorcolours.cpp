// The colours of the editor's characters: the table of colour styles, and the
// colouring pass writing its classes into the text as styles, only where they
// changed since the pass before, and for a big text by slices while idle.
#include "editor/editorcolours.h"

#include "editor/richedit.h"

#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kFirstReservedStyle = 32; // QsciScintillaBase::STYLE_DEFAULT … STYLE_FOLDDISPLAYTEXT
constexpr int kLastReservedStyle = 39;

/** The first index below n where a and b differ; n when they do not. */
qsizetype firstDifference(const ColourClass *a, const ColourClass *b, qsizetype n)
{
    constexpr qsizetype block = 256;
    qsizetype k = 0;
    while (k + block <= n && std::memcmp(a + k, b + k, block) == 0)
        k += block;
    while (k < n && a[k] == b[k])
        ++k;
    return k;
}

/** The last index below n where a and b differ; −1 when they do not. */
qsizetype lastDifference(const ColourClass *a, const ColourClass *b, qsizetype n)
{
    constexpr qsizetype block = 256;
    qsizetype k = n;
    while (k >= block && std::memcmp(a + k - block, b + k - block, block) == 0)
        k -= block;
    while (k > 0 && a[k - 1] == b[k - 1])
        --k;
    return k - 1;
}
// A pass writes at once the colours of at most kColoursAtOnce bytes (the control takes
// about as long to store them as the pass to find them); over that, those of the bytes
// around the view, and the rest by slices of kColourSlice while the program is idle.
constexpr qsizetype kColoursAtOnce = 256 * 1024;
constexpr qsizetype kColourSlice = 64 * 1024;

} // namespace

EditorColours::EditorColours(RichEdit &edit)
    : m_edit(edit)
{
    m_colourSlices = new QTimer(&m_edit);
    m_colourSlices->setInterval(0);
    QObject::connect(m_colourSlices, &QTimer::timeout, &m_edit, [this] { writeColourSlice(); });
    // A scroll may show bytes whose colours are still to write.
    QObject::connect(m_edit.verticalScrollBar(), &QScrollBar::valueChanged, &m_edit, [this] { finishColours(); });
}

EditorColours::~EditorColours()
{
    m_colourSlices->stop();
}

void EditorColours::finishColoursIn(ByteSpan shown)
{
    for (const ByteSpan &span : m_unwritten.spans) {
        if (span.from <= shown.to && shown.from < span.to) {
            finishColours();
            return;
        }
    }
}

void EditorColours::forgetStyles()
{
    dropUnwrittenColours();
    ++m_styleGeneration; // the other texts' colour styles no longer mean theirs
    m_styles.clear();
    m_freeStyles.clear();
    m_nextStyle = 1;
}

int EditorColours::takeStyle()
{
    if (m_nextStyle <= kMaxStyle) {
        const int style = m_nextStyle++;
        if (m_nextStyle == kFirstReservedStyle)
            m_nextStyle = kLastReservedStyle + 1;
        return style;
    }
    return m_freeStyles.isEmpty() ? -1 : m_freeStyles.takeLast();
}

int EditorColours::styleFor(Colour colour)
{
    const auto found = m_styles.constFind(colour);
    if (found != m_styles.constEnd())
        return found.value();
    int style = takeStyle();
    if (style < 0 && reclaimStyles(m_pinnedStyles)) {
        style = m_freeStyles.takeLast();
    } else if (style < 0) {
        // Every style is on screen in a colour of its own: the nearest colour stands in,
        // so no character already coloured changes colour.
        return nearestStyle(colour);
    }
    m_styles.insert(colour, style);
    m_edit.SendScintilla(QsciScintillaBase::SCI_STYLESETFORE, static_cast<unsigned long>(style), static_cast<long>(colour));
    return style;
}

void EditorColours::writeStyles(qsizetype from, qsizetype count, const char *styles, bool keepsColours)
{
    if (m_edit.lexing()->active())
        return; // the lexer's styles are its own
    if (!keepsColours)
        m_lastPass.valid = false;
    finishColours();
    putStyles(from, count, styles);
}

void EditorColours::putStyles(qsizetype from, qsizetype count, const char *styles)
{
    m_edit.SendScintilla(QsciScintillaBase::SCI_STARTSTYLING, static_cast<unsigned long>(from), 0L);
    m_edit.SendScintilla(QsciScintillaBase::SCI_SETSTYLINGEX, static_cast<unsigned long>(count), styles);
    keepCharacterWhole(from);
    keepCharacterWhole(from + count);
    m_edit.SendScintilla(QsciScintillaBase::SCI_STARTSTYLING, static_cast<unsigned long>(m_edit.textLength()), 0L);
}

void EditorColours::writePassColours(qsizetype from, qsizetype to)
{
    if (to <= from)
        return;
    thread_local std::vector<char> styles;
    styles.resize(static_cast<size_t>(to - from));
    const auto *classes = reinterpret_cast<const std::uint8_t *>(m_lastPass.classes.data() + (from - m_lastPass.start + 1));
    // Without branches or a table, so that the compiler may do many bytes at once.
    const std::uint8_t s1 = m_unwritten.styleOf[1], s2 = m_unwritten.styleOf[2], s3 = m_unwritten.styleOf[3],
                       s0 = m_unwritten.styleOf[0];
    auto *out = reinterpret_cast<std::uint8_t *>(styles.data());
    const qsizetype count = to - from;
    for (qsizetype k = 0; k < count; ++k) {
        const std::uint8_t c = classes[k];
        out[k] = std::uint8_t((c == 0 ? s0 : 0) | (c == 1 ? s1 : 0) | (c == 2 ? s2 : 0) | (c == 3 ? s3 : 0));
    }
    if (m_edit.longLines()->active())
        m_edit.longLines()->mapToShown(from, styles.data(), count);
    putStyles(from, count, styles.data());
}

void EditorColours::writeColourSlice()
{
    if (!coloursPending()) {
        m_colourSlices->stop();
        return;
    }
    ByteSpan &next = m_unwritten.spans.front();
    const qsizetype to = std::min(next.to, next.from + kColourSlice);
    const qsizetype from = next.from;
    next.from = to;
    if (next.from >= next.to)
        m_unwritten.spans.erase(m_unwritten.spans.begin());
    writePassColours(from, to);
    if (!coloursPending())
        m_colourSlices->stop();
}

void EditorColours::finishColours()
{
    if (!coloursPending())
        return;
    const std::vector<ByteSpan> spans = std::move(m_unwritten.spans);
    m_unwritten.spans.clear();
    m_colourSlices->stop();
    for (const ByteSpan &span : spans)
        writePassColours(span.from, span.to);
}

void EditorColours::writeStyle(qsizetype from, qsizetype count, int style)
{
    if (m_edit.lexing()->active())
        return;
    m_lastPass.valid = false;
    finishColours();
    m_edit.SendScintilla(QsciScintillaBase::SCI_STARTSTYLING, static_cast<unsigned long>(from), 0L);
    m_edit.SendScintilla(QsciScintillaBase::SCI_SETSTYLING, static_cast<unsigned long>(count), static_cast<long>(style));
    keepCharacterWhole(from);
    keepCharacterWhole(from + count);
    m_edit.SendScintilla(QsciScintillaBase::SCI_STARTSTYLING, static_cast<unsigned long>(m_edit.textLength()), 0L);
}

// A run of styles that ends inside a character of several bytes makes the control
// draw that character's whole line without colours. A run written up to such an
// edge (the colouring pass leaves the last position of its range alone) gives the
// character the style of its first byte.
void EditorColours::keepCharacterWhole(qsizetype edge)
{
    const qsizetype length = m_edit.textLength();
    auto continuation = [&](qsizetype at) { return (static_cast<unsigned char>(m_edit.byteAt(at)) & 0xC0) == 0x80; };
    if (!m_edit.textIsUtf8() || edge <= 0 || edge >= length || !continuation(edge))
        return;
    qsizetype lead = edge - 1;
    while (lead > 0 && edge - lead < 3 && continuation(lead))
        --lead;
    qsizetype end = edge + 1;
    while (end < length && end - lead < 4 && continuation(end))
        ++end;
    const long style = m_edit.SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, static_cast<unsigned long>(lead)) & 0xFF;
    m_edit.SendScintilla(QsciScintillaBase::SCI_STARTSTYLING, static_cast<unsigned long>(lead + 1), 0L);
    m_edit.SendScintilla(QsciScintillaBase::SCI_SETSTYLING, static_cast<unsigned long>(end - lead - 1), style);
}

void EditorColours::noteEdit(int position, int type, const char *text, int length)
{
    LastPass &last = m_lastPass;
    if (!last.valid)
        return;
    // One edit inside the range the pass covered, that neither makes nor joins lines.
    const bool inserted = (type & QsciScintillaBase::SC_MOD_INSERTTEXT) != 0;
    const bool inside = position >= last.start && (inserted ? position <= last.end : position + length <= last.end);
    const bool noBreak = text && !std::memchr(text, '\r', static_cast<size_t>(length));
    if (last.edits > 0 || !inside || !noBreak || length <= 0) {
        last.valid = false;
        return;
    }
    last.edits = 1;
    last.editOffset = position;
    last.editLength = inserted ? length : -length;
}

void EditorColours::colourZone(qsizetype start, qsizetype end, Colour base, Colour strings, Colour functions)
{
    if (m_edit.lexing()->active())
        return;
    const qsizetype length = m_edit.textLength();
    end = std::clamp<qsizetype>(end, 0, length);
    start = std::clamp<qsizetype>(start, 0, end);
    LastPass &last = m_lastPass;
    const bool sameColours = last.valid && last.base == base && last.strings == strings && last.functions == functions
                             && last.start == start;
    // Nothing changed since the last pass over this range: this one would write what is there.
    if (sameColours && last.edits == 0 && last.end == end)
        return;
    const bool oneEdit = sameColours && last.edits == 1 && last.end + last.editLength == end;
    finishColours(); // what is left of the pass before goes in under this one

    const qsizetype first = std::max<qsizetype>(start, 1);
    const std::string_view bytes = m_edit.range(first - 1, end - first + 1);
    PassClasses classes = std::move(m_spareClasses); // the memory of the pass before last
    classes.resize(static_cast<size_t>(end - start + 1));
    colourPass(bytes.data(), start, end, classes.data());

    // A style taken for one of the three colours must not be reclaimed for the next one.
    m_pinnedStyles.clear();
    for (Colour colour : {base, strings, functions})
        m_pinnedStyles.append(styleFor(colour));
    const char styleOf[4] = {0, static_cast<char>(m_pinnedStyles[0]), static_cast<char>(m_pinnedStyles[1]),
                             static_cast<char>(m_pinnedStyles[2])};
    m_pinnedStyles.clear();
    // Index k is position start + k, the byte at offset start + k − 1; positions
    // start + 1 … end − 1 always take a class, position start only for a variable.
    const qsizetype count = qsizetype(classes.size());
    qsizetype from = 1, to = count - 2; // the indices to write
    if (oneEdit) {
        // The classes of the last pass, read through the edit; inserted bytes had none.
        const PassClasses &old = last.classes;
        const qsizetype edit = last.editOffset - start; // the edit comes after index `edit`
        const qsizetype shift = last.editLength;
        // Indices 0 … edit are read as they are; from `tail` on, index k was k − shift.
        const ColourClass *now = classes.data();
        const ColourClass *was = old.data();
        const qsizetype head = edit + 1;
        const qsizetype tail = shift > 0 ? head + shift : head;
        from = firstDifference(now, was, head);
        if (from == head && shift < 0)
            from = tail + firstDifference(now + tail, was + tail - shift, count - tail);
        const qsizetype lastAfter = lastDifference(now + tail, was + tail - shift, count - tail);
        to = lastAfter >= 0 ? tail + lastAfter : shift > 0 ? tail - 1 : lastDifference(now, was, head);
        if (from == 0 && classes[0] != ColourClass::Keep) {
            char style = styleOf[static_cast<int>(classes[0])];
            m_edit.longLines()->showOnlyShownParts(start - 1, start, &style);
        }
        from = std::max<qsizetype>(from, 1);
        to = std::min(to, count - 2);
    } else if (start >= 1 && classes[0] != ColourClass::Keep) {
        char style = styleOf[static_cast<int>(classes[0])];
        if (m_edit.longLines()->active())
            m_edit.longLines()->mapToShown(start - 1, &style, 1);
        writeStyles(start - 1, 1, &style, true);
    }
    if (to >= from && oneEdit) {
        thread_local std::vector<char> styles;
        styles.resize(static_cast<size_t>(to - from + 1));
        for (qsizetype k = from; k <= to; ++k)
            styles[static_cast<size_t>(k - from)] = styleOf[static_cast<int>(classes[static_cast<size_t>(k)])];
        const qsizetype offset = start + from - 1;
        m_edit.longLines()->showOnlyShownParts(offset, offset + to - from + 1, styles.data());
    }
    m_spareClasses = std::move(last.classes);
    last = {true, start, end, base, strings, functions, std::move(classes), 0, 0, 0};
    m_unwritten.styleOf = {styleOf[0], styleOf[1], styleOf[2], styleOf[3]};
    if (to >= from && !oneEdit)
        writePassColoursAroundView(start + from - 1, start + to);
}

void EditorColours::writePassColoursAroundView(qsizetype from, qsizetype to)
{
    if (to - from <= kColoursAtOnce || m_edit.longLines()->active()) {
        writePassColours(from, to);
        return;
    }
    // The bytes of the lines on screen, and a margin around them for a taller window or
    // a short move, are written now; what comes before and after them, while idle.
    const ByteSpan shown = m_edit.shownBytes();
    const qsizetype nowFrom = std::clamp(shown.from - kColourSlice / 4, from, to);
    const qsizetype nowTo = std::clamp(shown.to + kColourSlice, nowFrom, to);
    writePassColours(nowFrom, nowTo);
    for (const ByteSpan span : {ByteSpan{nowTo, to}, ByteSpan{from, nowFrom}})
        if (span.to > span.from)
            m_unwritten.spans.push_back(span);
    if (coloursPending())
        m_colourSlices->start();
}

bool EditorColours::reclaimStyles(const QList<int> &pinned)
{
    finishColours();
    // Which styles the characters use, read in chunks of (character, style) pairs.
    std::vector<bool> used(kMaxStyle + 1, false);
    const qsizetype length = m_edit.textLength();
    constexpr qsizetype chunk = 1 << 20;
    std::vector<char> pairs;
    for (qsizetype from = 0; from < length; from += chunk) {
        const qsizetype size = std::min(chunk, length - from);
        pairs.resize(static_cast<size_t>(2 * size + 2));
        m_edit.SendScintilla(QsciScintillaBase::SCI_GETSTYLEDTEXT, static_cast<long>(from), static_cast<long>(from + size), pairs.data());
        for (qsizetype k = 0; k < size; ++k)
            used[static_cast<size_t>(m_edit.longLines()->baseStyle(pairs[static_cast<size_t>(2 * k + 1)]))] = true;
    }
    for (int style : pinned)
        used[static_cast<size_t>(style)] = true;
    for (auto it = m_styles.begin(); it != m_styles.end();) {
        if (!used[static_cast<size_t>(it.value())]) {
            m_freeStyles.append(it.value());
            it = m_styles.erase(it);
        } else {
            ++it;
        }
    }
    return !m_freeStyles.isEmpty();
}

int EditorColours::nearestStyle(Colour colour) const
{
    int best = 0;
    long bestDistance = -1;
    auto channel = [](Colour c, int shift) { return static_cast<long>((c >> shift) & 0xFF); };
    for (auto it = m_styles.constBegin(); it != m_styles.constEnd(); ++it) {
        long distance = 0;
        for (int shift : {0, 8, 16})
            distance += std::labs(channel(it.key(), shift) - channel(colour, shift));
        if (bestDistance < 0 || distance < bestDistance) {
            best = it.value();
            bestDistance = distance;
        }
    }
    return best;
}
