// Very long lines, such as minified code. The editor control lays a whole line out
// again after every change and measures the width of each of its characters: on a
// line of megabytes, seconds per key. It skips the characters whose style is
// invisible, so on a line longer than kLongLine only the part that can be seen keeps
// its real style and every other byte takes an invisible twin of it: a window of a
// few screens around the caret on the caret's line, the first screens of any other
// long line. The window follows the caret. Colours are read through the twins, so
// nothing but the drawing knows of them.
#include "editor/longlines.h"

#include "editor/richedit.h"
#include "io/textbytes.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include <malloc.h>

namespace {

constexpr qsizetype kLongLine = 32 * 1024; // a longer line shows only part of itself
constexpr qsizetype kShown = 4096;         // bytes shown on each side of the caret, and at a line's head
// The two twins of a style alternate by runs this long: the control cuts a longer
// run of one style into pieces itself, which costs more than the rest of its work.
constexpr qsizetype kTwinRun = 256;

/** True when `text` holds a run longer than a long line between two CRs. */
bool holdsLongRun(const char *text, qsizetype length)
{
    const char *end = text + length;
    for (const char *p = text; p < end;) {
        const auto *cr = static_cast<const char *>(std::memchr(p, '\r', static_cast<size_t>(end - p)));
        if ((cr ? cr : end) - p > kLongLine)
            return true;
        if (!cr)
            break;
        p = cr + 1;
    }
    return false;
}

/**
 * The editor's accessible object while no assistive technology runs. The component's
 * own counts the characters from the start of the text to the caret after every
 * change, listened to or not: milliseconds per key in a text of megabytes. Once
 * assistive technology starts, each editor takes the component's own again.
 */
class QuietEditorAccessible : public QAccessibleWidget
{
public:
    explicit QuietEditorAccessible(QWidget *editor)
        : QAccessibleWidget(editor, QAccessible::EditableText)
    {
    }
};

bool assistiveTechnologyOn = false;

bool assistiveTechnologyRuns()
{
    return QAccessible::isActive() || assistiveTechnologyOn;
}

QAccessibleInterface *editorAccessible(const QString &className, QObject *object)
{
    if (className != QLatin1String("RichEdit") || !object || !object->isWidgetType() || assistiveTechnologyRuns())
        return nullptr;
    return new QuietEditorAccessible(static_cast<QWidget *>(object));
}

class AssistiveTechnologyWatch : public QAccessible::ActivationObserver
{
public:
    void accessibilityActiveChanged(bool active) override
    {
        assistiveTechnologyOn = active;
        if (!active)
            return;
        for (QWidget *widget : QApplication::allWidgets()) {
            QAccessibleInterface *current = qobject_cast<RichEdit *>(widget) ? QAccessible::queryAccessibleInterface(widget) : nullptr;
            if (dynamic_cast<QuietEditorAccessible *>(current))
                QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(current));
        }
    }
};

/**
 * The control allocates its layout of a line anew each time the line grows: on a
 * line of megabytes, tens of megabytes of fresh pages from the system at every key,
 * which cost more than laying the line out. While an editor holds a long line,
 * memory freed by the process stays with it, to be used again, and is handed back
 * once no editor holds one.
 */
void keepFreedMemory(bool keep)
{
    static int holders = 0;
    holders += keep ? 1 : -1;
    if (holders == (keep ? 1 : 0)) {
        mallopt(M_MMAP_MAX, keep ? 0 : 65536); // glibc's default
        mallopt(M_TRIM_THRESHOLD, keep ? INT_MAX : 128 * 1024);
        if (!keep)
            malloc_trim(0);
    }
}

} // namespace

