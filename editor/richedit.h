#pragma once

#include "editor/colouring.h"
#include "editor/csstokens.h"
#include "editor/findtask.h"
#include "editor/phppalette.h"
#include "base/errors.h"
#include "io/textform.h"

#include <Qsci/qsciscintilla.h>

#include <QByteArray>
#include <QHash>
#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

/** Gives new entries no value: a vector that the colouring pass fills whole needs no zeroing of megabytes first. */
template <typename T>
struct UnfilledAllocator : std::allocator<T>
{
    template <typename U>
    struct rebind
    {
        using other = UnfilledAllocator<U>;
    };
    UnfilledAllocator() = default;
    template <typename U>
    UnfilledAllocator(const UnfilledAllocator<U> &) noexcept
    {
    }
    template <typename U>
    void construct(U *at) noexcept
    {
        ::new (static_cast<void *>(at)) U;
    }
    template <typename U, typename... Args>
    void construct(U *at, Args &&...args)
    {
        ::new (static_cast<void *>(at)) U(std::forward<Args>(args)...);
    }
};
using PassClasses = std::vector<ColourClass, UnfilledAllocator<ColourClass>>;

class QsciLexerHTML;
class QTimer;

/** The highest style number the control has. */
inline constexpr int kMaxStyle = 255;
/** The indicator that draws the CSS of style blocks in colour (none of the control's own). */
inline constexpr int kCssIndicator = 20;

/**
 * A save refused because the file had to be written in place and its old content
 * could be kept safe nowhere: only the user may allow the write.
 */
class NoSafeCopyError : public OndrelError
{
public:
    using OndrelError::OndrelError;
};

/**
 * The source editor `M`: the operations the program performs on its editor
 * control, over QScintilla.
 *
 * The control holds bytes. Offsets and lengths are 0-based byte offsets between
 * characters of the whole text, in which a line break is always the two bytes
 * CR LF. Colours are per character: style 0 has no colour of its own and is
 * drawn in the text colour; every explicit colour is a style of its own.
 */
class RichEdit : public QsciScintilla
{
    Q_OBJECT
public:
    struct CaretPos
    {
        qsizetype x; // bytes between the start of line y and the end of the selection
        int y;       // 0-based line holding the end of the selection
    };

    explicit RichEdit(QWidget *parent = nullptr);
    ~RichEdit() override;

    // Text.
    QByteArray wholeText() const;
    qsizetype textLength() const;
    /** Direct read access to the bytes [from, from + length); valid until the next change. */
    std::string_view range(qsizetype from, qsizetype length) const;
    char byteAt(qsizetype offset) const;
    /** Line `line` without its line break, at most 4096 bytes. */
    QByteArray lineText(int line) const;
    int lineCount() const;
    qsizetype lineStartOffset(int line) const;
    int lineOfOffset(qsizetype offset) const;
    /**
     * The scans of the recolouring range, done from `offset` outward so that their
     * cost grows with the length of the line, never with the size of the text:
     * the offset just after the nearest CR before `offset` (0 if none), and the
     * offset just after the first CR at or after offset − 1 (the length if none).
     */
    qsizetype offsetAfterCrBefore(qsizetype offset) const;
    qsizetype offsetAfterCrFrom(qsizetype offset) const;
    /**
     * True while every line break of the text is CR LF, so that the control's line
     * index counts exactly the CRs of the text (loaded and typed text always is).
     */
    bool onlyCrLfBreaks() const { return m_onlyCrLf; }
    /** Text of the control's bytes: UTF-8 when the text is shown as UTF-8, else Windows-1252. */
    QString decode(const QByteArray &bytes) const;
    /** Replaces the whole text (line breaks made CR LF); no file is involved. */
    void setBytes(const QByteArray &bytes);

    // Caret and selection.
    CaretPos caretPosition() const;
    /**
     * `offset` counted in the file's characters, as the read-out shows positions: the
     * same for a UTF-8 file (its bytes), one per character for a Windows-1252 file,
     * which the control holds as UTF-8.
     */
    qsizetype fileOffset(qsizetype offset) const;
    qsizetype selStart() const;
    qsizetype selLength() const;
    void setSelStart(qsizetype offset);
    void setSelLength(qsizetype length);
    /** Selects start … start + length as setSelStart and setSelLength do, without scrolling the view. */
    void restoreSelection(qsizetype start, qsizetype length);

