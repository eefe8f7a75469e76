#include "editor/richedit.h"
#include "base/virtualkeys.h"

#include "base/errors.h"
#include "io/textbytes.h"

#include <QContextMenuEvent>
#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QHelpEvent>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr int kFirstReservedStyle = 32; // STYLE_DEFAULT … STYLE_FOLDDISPLAYTEXT
constexpr int kLastReservedStyle = 39;
constexpr qsizetype kMaxLineText = 4096;

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

constexpr int kLintMarker = 24;   // background of a line with a syntax error
constexpr int kServerMarker = 23; // background of a line the server reported an error on
constexpr int kDotMarker = 22;    // the dot in the mark margin
constexpr int kMarkMargin = 1;
constexpr int kMarkMarginWidth = 14;
constexpr unsigned kErrorMarkerMask = (1u << kLintMarker) | (1u << kServerMarker);
constexpr long kLightRed = 0x9090FF; // 0x00BBGGRR
constexpr long kRed = 0x0000D0;

bool isAscii(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

} // namespace

RichEdit::RichEdit(QWidget *parent)
    : QsciScintilla(parent)
{
    SendScintilla(SCI_SETEOLMODE, SC_EOL_CRLF);
    SendScintilla(SCI_SETPASTECONVERTENDINGS, 1);
    SendScintilla(SCI_SETWRAPMODE, SC_WRAP_NONE);
    SendScintilla(SCI_SETSCROLLWIDTHTRACKING, 1);
    SendScintilla(SCI_SETSCROLLWIDTH, 1);
    for (int margin = 0; margin < 5; ++margin)
        SendScintilla(SCI_SETMARGINWIDTHN, margin, 0L);
    SendScintilla(SCI_STYLESETFONT, STYLE_DEFAULT, "Courier New");
    SendScintilla(SCI_STYLESETSIZE, STYLE_DEFAULT, 10);
    SendScintilla(SCI_STYLECLEARALL);
    setTextColour(m_textColour);
    setBackgroundColour(m_background);
    connect(this, &QsciScintillaBase::SCN_MODIFIED, this,
            [this](int position, int type, const char *text, int length, int linesAdded) {
                noteModification(position, type, text, length, linesAdded);
            });
    connect(this, &QsciScintillaBase::SCN_CHARADDED, this, [this](int) {
        if (m_quiet)
            reportQuietEdit();
    });
    setUpView();
    setUpLongLines();
    setUpCss();
    m_colourSlices = new QTimer(this);
    m_colourSlices->setInterval(0);
    connect(m_colourSlices, &QTimer::timeout, this, &RichEdit::writeColourSlice);
    // A scroll may show bytes whose colours are still to write.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &RichEdit::finishColours);
}

void RichEdit::noteModification(int position, int type, const char *text, int length, int linesAdded)
{
    // The colours still to write are for the text as it is: they go in before it changes.
    if (coloursPending() && (type & SC_MOD_BEFOREDELETE) && position == 0 && length == textLength())
        dropUnwrittenColours();
    else if (coloursPending() && (type & (SC_MOD_BEFOREINSERT | SC_MOD_BEFOREDELETE)))
        finishColours();
    if (m_quiet)
        noteQuietEdit(position, type, length);
    if (m_asciiShown && (type & SC_MOD_INSERTTEXT) && text && !isAscii(text, length))
        showAsUtf8(); // bytes of the text's own encoding, put in by Ondrel
    noteInsertion(position, type, text, length);
    if (type & (SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT)) {
        noteLongLineEdit(position, type, length, text);
        noteEditAfterPass(position, type, text, length);
        noteCssEdit(position, type, length);
        if (m_typing && m_recolouredWhileTyping && !m_phpLexing && (type & SC_MOD_INSERTTEXT) && position > 0 && text
            && !std::memchr(text, '\r', static_cast<size_t>(length))) {
            const char before = static_cast<char>(SendScintilla(SCI_GETSTYLEAT, static_cast<unsigned long>(position - 1)));
            const std::vector<char> styles(static_cast<size_t>(length), before);
            writeStyles(position, length, styles.data(), true);
        }
        // The whole text counts as styled (see writeStyles); the lexer styles what changed.
        if (!m_phpLexing)
            SendScintilla(SCI_STARTSTYLING, static_cast<unsigned long>(textLength()), 0L);
    }
    if (m_form->breaks.isEmpty() || linesAdded == 0)
        return;
    m_form->noteLinesChanged(lineOfOffset(position), linesAdded);
}

