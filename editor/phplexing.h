#pragma once

#include "editor/bytespan.h"
#include "editor/csstokens.h"
#include "editor/phppalette.h"

#include <QtGlobal>

#include <array>
#include <cstdint>
#include <map>
#include <vector>

class QsciLexerHTML;
class RichEdit;

/** The indicator that draws the CSS of style blocks in colour (none of the control's own). */
inline constexpr int kCssIndicator = 20;

/**
 * "Coloration PHP": while on, the control's own lexer for HTML with embedded PHP
 * colours the whole text as it is shown and edited, in a palette made from the
 * editor's background and text colours, and the colouring pass writes nothing. A
 * text with a line longer than 32 KB is not lexed: it keeps the long-line handling,
 * and the lexer comes back with the next text without one.
 *
 * The lexer leaves the CSS of a <style> block in its plain style: while it runs, each
 * paint colours the CSS among the lines it draws, in the same palette, through an
 * indicator (phplexingcss.cpp). Offsets are the editor's byte offsets. Owned by the
 * editor.
 */
class PhpLexing
{
public:
    explicit PhpLexing(RichEdit &edit);

    void setPhpColouring(bool on);
    bool phpColouring() const { return m_wanted; }
    /** True while the lexer colours the text: on, and no long line in the way. */
    bool active() const { return m_active; }
    /** What the lexer made of the character at `offset` (Plain while it does not run). */
    PhpStyleKind styleKindAt(qsizetype offset) const;
    /** Attaches the lexer to the text or takes it off, whatever "Coloration PHP" says. */
    void use(bool on);
    /** Attaches the lexer to a text shown now that has none of its own yet. */
    void attachToShownText();
    /** Makes the palette again from the editor's background and text colours. */
    void applyPalette();

    /** Takes every CSS colour off the text and forgets what was known of it. */
    void dropCssColours();
    /** Colours the CSS of the lines on screen where not known right: called as they are painted. */
    void refreshCss();
    /** Follows an insertion or deletion: the style tags move, the CSS after the change is scanned again. */
    void noteEdit(int position, int type, int length);

private:
    struct StyleTag
    {
        qsizetype at;  // offset of its "<"
        bool closing;  // "</style", else "<style"
    };
    struct CssBlock
    {
        qsizetype start = -1;       // where the block's CSS starts: just after its opening tag
        qsizetype from = 0, to = 0; // the part of it to colour
    };
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

    RichEdit &m_edit;
    QsciLexerHTML *m_lexer = nullptr; // made at first use, owned by the editor
    bool m_wanted = false;
    bool m_active = false;
    struct CssColours
    {
        // Every "<style" and "</style" in the bytes [0, indexedTo), whether the lexer
        // made a tag of it or not (it may be inside a PHP string), in order.
        std::vector<StyleTag> tags;
        qsizetype indexedTo = 0;
        ByteSpan right;                       // the bytes whose CSS colours are known to be right
        std::map<qsizetype, CssState> states; // the scanner's state kept at offsets inside blocks
        std::array<std::int32_t, 8> values{}; // the indicator's value for each CssKind, 0 for none
        // What the indicator holds over [drawnFrom, drawnFrom + size), as last written
        // and moved by edits since; -1 where not known.
        qsizetype drawnFrom = 0;
        std::vector<std::int32_t> drawn;
    } m_css;
};