LongLines::LongLines(RichEdit &edit)
    : m_edit(edit)
{
    static AssistiveTechnologyWatch watch;
    static const bool installed = (QAccessible::installFactory(editorAccessible), QAccessible::installActivationObserver(&watch), true);
    Q_UNUSED(installed);
    for (size_t style = 0; style < m_baseStyle.size(); ++style)
        m_baseStyle[style] = static_cast<unsigned char>(style);
    // The component's own caret signal counts the columns from the line's start at
    // every change; nothing here uses it.
    QObject::disconnect(&m_edit, SIGNAL(SCN_UPDATEUI(int)), &m_edit, SLOT(handleUpdateUI(int)));
    QObject::connect(&m_edit, &QsciScintillaBase::SCN_UPDATEUI, &m_edit, [this](int) { followCaret(); });
}

LongLines::~LongLines()
{
    hold(false);
}

bool LongLines::holdsLongLine(const QByteArray &crlf)
{
    return holdsLongRun(crlf.constData(), crlf.size());
}

bool LongLines::assistiveTechnologyRuns()
{
    return ::assistiveTechnologyRuns();
}

int LongLines::codePageFor(const QByteArray &crlf)
{
    m_asciiShown = false;
    if (!isValidUtf8(crlf.constData(), crlf.size()))
        return 0;
    // In UTF-8 the control works out the width in bytes of each character as it lays
    // a line out: a fifth of the time on a long line.
    m_asciiShown = holdsLongRun(crlf.constData(), crlf.size()) && isAscii(crlf.constData(), crlf.size());
    return m_asciiShown ? 0 : QsciScintillaBase::SC_CP_UTF8;
}

void LongLines::showAsUtf8()
{
    if (!m_asciiShown)
        return;
    m_asciiShown = false;
    m_edit.SendScintilla(QsciScintillaBase::SCI_SETCODEPAGE, static_cast<unsigned long>(QsciScintillaBase::SC_CP_UTF8));
    m_edit.SendScintilla(QsciScintillaBase::SCI_STARTSTYLING, static_cast<unsigned long>(m_edit.textLength()), 0L); // see writeStyles
}

void LongLines::hold(bool hold)
{
    if (hold && !m_active)
        m_edit.colours()->finishColours(); // written without twins until now
    if (hold != m_active)
        keepFreedMemory(hold);
    m_active = hold;
}

void LongLines::forgetTwins()
{
    for (size_t style = 0; style < m_baseStyle.size(); ++style)
        m_baseStyle[style] = static_cast<unsigned char>(style);
    m_twins = {};
}

bool LongLines::isShown(qsizetype offset) const
{
    const long style = m_edit.SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, static_cast<unsigned long>(offset)) & 0xFF;
    return m_edit.SendScintilla(QsciScintillaBase::SCI_STYLEGETVISIBLE, static_cast<unsigned long>(style)) != 0;
}

void LongLines::noteEdit(int position, int type, int length, const char *text)
{
    const bool inserted = (type & QsciScintillaBase::SC_MOD_INSERTTEXT) != 0;
    if (!inserted && !(type & QsciScintillaBase::SC_MOD_DELETETEXT))
        return;
    if (!m_active) {
        const auto lineLength = [this](qsizetype offset) {
            return m_edit.SendScintilla(QsciScintillaBase::SCI_LINELENGTH, static_cast<unsigned long>(m_edit.lineOfOffset(offset)));
        };
        const bool longNow = lineLength(position) > kLongLine
                             || (inserted && (lineLength(position + length) > kLongLine
                                              || (text && holdsLongRun(text, length))));
        if (!longNow)
            return;
        hold(true);
        // The lexer would lay the long line out at every key: the text leaves it once
        // this change is over (the control is inside the change now).
        if (m_edit.lexing()->active())
            QMetaObject::invokeMethod(&m_edit, [this] { m_edit.lexing()->use(false); }, Qt::QueuedConnection);
    }
    // Offsets after the change move with the text; an insertion at the window's end
    // (typing there) widens the window.
    const auto follow = [&](qsizetype &offset, bool isEnd) {
        if (offset < 0)
            return;
        if (inserted)
            offset += (offset > position || (isEnd && offset == position)) ? length : 0;
        else if (offset > position + length)
            offset -= length;
        else if (offset > position)
            offset = position;
    };
    follow(m_window.from, false);
    follow(m_window.to, true);
    follow(m_touched.from, false);
    follow(m_touched.to, true);
    const qsizetype end = inserted ? position + length : position;
    if (m_touched.from < 0)
        m_touched = {position, end};
    m_touched = {std::min<qsizetype>(m_touched.from, position), std::max(m_touched.to, end)};
}