/**
 * In a Windows-1252 file, a character that has no byte there is not let in: it
 * could never be saved. False (and a notice) when `text` holds one.
 */
bool RichEdit::acceptsText(const QString &text)
{
    QByteArray ignored;
    if (!m_form->windows1252 || text.isEmpty() || toWindows1252(text, &ignored))
        return true;
    Q_EMIT notice(QStringLiteral("Caractère absent de Windows-1252, l'encodage de ce fichier : non inséré"));
    return false;
}

void RichEdit::noteInsertion(int position, int type, const char *text, int length)
{
    if (!m_onlyCrLf || !(type & SC_MOD_INSERTTEXT) || !text || length <= 0)
        return;
    // A lone CR or LF inside the new text, or one that meets a half break at its edges.
    if (text[0] == '\n' || text[length - 1] == '\r' || (position > 0 && byteAt(position - 1) == '\r')) {
        m_onlyCrLf = false;
        return;
    }
    for (int i = 0; i < length; ++i) {
        if (text[i] == '\r' ? text[i + 1] != '\n' : (text[i] == '\n' && text[i - 1] != '\r')) {
            m_onlyCrLf = false;
            return;
        }
    }
}

// --- Text -----------------------------------------------------------------

qsizetype RichEdit::textLength() const
{
    return const_cast<RichEdit *>(this)->SendScintilla(SCI_GETLENGTH);
}

std::string_view RichEdit::range(qsizetype from, qsizetype length) const
{
    if (length <= 0)
        return {};
    auto *self = const_cast<RichEdit *>(this);
    const auto *p = reinterpret_cast<const char *>(
        self->SendScintilla(SCI_GETRANGEPOINTER, static_cast<unsigned long>(from), static_cast<long>(length)));
    return {p, static_cast<size_t>(length)};
}

char RichEdit::byteAt(qsizetype offset) const
{
    return static_cast<char>(const_cast<RichEdit *>(this)->SendScintilla(SCI_GETCHARAT, static_cast<unsigned long>(offset)));
}

QByteArray RichEdit::wholeText() const
{
    const std::string_view all = range(0, textLength());
    return QByteArray(all.data(), static_cast<qsizetype>(all.size()));
}

QByteArray RichEdit::lineText(int line) const
{
    auto *self = const_cast<RichEdit *>(this);
    if (line < 0 || line >= lineCount())
        return {};
    const qsizetype start = lineStartOffset(line);
    const qsizetype end = self->SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line));
    const std::string_view bytes = range(start, std::min(end - start, kMaxLineText));
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

int RichEdit::lineCount() const
{
    return static_cast<int>(const_cast<RichEdit *>(this)->SendScintilla(SCI_GETLINECOUNT));
}

qsizetype RichEdit::lineStartOffset(int line) const
{
    return const_cast<RichEdit *>(this)->SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
}

int RichEdit::lineOfOffset(qsizetype offset) const
{
    return static_cast<int>(const_cast<RichEdit *>(this)->SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(offset)));
}

qsizetype RichEdit::offsetAfterCrBefore(qsizetype offset) const
{
    constexpr qsizetype chunk = 4096;
    qsizetype s = std::clamp<qsizetype>(offset, 0, textLength());
    while (s > 0) {
        const qsizetype from = std::max<qsizetype>(0, s - chunk);
        const std::string_view bytes = range(from, s - from);
        const void *cr = memrchr(bytes.data(), '\r', bytes.size());
        if (cr)
            return from + (static_cast<const char *>(cr) - bytes.data()) + 1;
        s = from;
    }
    return 0;
}

qsizetype RichEdit::offsetAfterCrFrom(qsizetype offset) const
{
    constexpr qsizetype chunk = 4096;
    const qsizetype length = textLength();
    qsizetype from = std::clamp<qsizetype>(offset - 1, 0, length);
    while (from < length) {
        const qsizetype size = std::min(chunk, length - from);
        const std::string_view bytes = range(from, size);
        const void *cr = std::memchr(bytes.data(), '\r', bytes.size());
        if (cr)
            return from + (static_cast<const char *>(cr) - bytes.data()) + 1;
        from += size;
    }
    return length;
}

