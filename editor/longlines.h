#pragma once

#include "editor/bytespan.h"

#include <QByteArray>

#include <array>

class RichEdit;

/**
 * Very long lines, such as minified code. On a line longer than 32 KB only a part is
 * drawn: a window of a few screens around the caret on the caret's line, the first
 * screens on any other; the window follows the caret. Every byte outside it has an
 * invisible twin of its colour style, which the control skips when it lays the line
 * out. Colours are read through the twins (baseStyle), so nothing but the drawing
 * knows of them. Offsets are the editor's byte offsets. Owned by the editor.
 */
class LongLines
{
public:
    explicit LongLines(RichEdit &edit);
    ~LongLines();

    /** True when the byte at `offset` is drawn. */
    bool isShown(qsizetype offset) const;
    /** True while a line of the text is, or was, long. */
    bool active() const { return m_active; }
    /** True when `crlf` holds a line longer than a long line. */
    static bool holdsLongLine(const QByteArray &crlf);

    /** The colour style a style stands for: itself, or the style whose twin it is. */
    int baseStyle(int style) const { return m_baseStyle[static_cast<size_t>(style & 0xFF)]; }
    /** Forgets every twin: the style table was cleared. */
    void forgetTwins();
    /** Gives the bytes [from, from + count) their real style where shown, their twin elsewhere. */
    void mapToShown(qsizetype from, char *styles, qsizetype count);
    /**
     * Puts the styles of [from, to) right: real where shown, twins elsewhere. With
     * `colours`, each byte takes the colour (real style) given for it; without, it
     * keeps its own. Only the part that changes is written.
     */
    void showOnlyShownParts(qsizetype from, qsizetype to, const char *colours = nullptr);
    /** Hides the far parts of the long lines of a new text `crlf`, all in style 0. */
    void hideLongLinesOf(const QByteArray &crlf);
    /** Follows an insertion or deletion: a line may have become long, the window moves with the text. */
    void noteEdit(int position, int type, int length, const char *text);
    /** Takes the state a text had when it was left, or a new text's (`hold` false, no window). */
    void hold(bool hold);
    ByteSpan window() const { return m_window; }
    void setWindow(ByteSpan window) { m_window = window; }
    /** Forgets the bytes touched since the caret was last followed (another text is shown). */
    void forgetTouched() { m_touched = {}; }

    /**
     * A text of ASCII only with a long line is shown by the control as single bytes,
     * which it lays out faster; it turns to UTF-8 before any other character comes in.
     */
    bool asciiShown() const { return m_asciiShown; }
    void setAsciiShown(bool shown) { m_asciiShown = shown; }
    /** The code page to show `crlf` in: 0 (single bytes) or UTF-8. */
    int codePageFor(const QByteArray &crlf);
    /** Shows the text as UTF-8 from now on, if it was shown as single bytes. */
    void showAsUtf8();

    /** True while assistive technology listens to the program. */
    static bool assistiveTechnologyRuns();

private:
    void followCaret();
    ByteSpan shownPart(qsizetype lineStart, qsizetype lineEnd) const;
    int twinOf(int style, qsizetype offset);

    RichEdit &m_edit;
    // Each style's base (itself, or the style a twin stands for) and the two invisible
    // twins of each base (0: none yet).
    std::array<unsigned char, 256> m_baseStyle{};
    std::array<std::array<unsigned char, 2>, 256> m_twins{};
    bool m_active = false;
    bool m_asciiShown = false;
    ByteSpan m_window;  // the shown part of the caret's long line
    ByteSpan m_touched; // bytes changed since the caret was last followed
};