void LongLines::hideLongLinesOf(const QByteArray &crlf)
{
    bool longLines = false;
    m_window = {};
    const char *data = crlf.constData();
    const qsizetype size = crlf.size();
    std::vector<char> styles;
    for (qsizetype lineStart = 0; lineStart <= size;) {
        const auto *cr = static_cast<const char *>(std::memchr(data + lineStart, '\r', static_cast<size_t>(size - lineStart)));
        const qsizetype lineEnd = cr ? cr - data : size;
        if (lineEnd - lineStart > kLongLine) {
            longLines = true;
            // A new text has style 0 throughout.
            const qsizetype from = lineStart + kShown;
            styles.assign(static_cast<size_t>(lineEnd - from), 0);
            mapToShown(from, styles.data(), lineEnd - from);
            m_edit.colours()->writeStyles(from, lineEnd - from, styles.data(), true);
        }
        if (!cr)
            break;
        lineStart = lineEnd + 1;
    }
    hold(longLines);
    m_touched = {};
}

ByteSpan LongLines::shownPart(qsizetype lineStart, qsizetype lineEnd) const
{
    if (lineEnd - lineStart <= kLongLine)
        return {lineStart, lineEnd};
    if (m_window.from >= lineStart && m_window.to <= lineEnd && m_window.from < m_window.to)
        return m_window;
    return {lineStart, lineStart + kShown};
}

int LongLines::twinOf(int style, qsizetype offset)
{
    const int base = m_baseStyle[static_cast<size_t>(style)];
    unsigned char &twin = m_twins[static_cast<size_t>(base)][static_cast<size_t>((offset / kTwinRun) & 1)];
    if (twin == 0) {
        const int taken = m_edit.colours()->takeStyle();
        if (taken < 0)
            return base; // every style is taken: the byte is drawn, only slower
        twin = static_cast<unsigned char>(taken);
        m_baseStyle[static_cast<size_t>(taken)] = static_cast<unsigned char>(base);
        m_edit.SendScintilla(QsciScintillaBase::SCI_STYLESETVISIBLE, static_cast<unsigned long>(taken), 0L);
    }
    return twin;
}

void LongLines::mapToShown(qsizetype from, char *styles, qsizetype count)
{
    const qsizetype to = std::min(from + count, m_edit.textLength());
    const int lines = m_edit.lineCount();
    qsizetype p = from;
    for (int line = m_edit.lineOfOffset(from); p < to && line < lines; ++line) {
        const qsizetype lineStart = m_edit.lineStartOffset(line);
        const qsizetype lineEnd = m_edit.lineEndOffset(line);
        const qsizetype stop = std::min(to, line + 1 < lines ? m_edit.lineStartOffset(line + 1) : to);
        const ByteSpan shown = shownPart(lineStart, lineEnd);
        for (; p < stop; ++p) {
            char &style = styles[p - from];
            const auto current = static_cast<unsigned char>(style);
            const bool drawn = (p >= shown.from && p < shown.to) || p >= lineEnd;
            // A byte that already has a twin keeps it: text moved by an edit must not
            // change style, which would make the control lay the line out again.
            if (drawn)
                style = static_cast<char>(m_baseStyle[current]);
            else if (m_baseStyle[current] == current)
                style = static_cast<char>(twinOf(current, p));
        }
    }
}