QString RichEdit::decode(const QByteArray &bytes) const
{
    return textIsUtf8() ? QString::fromUtf8(bytes) : fromWindows1252(bytes);
}

void RichEdit::applyBytes(const QByteArray &crlf)
{
    SendScintilla(SCI_SETCODEPAGE, static_cast<unsigned long>(codePageFor(crlf)));
    SendScintilla(SCI_SETUNDOCOLLECTION, 0L);
    dropMarks(ErrorSource::Lint); // the marks belong to the text that goes
    dropMarks(ErrorSource::Server);
    dropUnwrittenColours();
    SendScintilla(SCI_CLEARALL);
    // Set while the text is empty: attached to a text, the lexer lexes all of it at once.
    usePhpLexer(m_phpWanted && !holdsLongLine(crlf));
    SendScintilla(SCI_APPENDTEXT, static_cast<unsigned long>(crlf.size()), crlf.constData());
    m_lastPass.valid = false;
    hideLongLinesOf(crlf);
    SendScintilla(SCI_EMPTYUNDOBUFFER);
    SendScintilla(SCI_SETUNDOCOLLECTION, 1L);
    SendScintilla(SCI_SETSAVEPOINT);
    SendScintilla(SCI_GOTOPOS, 0L);
    m_onlyCrLf = true; // the bytes were normalised before they came in
}

void RichEdit::setBytes(const QByteArray &bytes)
{
    m_form->breaks.clear(); // the new lines take the file's style
    applyBytes(normaliseLineBreaks(bytes).crlf);
}

// --- Caret and selection ----------------------------------------------------

RichEdit::CaretPos RichEdit::caretPosition() const
{
    auto *self = const_cast<RichEdit *>(this);
    const qsizetype end = self->SendScintilla(SCI_GETSELECTIONEND);
    const int line = lineOfOffset(end);
    return {end - lineStartOffset(line), line};
}

qsizetype RichEdit::fileOffset(qsizetype offset) const
{
    if (!m_form->windows1252)
        return offset;
    auto *self = const_cast<RichEdit *>(this);
    if (!m_characterIndex) { // kept up to date by the control from then on, so a read-out costs one line
        self->SendScintilla(SCI_ALLOCATELINECHARACTERINDEX, static_cast<unsigned long>(SC_LINECHARACTERINDEX_UTF32));
        self->m_characterIndex = true;
    }
    const int line = lineOfOffset(offset);
    const qsizetype lineStart = lineStartOffset(line);
    return self->SendScintilla(SCI_INDEXPOSITIONFROMLINE, static_cast<unsigned long>(line),
                               static_cast<long>(SC_LINECHARACTERINDEX_UTF32))
           + self->SendScintilla(SCI_COUNTCHARACTERS, static_cast<unsigned long>(lineStart), static_cast<long>(offset));
}

qsizetype RichEdit::selStart() const
{
    return const_cast<RichEdit *>(this)->SendScintilla(SCI_GETSELECTIONSTART);
}

qsizetype RichEdit::selLength() const
{
    auto *self = const_cast<RichEdit *>(this);
    return self->SendScintilla(SCI_GETSELECTIONEND) - self->SendScintilla(SCI_GETSELECTIONSTART);
}

void RichEdit::setSelStart(qsizetype offset)
{
    offset = std::clamp<qsizetype>(offset, 0, textLength());
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(offset), static_cast<long>(offset));
    SendScintilla(SCI_CHOOSECARETX); // up and down arrows go on from here
}

qsizetype RichEdit::selectionEnd(qsizetype start, qsizetype length) const
{
    qsizetype end = std::clamp<qsizetype>(start + std::max<qsizetype>(length, 0), start, textLength());
    // Never end inside a character of several bytes: take the whole character.
    if (end > start && textIsUtf8() && (static_cast<unsigned char>(byteAt(end - 1)) & 0x80))
        end = const_cast<RichEdit *>(this)->SendScintilla(SCI_POSITIONAFTER, static_cast<unsigned long>(end - 1));
    return end;
}

