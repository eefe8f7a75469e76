#include "editor/richedit.h"
#include "base/virtualkeys.h"
#include "editor/textsearch.h"

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

constexpr qsizetype kMaxLineText = 4096;

bool isAscii(const QString &text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

} // namespace

RichEdit::RichEdit(QWidget *parent)
    : QsciScintilla(parent)
    , m_errorMarks(std::make_unique<ErrorMarks>(*this))
    , m_search(std::make_unique<EditorSearch>(*this))
    , m_longLines(std::make_unique<LongLines>(*this))
    , m_colours(std::make_unique<EditorColours>(*this))
    , m_lexing(std::make_unique<PhpLexing>(*this))
    , m_documents(std::make_unique<EditorDocuments>(*this))
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
}

RichEdit::~RichEdit() = default;

void RichEdit::noteModification(int position, int type, const char *text, int length, int linesAdded)
{
    // The colours still to write are for the text as it is: they go in before it changes.
    if (m_colours->coloursPending() && (type & SC_MOD_BEFOREDELETE) && position == 0 && length == textLength())
        m_colours->dropUnwrittenColours();
    else if (m_colours->coloursPending() && (type & (SC_MOD_BEFOREINSERT | SC_MOD_BEFOREDELETE)))
        m_colours->finishColours();
    if (m_quiet)
        noteQuietEdit(position, type, length);
    if (m_longLines->asciiShown() && (type & SC_MOD_INSERTTEXT) && text && !isAscii(text, length))
        m_longLines->showAsUtf8(); // bytes of the text's own encoding, put in by Ondrel
    noteInsertion(position, type, text, length);
    if (type & (SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT)) {
        m_longLines->noteEdit(position, type, length, text);
        m_colours->noteEdit(position, type, text, length);
        m_lexing->noteEdit(position, type, length);
        if (m_typing && m_colours->recolouredWhileTyping() && !m_lexing->active() && (type & SC_MOD_INSERTTEXT) && position > 0 && text
            && !std::memchr(text, '\r', static_cast<size_t>(length))) {
            const char before = static_cast<char>(SendScintilla(SCI_GETSTYLEAT, static_cast<unsigned long>(position - 1)));
            const std::vector<char> styles(static_cast<size_t>(length), before);
            m_colours->writeStyles(position, length, styles.data(), true);
        }
        // The whole text counts as styled (see writeStyles); the lexer styles what changed.
        if (!m_lexing->active())
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

QByteArray RichEdit::encode(const QString &text) const
{
    return textIsUtf8() ? text.toUtf8() : encodeWindows1252(text);
}

void RichEdit::applyBytes(const QByteArray &crlf)
{
    SendScintilla(SCI_SETCODEPAGE, static_cast<unsigned long>(m_longLines->codePageFor(crlf)));
    SendScintilla(SCI_SETUNDOCOLLECTION, 0L);
    m_errorMarks->clear(); // the marks belong to the text that goes
    m_colours->dropUnwrittenColours();
    SendScintilla(SCI_CLEARALL);
    // Set while the text is empty: attached to a text, the lexer lexes all of it at once.
    m_lexing->use(m_lexing->phpColouring() && !LongLines::holdsLongLine(crlf));
    SendScintilla(SCI_APPENDTEXT, static_cast<unsigned long>(crlf.size()), crlf.constData());
    m_colours->forgetLastPass();
    m_longLines->hideLongLinesOf(crlf);
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
    if (m_lexing->active())
        m_lexing->applyPalette();
}

void RichEdit::setTextColour(Colour colour)
{
    m_textColour = colour;
    SendScintilla(SCI_STYLESETFORE, 0UL, static_cast<long>(colour));
    SendScintilla(SCI_STYLESETFORE, static_cast<unsigned long>(STYLE_DEFAULT), static_cast<long>(colour));
    SendScintilla(SCI_SETCARETFORE, static_cast<unsigned long>(colour));
    if (m_lexing->active())
        m_lexing->applyPalette();
}

ByteSpan RichEdit::shownBytes()
{
    const long top = SendScintilla(SCI_GETFIRSTVISIBLELINE);
    const long firstShown = SendScintilla(SCI_DOCLINEFROMVISIBLE, static_cast<unsigned long>(top));
    const long lastShown = SendScintilla(SCI_DOCLINEFROMVISIBLE, static_cast<unsigned long>(top + SendScintilla(SCI_LINESONSCREEN) + 1));
    const qsizetype from = SendScintilla(SCI_POSITIONFROMLINE, static_cast<unsigned long>(firstShown));
    const qsizetype to = SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(lastShown));
    return {from, std::max(from, to)};
}

void RichEdit::setSelColour(Colour colour)
{
    const qsizetype start = selStart();
    const qsizetype length = selLength();
    if (length <= 0)
        return;
    const int style = m_colours->styleFor(colour);
    m_colours->writeStyle(start, length, style);
    if (m_longLines->active())
        m_longLines->showOnlyShownParts(start, start + length);
}

bool RichEdit::hasOwnColour(qsizetype offset) const
{
    m_colours->finishColours();
    const long style = const_cast<RichEdit *>(this)->SendScintilla(SCI_GETSTYLEAT, static_cast<unsigned long>(offset)) & 0xFF;
    return m_longLines->baseStyle(int(style)) != 0;
}

Colour RichEdit::colourAt(qsizetype offset) const
{
    auto *self = const_cast<RichEdit *>(this);
    m_colours->finishColours();
    // The control returns the style byte as a signed char: styles above 127 come back negative.
    const int style = m_longLines->baseStyle(int(self->SendScintilla(SCI_GETSTYLEAT, static_cast<unsigned long>(offset))));
    // CSS in a style block has its colour from an indicator (richeditcss.cpp).
    const long css = self->SendScintilla(SCI_INDICATORVALUEAT, static_cast<unsigned long>(kCssIndicator), static_cast<long>(offset));
    if (css != 0)
        return static_cast<Colour>(css & SC_INDICVALUEMASK);
    if (style == 0)
        return m_textColour;
    return static_cast<Colour>(self->SendScintilla(SCI_STYLEGETFORE, static_cast<unsigned long>(style)));
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
        m_longLines->setAsciiShown(false);
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
    if (m_longLines->asciiShown() && !isAscii(event->text()))
        m_longLines->showAsUtf8(); // before the control turns the text into bytes
    m_typing = true;
    typeQuietly(event);
    m_typing = false;
}

void RichEdit::inputMethodEvent(QInputMethodEvent *event)
{
    if (m_longLines->asciiShown() && !(isAscii(event->commitString()) && isAscii(event->preeditString())))
        m_longLines->showAsUtf8();
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
    if (m_longLines->asciiShown() && !isAscii(source->text()))
        m_longLines->showAsUtf8();
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
    if (event->button() == Qt::LeftButton) {
        const int line = m_errorMarks->markedLineAt(event->position().toPoint());
        if (line >= 0) {
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


bool RichEdit::viewportEvent(QEvent *event)
{
    // Lines about to be drawn whose colours are still to write: all of them go in now.
    if (event->type() == QEvent::Paint && m_colours->coloursPending())
        m_colours->finishColoursIn(shownBytes());
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString text = m_errorMarks->messagesAt(help->pos());
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
        m_lexing->refreshCss();
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
