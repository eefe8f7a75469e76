#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

/** What a byte of a style sheet is, for its colour. */
enum class CssKind : std::uint8_t {
    Plain,    // white space and punctuation: the text colour
    Selector, // what a rule applies to: p, .note, #menu a:hover
    Property, // color, margin-top
    Value,    // the words of a value: red, bold, solid
    Number,   // 12px, 1.5em, 50%, -2, #fff
    String,   // "…", '…', and the address inside url(…)
    Comment,  // /* … */
    Keyword,  // @media, @import, !important
};

/**
 * Where the scanner stands between two bytes: all it needs to go on from there, so
 * that scanning may stop at any byte and start again later from the state it had.
 */
struct CssState
{
    enum class Place : std::uint8_t {
        Rules,        // selectors, before a rule's "{" (the top, or inside @media)
        Declarations, // inside a rule's braces, before a property's ":"
        Value,        // after a property's ":", up to ";" or "}"
        AtPrelude,    // after an at-rule's name, up to its "{" or ";"
    };
    enum class Inside : std::uint8_t { Code, Comment, SingleQuoted, DoubleQuoted, Url };
    Place place = Place::Rules;
    Inside inside = Inside::Code;
    CssKind token = CssKind::Plain; // the kind of the word being scanned (Plain: between words)
    std::uint8_t tokenLength = 0;   // bytes of that word so far, up to 255
    bool escaped = false;           // a backslash came just before, in a string
    bool afterStar = false;         // a "*" came just before, in a comment
    bool afterSlash = false;        // a "/" came just before, outside strings and comments
    bool afterSign = false;         // the word so far is a lone "-", "+" or ".": a digit makes it a number
    bool urlSoFar = false;          // the word so far is the start of "url" (any case): "(" then opens an address
    bool blockOfRules = false;      // the at-rule being read opens a block of rules (@media), not of declarations
    std::uint8_t depth = 0;         // braces open, up to 255
    std::uint32_t ruleBlocks = 0;   // bit d − 1: the block at depth d holds rules, not declarations (d ≤ 32)
    std::array<char, 12> atName{};  // the at-rule's name so far, lower case, cut at 12 bytes
};

/**
 * A tolerant scanner of CSS, byte by byte: each byte gets the kind it is drawn as.
 * It never fails; what CSS would reject is scanned as well as it goes and the
 * scanner finds its footing again at the next ";" or brace. Bytes are UTF-8 or
 * Windows-1252: bytes from 0x80 up count as letters.
 */
class CssScanner
{
public:
    explicit CssScanner(const CssState &state = {}) : m_state(state) {}

    /**
     * Scans `count` bytes that follow the bytes scanned so far, writing the kind of
     * each into `kinds` (`count` entries). A "/" or a sign whose kind the next byte
     * decides gets it when that byte comes in the same call.
     */
    void scan(const char *bytes, std::size_t count, CssKind *kinds);
    /**
     * Bytes that are not CSS come between (PHP code inside a style sheet): the word
     * being scanned ends there; a string or comment goes on after them.
     */
    void interrupt();
    const CssState &state() const { return m_state; }

private:
    CssKind scanByte(const char *bytes, std::size_t at, CssKind *kinds);
    CssKind scanCode(char c, std::size_t at, CssKind *kinds);
    CssKind scanRules(char c);
    CssKind scanDeclarations(char c);
    CssKind scanAtPrelude(char c, std::size_t at, CssKind *kinds);
    CssKind scanValue(char c, std::size_t at, CssKind *kinds);
    /** A byte of a value or an at-rule's prelude that is not punctuation of its own. */
    CssKind scanValueWord(char c, std::size_t at, CssKind *kinds);
    CssKind startAtRule();
    CssKind continueWord(CssKind kind);
    CssKind startWord(CssKind kind);
    void endWord();
    void openBlock(bool ofRules);
    void closeBlock();
    /** Rules or Declarations: what the innermost open block holds. */
    CssState::Place placeOfBlock() const;
    void endAtName();
    CssState m_state;
};