void RichEdit::setSelLength(qsizetype length)
{
    const qsizetype start = selStart();
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(start), static_cast<long>(selectionEnd(start, length)));
    SendScintilla(SCI_CHOOSECARETX);
    SendScintilla(SCI_SCROLLCARET);
}

void RichEdit::restoreSelection(qsizetype start, qsizetype length)
{
    start = std::clamp<qsizetype>(start, 0, textLength());
    // Unlike SCI_SETSEL, these two leave the view where it is.
    SendScintilla(SCI_SETANCHOR, static_cast<unsigned long>(start));
    SendScintilla(SCI_SETCURRENTPOS, static_cast<unsigned long>(selectionEnd(start, length)));
    SendScintilla(SCI_CHOOSECARETX);
}

// --- Colours ---------------------------------------------------------------

void RichEdit::setBackgroundColour(Colour colour)
{
    m_background = colour;
    for (int style = 0; style <= kMaxStyle; ++style)
        SendScintilla(SCI_STYLESETBACK, static_cast<unsigned long>(style), static_cast<long>(colour));
    if (m_phpLexing)
        applyPhpPalette();
}

void RichEdit::setTextColour(Colour colour)
{
    m_textColour = colour;
    SendScintilla(SCI_STYLESETFORE, 0UL, static_cast<long>(colour));
    SendScintilla(SCI_STYLESETFORE, static_cast<unsigned long>(STYLE_DEFAULT), static_cast<long>(colour));
    SendScintilla(SCI_SETCARETFORE, static_cast<unsigned long>(colour));
    if (m_phpLexing)
        applyPhpPalette();
}

int RichEdit::takeStyle()
{
    if (m_nextStyle <= kMaxStyle) {
        const int style = m_nextStyle++;
        if (m_nextStyle == kFirstReservedStyle)
            m_nextStyle = kLastReservedStyle + 1;
        return style;
    }
    return m_freeStyles.isEmpty() ? -1 : m_freeStyles.takeLast();
}

int RichEdit::styleFor(Colour colour)
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
    SendScintilla(SCI_STYLESETFORE, static_cast<unsigned long>(style), static_cast<long>(colour));
    return style;
}

void RichEdit::writeStyles(qsizetype from, qsizetype count, const char *styles, bool keepsColours)
{
    if (m_phpLexing)
        return; // the lexer's styles are its own
    if (!keepsColours)
        m_lastPass.valid = false;
    finishColours();
    putStyles(from, count, styles);
}

void RichEdit::putStyles(qsizetype from, qsizetype count, const char *styles)
{
    SendScintilla(SCI_STARTSTYLING, static_cast<unsigned long>(from), 0L);
    SendScintilla(SCI_SETSTYLINGEX, static_cast<unsigned long>(count), styles);
    keepCharacterWhole(from);
    keepCharacterWhole(from + count);
    SendScintilla(SCI_STARTSTYLING, static_cast<unsigned long>(textLength()), 0L);
}

void RichEdit::writePassColours(qsizetype from, qsizetype to)
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
    if (m_longLines)
        mapToShown(from, styles.data(), count);
    putStyles(from, count, styles.data());
}

RichEdit::Span RichEdit::shownBytes()
{
    const long top = SendScintilla(SCI_GETFIRSTVISIBLELINE);
    const long firstShown = SendScintilla(SCI_DOCLINEFROMVISIBLE, static_cast<unsigned long>(top));
    const long lastShown = SendScintilla(SCI_DOCLINEFROMVISIBLE, static_cast<unsigned long>(top + SendScintilla(SCI_LINESONSCREEN) + 1));
    const qsizetype from = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(firstShown));
    const qsizetype to = SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(lastShown));
    return {from, std::max(from, to)};
}

void RichEdit::writeColourSlice()
{
    if (!coloursPending()) {
        m_colourSlices->stop();
        return;
    }
    Span &next = m_unwritten.spans.front();
    const qsizetype to = std::min(next.to, next.from + kColourSlice);
    const qsizetype from = next.from;
    next.from = to;
    if (next.from >= next.to)
        m_unwritten.spans.erase(m_unwritten.spans.begin());
    writePassColours(from, to);
    if (!coloursPending())
        m_colourSlices->stop();
}

