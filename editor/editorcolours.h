#pragma once

#include "editor/bytespan.h"
#include "editor/colouring.h"

#include <QHash>
#include <QList>

#include <array>
#include <memory>
#include <vector>

class QTimer;
class RichEdit;

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

/**
 * The editor's colours per character, and the colouring pass that writes them.
 *
 * Colours are the control's styles: style 0 has no colour of its own and is drawn
 * in the text colour; every explicit colour is a style of its own, taken when first
 * used and reclaimed when no character uses it any more. Offsets are the editor's
 * byte offsets. While the PHP lexer colours the text, the lexer's styles are its own
 * and nothing is written here. Owned by the editor.
 */
class EditorColours
{
public:
    explicit EditorColours(RichEdit &edit);
    ~EditorColours();

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
    /** Writes now the colours still to write when some are among the bytes `shown` (about to be drawn). */
    void finishColoursIn(ByteSpan shown);
    /** Forgets the colours still to write (the text they were for is going). */
    void dropUnwrittenColours() { m_unwritten.spans.clear(); }
    /**
     * While on (the program recolours the caret's line at each key's release), a typed
     * character takes the colour of the one before it until that pass: when the pass
     * finds it right, the control has no second layout of the line to make.
     */
    void setRecolouredWhileTyping(bool on) { m_recolouredWhileTyping = on; }
    bool recolouredWhileTyping() const { return m_recolouredWhileTyping; }

    /** The style of `colour`, taken now if it has none. */
    int styleFor(Colour colour);
    /** A style no colour and no twin uses yet, or -1 when every style is taken. */
    int takeStyle();
    /**
     * Gives the bytes [from, from + count) the styles `styles`, or all the one style
     * `style`. The whole text then counts as styled again: the colours are the
     * program's own, and a text the control thinks unstyled makes it compare the
     * caret's line with its last layout byte by byte at the next paint.
     * `keepsColours`: the bytes keep the colours the last pass gave them.
     */
    void writeStyles(qsizetype from, qsizetype count, const char *styles, bool keepsColours = false);
    void writeStyle(qsizetype from, qsizetype count, int style);
    /** Follows an insertion or deletion: the next pass over the same range may write only what differs. */
    void noteEdit(int position, int type, const char *text, int length);
    /** Forgets the last pass: the next one writes all its colours. */
    void forgetLastPass() { m_lastPass.valid = false; }
    /** Forgets every colour style: the style table was cleared. */
    void forgetStyles();
    /** Counts the clearings of the style table: a text left before the last one has colours that no longer mean its own. */
    quint64 styleGeneration() const { return m_styleGeneration; }

private:
    /** writeStyles without writing the pending colours first. */
    void putStyles(qsizetype from, qsizetype count, const char *styles);
    /** When `edge` falls inside a character, gives all of it the style of its first byte. */
    void keepCharacterWhole(qsizetype edge);
    /** Frees the styles no character uses, keeping those of `pinned`; true if one was freed. */
    bool reclaimStyles(const QList<int> &pinned);
    int nearestStyle(Colour colour) const;
    /** Writes the pass's colours of the bytes [from, to). */
    void writePassColours(qsizetype from, qsizetype to);
    /** Writes them around the view now, and the rest while idle when there is much. */
    void writePassColoursAroundView(qsizetype from, qsizetype to);
    void writeColourSlice();

    RichEdit &m_edit;
    QHash<Colour, int> m_styles; // explicit colours → their styles
    int m_nextStyle = 1;         // the next style never used yet
    QList<int> m_freeStyles;     // styles reclaimed from colours no character has any more
    QList<int> m_pinnedStyles;   // styles a colouring pass is about to write
    quint64 m_styleGeneration = 0;
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
        std::vector<ByteSpan> spans;
        std::array<char, 4> styleOf{};
    } m_unwritten;
    QTimer *m_colourSlices = nullptr; // owned by the editor
    bool m_recolouredWhileTyping = false;
};