    // Colours.
    Colour backgroundColour() const { return m_background; }
    void setBackgroundColour(Colour colour);
    Colour textColour() const { return m_textColour; }
    void setTextColour(Colour colour);
    void setSelColour(Colour colour);
    /** The colour the character at `offset` is drawn in. */
    Colour colourAt(qsizetype offset) const;
    /** True when the character at `offset` has a colour of its own. */
    bool hasOwnColour(qsizetype offset) const;
    /**
     * Runs the colouring pass over positions start … end and writes its colours
     * into the text by runs, without moving the selection.
     */
    void colourZone(qsizetype start, qsizetype end, Colour base, Colour strings, Colour functions);
    /**
     * A pass over a big text writes its colours around the view at once and the rest
     * by slices while the program is idle. True while some are still to write; every
     * reader and writer of colours, an edit, a scroll and a change of text write them
     * all first, so none of them ever sees the difference.
     */
    bool coloursPending() const { return !m_unwritten.spans.empty(); }
    /** Writes now the colours of the last pass still to write. */
    void finishColours();
    /**
     * While on (the program recolours the caret's line at each key's release), a typed
     * character takes the colour of the one before it until that pass: when the pass
     * finds it right, the control has no second layout of the line to make.
     */
    void setRecolouredWhileTyping(bool on) { m_recolouredWhileTyping = on; }

    // Colouring by the control's lexer for PHP in HTML (richeditphp.cpp).
    /**
     * "Coloration PHP": while on, the control's own lexer for HTML with embedded PHP
     * colours the whole text as it is shown and edited, in a palette made from the
     * background and text colours, and the colouring pass writes nothing (colourZone
     * does nothing). A text with a line longer than 32 KB is not lexed: it keeps the
     * long-line handling, and the lexer comes back with the next text without one.
     */
    void setPhpColouring(bool on);
    bool phpColouring() const { return m_phpWanted; }
    /** True while the lexer colours the text: on, and no long line in the way. */
    bool phpLexing() const { return m_phpLexing; }
    /** What the lexer made of the character at `offset` (Plain while it does not run). */
    PhpStyleKind phpStyleKindAt(qsizetype offset) const;
    /**
     * The lexer leaves the CSS of a <style> block in its plain style: while it runs,
     * each paint colours the CSS among the lines it draws, in the same palette
     * (richeditcss.cpp). colourAt tells these colours too.
     */

    // Display and typing (richeditview.cpp).
    /** The line-number margin, shown by default; its width follows the number of lines. */
    void setLineNumbersShown(bool shown);
    /** Columns between tab stops (1 to 32; other values are brought into that range). */
    void setTabColumns(int columns);

    // Very long lines (richeditlonglines.cpp).
    /**
     * True when the byte at `offset` is drawn. On a line longer than 32 KB only a
     * part is: a window of a few screens around the caret on the caret's line, the
     * first screens on any other. The window follows the caret.
     */
    bool isShown(qsizetype offset) const;

    // Search (richeditsearch.cpp).
    struct SearchOptions
    {
        bool matchCase = false;
        bool wholeWord = false;
        bool regex = false; // PCRE2 syntax; "\1" in a replacement is the first group
    };
    /** A find-bar task over a copy of the text, with the selection as it is now. */
    FindRequest findRequest(FindRequest::Kind kind, const QString &text, const QString &replacement,
                            const SearchOptions &options) const;
    /**
     * Applies a task's result: selects its match; puts its replacements in as one undo
     * step. False, and nothing done, when the text is no longer the request's.
     */
    bool applyFound(const FindRequest &request, const FindResult &result);
    /** True when the text is exactly `text`. */
    bool holdsText(const QByteArray &text) const;
    /**
     * The same, worked out at once on this thread: selects the next match of `text`
     * after the selection (before it when `backwards`), going round the end of the
     * text; false, and the selection unchanged, when there is none.
     */
    bool findMatch(const QString &text, const SearchOptions &options, bool backwards);
    /** Replaces every match in the text as one undo step; returns how many. */
    qsizetype replaceAll(const QString &text, const QString &replacement, const SearchOptions &options);
    /** Text as the control's bytes: UTF-8 when the text is shown as UTF-8, else Windows-1252. */
    QByteArray encode(const QString &text) const;