void RichEdit::finishColours()
{
    if (!coloursPending())
        return;
    const std::vector<Span> spans = std::move(m_unwritten.spans);
    m_unwritten.spans.clear();
    m_colourSlices->stop();
    for (const Span &span : spans)
        writePassColours(span.from, span.to);
}

void RichEdit::writeStyle(qsizetype from, qsizetype count, int style)
{
    if (m_phpLexing)
        return;
    m_lastPass.valid = false;
    finishColours();
    SendScintilla(SCI_STARTSTYLING, static_cast<unsigned long>(from), 0L);
    SendScintilla(SCI_SETSTYLING, static_cast<unsigned long>(count), static_cast<long>(style));
    keepCharacterWhole(from);
    keepCharacterWhole(from + count);
    SendScintilla(SCI_STARTSTYLING, static_cast<unsigned long>(textLength()), 0L);
}

// A run of styles that ends inside a character of several bytes makes the control
// draw that character's whole line without colours. A run written up to such an
// edge (the colouring pass leaves the last position of its range alone) gives the
// character the style of its first byte.
void RichEdit::keepCharacterWhole(qsizetype edge)
{
    const qsizetype length = textLength();
    auto continuation = [&](qsizetype at) { return (static_cast<unsigned char>(byteAt(at)) & 0xC0) == 0x80; };
    if (!textIsUtf8() || edge <= 0 || edge >= length || !continuation(edge))
        return;
    qsizetype lead = edge - 1;
    while (lead > 0 && edge - lead < 3 && continuation(lead))
        --lead;
    qsizetype end = edge + 1;
    while (end < length && end - lead < 4 && continuation(end))
        ++end;
    const long style = SendScintilla(SCI_GETSTYLEAT, static_cast<unsigned long>(lead)) & 0xFF;
    SendScintilla(SCI_STARTSTYLING, static_cast<unsigned long>(lead + 1), 0L);
    SendScintilla(SCI_SETSTYLING, static_cast<unsigned long>(end - lead - 1), style);
}

void RichEdit::setSelColour(Colour colour)
{
    const qsizetype start = selStart();
    const qsizetype length = selLength();
    if (length <= 0)
        return;
    const int style = styleFor(colour);
    writeStyle(start, length, style);
    if (m_longLines)
        showOnlyShownParts(start, start + length);
}

bool RichEdit::hasOwnColour(qsizetype offset) const
{
    const_cast<RichEdit *>(this)->finishColours();
    const long style = const_cast<RichEdit *>(this)->SendScintilla(SCI_GETSTYLEAT, static_cast<unsigned long>(offset)) & 0xFF;
    return m_baseStyle[static_cast<size_t>(style)] != 0;
}

Colour RichEdit::colourAt(qsizetype offset) const
{
    auto *self = const_cast<RichEdit *>(this);
    self->finishColours();
    // The control returns the style byte as a signed char: styles above 127 come back negative.
    const int style = m_baseStyle[static_cast<size_t>(self->SendScintilla(SCI_GETSTYLEAT, static_cast<unsigned long>(offset)) & 0xFF)];
    // CSS in a style block has its colour from an indicator (richeditcss.cpp).
    const long css = self->SendScintilla(SCI_INDICATORVALUEAT, static_cast<unsigned long>(kCssIndicator), static_cast<long>(offset));
    if (css != 0)
        return static_cast<Colour>(css & SC_INDICVALUEMASK);
    if (style == 0)
        return m_textColour;
    return static_cast<Colour>(self->SendScintilla(SCI_STYLEGETFORE, static_cast<unsigned long>(style)));
}