void LongLines::showOnlyShownParts(qsizetype from, qsizetype to, const char *colours)
{
    if (colours && !m_active) {
        m_edit.colours()->writeStyles(from, to - from, colours, true);
        return;
    }
    const qsizetype length = m_edit.textLength();
    from = std::clamp<qsizetype>(from, 0, length);
    to = std::clamp<qsizetype>(to, from, length);
    const qsizetype count = to - from;
    if (count == 0)
        return;
    std::vector<char> pairs(static_cast<size_t>(2 * count + 2)); // (byte, style) pairs
    m_edit.SendScintilla(QsciScintillaBase::SCI_GETSTYLEDTEXT, static_cast<long>(from), static_cast<long>(to), pairs.data());
    const auto current = [&](qsizetype k) { return pairs[static_cast<size_t>(2 * k + 1)]; };
    std::vector<char> styles(static_cast<size_t>(count));
    for (qsizetype k = 0; k < count; ++k) {
        // A byte whose colour stays keeps the twin it has.
        const auto now = static_cast<unsigned char>(current(k));
        const bool same = !colours || m_baseStyle[now] == static_cast<unsigned char>(colours[k]);
        styles[static_cast<size_t>(k)] = same ? current(k) : colours[k];
    }
    mapToShown(from, styles.data(), count);
    qsizetype first = 0;
    while (first < count && styles[static_cast<size_t>(first)] == current(first))
        ++first;
    if (first == count)
        return;
    qsizetype last = count - 1;
    while (styles[static_cast<size_t>(last)] == current(last))
        --last;
    m_edit.colours()->writeStyles(from + first, last - first + 1, styles.data() + first, true);
}

void LongLines::followCaret()
{
    if (!m_active || m_edit.lexing()->active())
        return;
    const qsizetype caret = m_edit.SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS);
    const int line = m_edit.lineOfOffset(caret);
    const qsizetype lineStart = m_edit.lineStartOffset(line);
    const qsizetype lineEnd = m_edit.lineEndOffset(line);
    const ByteSpan old = m_window;
    ByteSpan window;
    if (lineEnd - lineStart > kLongLine) {
        const bool keep = old.from >= lineStart && old.to <= lineEnd && old.from < old.to
                          && (caret - old.from >= kShown / 2 || old.from == lineStart)
                          && (old.to - caret >= kShown / 2 || old.to == lineEnd);
        window = keep ? old : ByteSpan{std::max(lineStart, caret - kShown), std::min(lineEnd, caret + kShown)};
    }
    const bool moved = window.from != old.from || window.to != old.to;
    m_window = window;
    // What may have changed: the bytes near an edit (a line joined, split, grown or
    // shrunk past the limit), the window left and the one taken, and the heads of
    // their lines.
    std::vector<ByteSpan> spans;
    if (m_touched.from >= 0)
        spans.push_back({m_touched.from - kLongLine, m_touched.to + kLongLine});
    m_touched = {};
    if (moved) {
        for (const ByteSpan &part : {old, window}) {
            if (part.from < 0)
                continue;
            spans.push_back(part);
            const qsizetype head = m_edit.lineStartOffset(m_edit.lineOfOffset(part.from));
            spans.push_back({head, head + kShown});
        }
    }
    std::sort(spans.begin(), spans.end(), [](const ByteSpan &a, const ByteSpan &b) { return a.from < b.from; });
    for (size_t k = 0; k < spans.size(); ++k) {
        ByteSpan merged = spans[k];
        while (k + 1 < spans.size() && spans[k + 1].from <= merged.to)
            merged.to = std::max(merged.to, spans[++k].to);
        showOnlyShownParts(merged.from, merged.to);
    }
    if (moved && old.from >= 0 && window.from >= 0)
        m_edit.SendScintilla(QsciScintillaBase::SCI_SCROLLCARET); // the caret's place on screen moved with the window
}