    // The file the text belongs to (its path, save and watch are EditedFile's).
    /**
     * The form of the shown text's file: its encoding, each line's break, whether it
     * is binary. The control keeps the line breaks in step with edits and refuses
     * characters the encoding cannot hold. `form` must outlive its showing: null
     * gives the control's own blank form back.
     */
    void showForm(TextForm *form);
    const TextForm &form() const { return *m_form; }
    /**
     * Replaces the whole text with a file's, `crlf` its bytes with CR LF breaks (UTF-8
     * unless `binary`): undo history emptied, marks dropped, caret at the start, the
     * text unmodified, read-only when binary.
     */
    void takeFileText(const QByteArray &crlf, bool binary);
    /** Offset of the end of line `line`, before its line break. */
    qsizetype lineEndOffset(int line) const;
    // Several texts in one control (richeditdocuments.cpp).
    /** What the control keeps of a text while it shows another: caret, view, marks, long lines. */
    struct ShownState;
    /** Leaves the text shown now: what the control kept of it, for showDocument. */
    ShownState leaveDocument();
    /**
     * Shows `document`, whose file has the form `form`, as it was when it was left
     * (`state`), or as a new text when `state` is a default one.
     */
    void showDocument(const QsciDocument &document, TextForm *form, ShownState state);

    /** True for a binary file's text: shown read-only, never written. */
    bool isBinary() const { return m_form->binary; }
    /** True for a file that is not UTF-8, shown and written as Windows-1252. */
    bool isWindows1252() const { return m_form->windows1252; }

    /** Who found an error: `php -l`, or the server while it ran the page. */
    enum class ErrorSource { Lint, Server };
    /**
     * Marks the 0-based `line` as holding the syntax error `message` (a red
     * background, and a red dot in the mark margin whose tooltip is the message);
     * -1 takes the syntax error's mark away. Only one syntax error is marked.
     */
    void markErrorLine(int line, const QString &message = QString());
    /** Adds a mark for an error the server reported while running the page; one per line. */
    void markServerError(int line, const QString &message);
    /** Takes every mark of the server's errors away. */
    void clearServerErrors();
    /** The first 0-based line that holds an error mark, -1 when none; marks follow edits above them. */
    int errorLine() const;
    /** The messages of the marks on the 0-based `line`, one a line; empty when it has none. */
    QString errorMessages(int line) const;
    /** Shows or hides the narrow margin where the error dots are drawn. */
    void setMarkMarginVisible(bool visible);
    bool markMarginVisible() const;

Q_SIGNALS:
    /** A key was pressed, before the control acts on it; `vk` is the Windows virtual-key code. */
    void keyDown(int &vk);
    void keyUp(int vk);
    /** A mouse button was pressed (each press of a double click), after the control has placed the caret. */
    void mouseDown(Qt::MouseButton button);
    /** A click on the number or the dot of a line that holds an error: the caret is put there first. */
    void errorMarkClicked(int line);
    /** A mouse button was released, after the control has acted on it. */
    void mouseUp(Qt::MouseButton button);
    /** Something the user should read in the editor page (a refused character). */
    void notice(const QString &text);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    QByteArray fromMimeData(const QMimeData *source, bool &rectangular) const override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

public:
    /** Pastes the clipboard's text, unless the file's encoding cannot hold it. */
    void paste() override;
    /** The editor's context menu, with French texts (the control's own menu is English only). */
    QMenu *createFrenchContextMenu();

private:
    int styleFor(Colour colour);
    /** Where a selection of `length` bytes from `start` ends: never inside a character. */
    qsizetype selectionEnd(qsizetype start, qsizetype length) const;
    /**
     * Gives the bytes [from, from + count) the styles `styles`, or all the one style
     * `style`. The whole text then counts as styled again: the colours are the
     * program's own, and a text the control thinks unstyled makes it compare the
     * caret's line with its last layout byte by byte at the next paint.
     */
    void writeStyles(qsizetype from, qsizetype count, const char *styles, bool keepsColours = false);
    void writeStyle(qsizetype from, qsizetype count, int style);
    /** writeStyles without writing the pending colours first. */
    void putStyles(qsizetype from, qsizetype count, const char *styles);
    /** When `edge` falls inside a character, gives all of it the style of its first byte. */
    void keepCharacterWhole(qsizetype edge);
    /** A style no colour and no twin uses yet, or -1 when every style is taken. */
    int takeStyle();
    /** Frees the styles no character uses, keeping those of `pinned`; true if one was freed. */
    bool reclaimStyles(const QList<int> &pinned);
    int nearestStyle(Colour colour) const;
    // Display and typing (richeditview.cpp).
    void setUpView();
    void fitLineNumberMargin();
    void indentNewLine();
    // Very long lines (richeditlonglines.cpp).
    struct Span
    {
        qsizetype from = -1, to = -1;
    };
    void setUpLongLines();
    /** True when `crlf` holds a line longer than a long line. */
    static bool holdsLongLine(const QByteArray &crlf);
    void noteLongLineEdit(int position, int type, int length, const char *text);
    void hideLongLinesOf(const QByteArray &crlf);
    void followCaretInLongLine();
    Span shownPart(qsizetype lineStart, qsizetype lineEnd) const;
    /** Gives the bytes [from, from + count) their real style where shown, their twin elsewhere. */
    void mapToShown(qsizetype from, char *styles, qsizetype count);
    /**
     * Puts the styles of [from, to) right: real where shown, twins elsewhere. With
     * `colours`, each byte takes the colour (real style) given for it; without, it
     * keeps its own. Only the part that changes is written.
     */
    void showOnlyShownParts(qsizetype from, qsizetype to, const char *colours = nullptr);
    int twinOf(int style, qsizetype offset);
    // Search (richeditsearch.cpp).
    void replaceSpan(const std::vector<FindResult::Replaced> &replaced, const QByteArray &bytes);
    FindResult findNow(FindRequest::Kind kind, const QString &text, const QString &replacement,
                       const SearchOptions &options);
    void noteInsertion(int position, int type, const char *text, int length);
    void noteModification(int position, int type, const char *text, int length, int linesAdded);
    bool acceptsText(const QString &text);
    void applyBytes(const QByteArray &crlf);
    void addMark(int line, const QString &message, ErrorSource source);
    void dropMarks(ErrorSource source);
    int lineAtMarginY(int y) const;
    /** Where the text starts: the width of the line numbers and the mark margin together. */
    int marginsWidth() const;