void RichEdit::noteEditAfterPass(int position, int type, const char *text, int length)
{
    LastPass &last = m_lastPass;
    if (!last.valid)
        return;
    // One edit inside the range the pass covered, that neither makes nor joins lines.
    const bool inserted = (type & SC_MOD_INSERTTEXT) != 0;
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

void RichEdit::colourZone(qsizetype start, qsizetype end, Colour base, Colour strings, Colour functions)
{
    if (m_phpLexing)
        return;
    const qsizetype length = textLength();
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
    const std::string_view bytes = range(first - 1, end - first + 1);
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
            showOnlyShownParts(start - 1, start, &style);
        }
        from = std::max<qsizetype>(from, 1);
        to = std::min(to, count - 2);
    } else if (start >= 1 && classes[0] != ColourClass::Keep) {
        char style = styleOf[static_cast<int>(classes[0])];
        if (m_longLines)
            mapToShown(start - 1, &style, 1);
        writeStyles(start - 1, 1, &style, true);
    }
    if (to >= from && oneEdit) {
        thread_local std::vector<char> styles;
        styles.resize(static_cast<size_t>(to - from + 1));
        for (qsizetype k = from; k <= to; ++k)
            styles[static_cast<size_t>(k - from)] = styleOf[static_cast<int>(classes[static_cast<size_t>(k)])];
        const qsizetype offset = start + from - 1;
        showOnlyShownParts(offset, offset + to - from + 1, styles.data());
    }
    m_spareClasses = std::move(last.classes);
    last = {true, start, end, base, strings, functions, std::move(classes), 0, 0, 0};
    m_unwritten.styleOf = {styleOf[0], styleOf[1], styleOf[2], styleOf[3]};
    if (to >= from && !oneEdit)
        writePassColoursAroundView(start + from - 1, start + to);
}

void RichEdit::writePassColoursAroundView(qsizetype from, qsizetype to)
{
    if (to - from <= kColoursAtOnce || m_longLines) {
        writePassColours(from, to);
        return;
    }
    // The bytes of the lines on screen, and a margin around them for a taller window or
    // a short move, are written now; what comes before and after them, while idle.
    const Span shown = shownBytes();
    const qsizetype nowFrom = std::clamp(shown.from - kColourSlice / 4, from, to);
    const qsizetype nowTo = std::clamp(shown.to + kColourSlice, nowFrom, to);
    writePassColours(nowFrom, nowTo);
    for (const Span span : {Span{nowTo, to}, Span{from, nowFrom}})
        if (span.to > span.from)
            m_unwritten.spans.push_back(span);
    if (coloursPending())
        m_colourSlices->start();
}

// --- The file's form -----------------------------------------------------------

void RichEdit::showForm(TextForm *form)
{
    m_form = form ? form : &m_ownForm;
}

void RichEdit::takeFileText(const QByteArray &crlf, bool binary)
{
    m_form->windows1252 = false; // no check of the new text while it comes in
    m_form->breaks.clear();
    setReadOnly(false);
    applyBytes(crlf);
    if (binary) {
        setUtf8(false);
        m_asciiShown = false;
    }
    setReadOnly(binary);
}

qsizetype RichEdit::lineEndOffset(int line) const
{
    return const_cast<RichEdit *>(this)->SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line));
}

// --- Events ------------------------------------------------------------------

void RichEdit::keyPressEvent(QKeyEvent *event)
{
    int vk = virtualKeyCode(event->key());
    Q_EMIT keyDown(vk);
    if (!acceptsText(event->text()))
        return;
    if (m_asciiShown && !isAscii(event->text()))
        showAsUtf8(); // before the control turns the text into bytes
    m_typing = true;
    typeQuietly(event);
    m_typing = false;
}

void RichEdit::inputMethodEvent(QInputMethodEvent *event)
{
    if (m_asciiShown && !(isAscii(event->commitString()) && isAscii(event->preeditString())))
        showAsUtf8();
    if (!acceptsText(event->commitString())) {
        QInputMethodEvent cleared(event->preeditString(), event->attributes());
        QsciScintilla::inputMethodEvent(&cleared);
        return;
    }
    QsciScintilla::inputMethodEvent(event);
}

QByteArray RichEdit::fromMimeData(const QMimeData *source, bool &rectangular) const
{
    // Pasted or dropped text: the control turns it into bytes of the code page it shows.
    if (m_asciiShown && !isAscii(source->text()))
        const_cast<RichEdit *>(this)->showAsUtf8();
    return QsciScintilla::fromMimeData(source, rectangular);
}

void RichEdit::paste()
{
    if (acceptsText(QGuiApplication::clipboard()->text()))
        QsciScintilla::paste();
}

void RichEdit::keyReleaseEvent(QKeyEvent *event)
{
    QsciScintilla::keyReleaseEvent(event);
    if (!event->isAutoRepeat())
        Q_EMIT keyUp(virtualKeyCode(event->key()));
}

// Like the rich-edit control it stands for, the editor shows no selection
// while another control holds the keyboard focus.
void RichEdit::focusInEvent(QFocusEvent *event)
{
    SendScintilla(SCI_HIDESELECTION, 0L);
    QsciScintilla::focusInEvent(event);
}

void RichEdit::focusOutEvent(QFocusEvent *event)
{
    QsciScintilla::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason) // the context menu keeps the selection in view
        SendScintilla(SCI_HIDESELECTION, 1L);
}

void RichEdit::mousePressEvent(QMouseEvent *event)
{
    // A marked line's number or dot leads to the line itself: the control's own
    // margin click selects the line and leaves the caret at the start of the next.
    if (event->button() == Qt::LeftButton && !m_marks.empty()) {
        const QPoint at = event->position().toPoint();
        const int line = at.x() >= 0 && at.x() < marginsWidth() ? lineAtMarginY(at.y()) : -1;
        if (line >= 0 && !errorMessages(line).isEmpty()) {
            event->accept();
            setFocus(Qt::MouseFocusReason);
            setCursorPosition(line, 0);
            ensureLineVisible(line);
            Q_EMIT errorMarkClicked(line);
            return;
        }
    }
    QsciScintilla::mousePressEvent(event);
    Q_EMIT mouseDown(event->button());
}

QMenu *RichEdit::createFrenchContextMenu()
{
    auto *menu = new QMenu(this);
    const bool readOnly = isReadOnly();
    const bool selection = hasSelectedText();
    auto add = [&](const QString &text, const QKeySequence &keys, bool enabled, auto slot) {
        QAction *action = menu->addAction(text, this, slot);
        action->setShortcut(keys);
        action->setEnabled(enabled);
    };
    add(QStringLiteral("Annuler"), QKeySequence::Undo, !readOnly && isUndoAvailable(), &QsciScintilla::undo);
    add(QStringLiteral("Rétablir"), QKeySequence::Redo, !readOnly && isRedoAvailable(), &QsciScintilla::redo);
    menu->addSeparator();
    add(QStringLiteral("Couper"), QKeySequence::Cut, !readOnly && selection, &QsciScintilla::cut);
    add(QStringLiteral("Copier"), QKeySequence::Copy, selection, &QsciScintilla::copy);
    add(QStringLiteral("Coller"), QKeySequence::Paste, !readOnly && SendScintilla(SCI_CANPASTE), &QsciScintilla::paste);
    add(QStringLiteral("Supprimer"), QKeySequence(), !readOnly && selection, &QsciScintilla::removeSelectedText);
    menu->addSeparator();
    add(QStringLiteral("Tout sélectionner"), QKeySequence::SelectAll, textLength() > 0, [this] { selectAll(); });
    menu->addSeparator();
    QAction *numbers = menu->addAction(QStringLiteral("Numéros de ligne"));
    numbers->setObjectName(QStringLiteral("lineNumbersAction"));
    numbers->setCheckable(true);
    numbers->setChecked(m_lineNumbers);
    connect(numbers, &QAction::toggled, this, &RichEdit::setLineNumbersShown);
    return menu;
}

void RichEdit::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createFrenchContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}


void RichEdit::addMark(int line, const QString &message, ErrorSource source)
{
    if (m_marks.empty()) {
        SendScintilla(SCI_MARKERDEFINE, kLintMarker, SC_MARK_BACKGROUND);
        SendScintilla(SCI_MARKERSETBACK, kLintMarker, kLightRed);
        SendScintilla(SCI_MARKERDEFINE, kServerMarker, SC_MARK_BACKGROUND);
        SendScintilla(SCI_MARKERSETBACK, kServerMarker, kLightRed);
        SendScintilla(SCI_MARKERDEFINE, kDotMarker, SC_MARK_CIRCLE);
        SendScintilla(SCI_MARKERSETBACK, kDotMarker, kRed);
        SendScintilla(SCI_MARKERSETFORE, kDotMarker, kRed);
        SendScintilla(SCI_SETMARGINTYPEN, kMarkMargin, SC_MARGIN_SYMBOL);
        SendScintilla(SCI_SETMARGINMASKN, kMarkMargin, long(1u << kDotMarker));
    }
    line = std::clamp(line, 0, std::max(0, lineCount() - 1));
    const int background = int(SendScintilla(SCI_MARKERADD, line, source == ErrorSource::Lint ? kLintMarker : kServerMarker));
    const int dot = int(SendScintilla(SCI_MARKERADD, line, kDotMarker));
    m_marks.push_back({background, dot, message, source});
}