    struct ErrorMark
    {
        int background; // marker handles: they follow the line through edits
        int dot;
        QString message;
        ErrorSource source;
    };
    std::vector<ErrorMark> m_marks;
    int m_tabColumns = 4;
    /** Colours written by the colouring pass are kept in step with this count (resetOwnStyles counts). */
    quint64 m_styleGeneration = 0;

    Colour m_background = 0xFFFFFF;
    Colour m_textColour = 0x000000;
    QHash<Colour, int> m_styles; // explicit colours → their styles
    int m_nextStyle = 1;         // the next style never used yet
    QList<int> m_freeStyles;     // styles reclaimed from colours no character has any more
    TextForm m_ownForm;          // the form of a text that belongs to no file
    TextForm *m_form = &m_ownForm; // the shown text's form
    bool m_onlyCrLf = true;
    QList<int> m_pinnedStyles;   // styles a colouring pass is about to write
    bool m_lineNumbers = true;
    int m_numberDigits = 0;      // digits the line-number margin is sized for
    bool m_characterIndex = false; // the control keeps the character offset of each line
    // Very long lines: each style's base (itself, or the style a twin stands for) and
    // the two invisible twins of each base (0: none yet).
    std::array<unsigned char, 256> m_baseStyle{};
    std::array<std::array<unsigned char, 2>, 256> m_twins{};
    bool m_longLines = false; // a line of the text is, or was, long
    void holdLongLines(bool hold);
    // A text of ASCII only with a long line is shown by the control as single bytes,
    // which it lays out faster; it turns to UTF-8 before any other character comes in.
    bool m_asciiShown = false;
    int codePageFor(const QByteArray &crlf);
    void showAsUtf8();
    bool textIsUtf8() const { return m_asciiShown || const_cast<RichEdit *>(this)->isUtf8(); }
    static bool assistiveTechnologyRuns();
    Span m_window;            // the shown part of the caret's long line
    Span m_touched;           // bytes changed since the caret was last followed
    // The last colouring pass and the one edit since, while no other colour was written:
    // the next pass over the same range then writes only where its classes differ.
    struct LastPass
    {
        bool valid = false;
        qsizetype start = 0, end = 0;
        Colour base = 0, strings = 0, functions = 0;
        PassClasses classes;
        int edits = 0;
        qsizetype editOffset = 0;
        qsizetype editLength = 0; // bytes inserted (> 0) or deleted (< 0)
    } m_lastPass;
    PassClasses m_spareClasses;
    // The colours of the last pass not written yet (byte ranges, in writing order), read
    // from its classes: index k of the classes is byte start + k − 1.
    struct UnwrittenColours
    {
        std::vector<Span> spans;
        std::array<char, 4> styleOf{};
    } m_unwritten;
    QTimer *m_colourSlices = nullptr;
    /** Writes the pass's colours of the bytes [from, to). */
    void writePassColours(qsizetype from, qsizetype to);
    /** Writes them around the view now, and the rest while idle when there is much. */
    void writePassColoursAroundView(qsizetype from, qsizetype to);
    void writeColourSlice();
    /** The bytes of the lines on screen. */
    Span shownBytes();
    /** Forgets the colours still to write (the text they were for is going). */
    void dropUnwrittenColours() { m_unwritten.spans.clear(); }
    bool m_recolouredWhileTyping = false;
    // "Coloration PHP" (richeditphp.cpp).
    QsciLexerHTML *m_phpLexer = nullptr; // made at first use, owned by the editor
    bool m_phpWanted = false;
    bool m_phpLexing = false;
    void usePhpLexer(bool on);
    void applyPhpPalette();
    /** The program's own style table again, every character in style 0. */
    void resetOwnStyles();
    // CSS in <style> blocks while the lexer runs (richeditcss.cpp).
    struct StyleTag
    {
        qsizetype at;  // offset of its "<"
        bool closing;  // "</style", else "<style"
    };
    struct CssBlock
    {
        qsizetype start = -1;      // where the block's CSS starts: just after its opening tag
        qsizetype from = 0, to = 0; // the part of it to colour
    };
    struct CssColours
    {
        // Every "<style" and "</style" in the bytes [0, indexedTo), whether the lexer
        // made a tag of it or not (it may be inside a PHP string), in order.
        std::vector<StyleTag> tags;
        qsizetype indexedTo = 0;
        Span right;                            // the bytes whose CSS colours are known to be right
        std::map<qsizetype, CssState> states;  // the scanner's state kept at offsets inside blocks
        std::array<std::int32_t, 8> values{};  // the indicator's value for each CssKind, 0 for none
        // What the indicator holds over [drawnFrom, drawnFrom + size), as last written
        // and moved by edits since; -1 where not known.
        qsizetype drawnFrom = 0;
        std::vector<std::int32_t> drawn;
    } m_css;
    void setUpCss();
    /** Colours the CSS of the lines on screen where not known right: called as they are painted. */
    void refreshCss();
    /** Takes every CSS colour off the text and forgets what was known of it. */
    void dropCssColours();
    void noteCssEdit(int position, int type, int length);
    void indexStyleTags(qsizetype to);
    bool isStyleTag(qsizetype at) const;
    qsizetype openingTagEnd(qsizetype at) const;
    CssBlock cssBlockFrom(qsizetype at, qsizetype limit) const;
    void colourCss(qsizetype from, qsizetype to);
    /** Appends the indicator's values for the bytes [block.from, block.to) to `values`. */
    void scanCssBlock(const CssBlock &block, std::vector<std::int32_t> &values);
    /** Scans a piece of a block: its CSS bytes go through the scanner, its other bytes interrupt it. */
    static void scanCssPiece(CssScanner &scanner, const std::vector<char> &text, const std::vector<unsigned char> &styles,
                             std::vector<CssKind> &kinds);
    void writeCssColours(qsizetype from, const std::vector<std::int32_t> &values);
    void noteDrawnEdit(qsizetype position, qsizetype length, bool inserted);
    bool m_typing = false; // inside the control's own handling of a key press
    // A typed key's changes, passed on by Ondrel instead of the component (richeditquietedits.cpp).
    struct QuietEdit
    {
        bool inserted = false;
        int performed = 0;
        int position = 0;
        int length = 0;
        QByteArray deleted;
        qsizetype lengthBefore = 0;
        int linesBefore = 0;
    };
    std::optional<QuietEdit> m_quietEdit;
    bool m_quiet = false;
    void typeQuietly(QKeyEvent *event);
    void noteQuietEdit(int position, int type, int length);
    void reportQuietEdit();
    void noteEditAfterPass(int position, int type, const char *text, int length);
};


struct RichEdit::ShownState
{
    bool valid = false; // false: a text never shown
    qsizetype anchor = 0, caret = 0;
    int firstLine = 0;
    int xOffset = 0;
    std::vector<ErrorMark> marks;
    bool onlyCrLf = true;
    bool asciiShown = false;
    bool longLines = false;
    Span window;
    bool characterIndex = false;
    bool lexed = false;
    quint64 styleGeneration = 0;
};

/** Conversions between the 0x00BBGGRR colour value and Qt's colours. */
QColor toQColor(Colour colour);
Colour fromQColor(const QColor &colour);