void RichEdit::dropMarks(ErrorSource source)
{
    std::erase_if(m_marks, [&](const ErrorMark &mark) {
        if (mark.source != source)
            return false;
        SendScintilla(SCI_MARKERDELETEHANDLE, mark.background);
        SendScintilla(SCI_MARKERDELETEHANDLE, mark.dot);
        return true;
    });
}

void RichEdit::markErrorLine(int line, const QString &message)
{
    dropMarks(ErrorSource::Lint);
    if (line >= 0)
        addMark(line, message, ErrorSource::Lint);
}

void RichEdit::markServerError(int line, const QString &message)
{
    for (const ErrorMark &mark : m_marks) {
        if (mark.source == ErrorSource::Server && mark.message == message
            && SendScintilla(SCI_MARKERLINEFROMHANDLE, mark.background) == line)
            return; // the same error again (a stack trace names its line twice)
    }
    addMark(line, message, ErrorSource::Server);
}

void RichEdit::clearServerErrors()
{
    dropMarks(ErrorSource::Server);
}

int RichEdit::errorLine() const
{
    return int(const_cast<RichEdit *>(this)->SendScintilla(SCI_MARKERNEXT, 0L, long(kErrorMarkerMask)));
}

QString RichEdit::errorMessages(int line) const
{
    QStringList messages;
    auto *self = const_cast<RichEdit *>(this);
    for (const ErrorMark &mark : m_marks) {
        if (self->SendScintilla(SCI_MARKERLINEFROMHANDLE, mark.background) == line && !mark.message.isEmpty()
            && !messages.contains(mark.message))
            messages.append(mark.message);
    }
    return messages.join(u'\n');
}

void RichEdit::setMarkMarginVisible(bool visible)
{
    SendScintilla(SCI_SETMARGINWIDTHN, kMarkMargin, visible ? long(kMarkMarginWidth) : 0L);
}

bool RichEdit::markMarginVisible() const
{
    return const_cast<RichEdit *>(this)->SendScintilla(SCI_GETMARGINWIDTHN, kMarkMargin) > 0;
}

int RichEdit::marginsWidth() const
{
    auto *self = const_cast<RichEdit *>(this);
    long width = 0;
    for (int margin = 0; margin < 5; ++margin)
        width += self->SendScintilla(SCI_GETMARGINWIDTHN, margin);
    return int(width);
}

int RichEdit::lineAtMarginY(int y) const
{
    auto *self = const_cast<RichEdit *>(this);
    const long height = std::max(1L, self->SendScintilla(SCI_TEXTHEIGHT, 0L));
    if (y < 0)
        return -1;
    const long visible = self->SendScintilla(SCI_GETFIRSTVISIBLELINE) + y / height;
    // Below the last line there is no line (the control would answer the last one).
    if (visible >= self->SendScintilla(SCI_VISIBLEFROMDOCLINE, long(lineCount())))
        return -1;
    return int(self->SendScintilla(SCI_DOCLINEFROMVISIBLE, visible));
}

bool RichEdit::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::Paint && coloursPending()) {
        // Lines about to be drawn whose colours are still to write: all of them go in now.
        const Span shown = shownBytes();
        for (const Span &span : m_unwritten.spans) {
            if (span.from <= shown.to && shown.from < span.to) {
                finishColours();
                break;
            }
        }
    }
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QPoint at = help->pos();
        const QString text = at.x() >= 0 && at.x() < marginsWidth() ? errorMessages(lineAtMarginY(at.y())) : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    const bool handled = QsciScintilla::viewportEvent(event);
    // The control announces its update inside most paints, where the CSS colours are
    // worked out; a paint without it (the view grown taller) has them done after.
    if (event->type() == QEvent::Paint)
        refreshCss();
    return handled;
}

QColor toQColor(Colour colour)
{
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

Colour fromQColor(const QColor &colour)
{
    return Colour(colour.red()) | (Colour(colour.green()) << 8) | (Colour(colour.blue()) << 16);
}
