#pragma once

#include <cstdint>
#include <string_view>

/**
 * Ondrel's own PHP tokenizer, enough to find definitions without running PHP: it
 * tells code from inline HTML, strings (with their interpolated parts), heredoc
 * and nowdoc bodies, comments and attributes, so that a word like `function`
 * inside any of them is never taken for code.
 *
 * It works on the file's bytes (UTF-8 or Windows-1252 alike: every byte above
 * 0x7F is a name byte, as PHP has it). Offsets are 0-based byte offsets; lines
 * count from 1, a CR LF, a lone CR or a lone LF each ending one. It never fails:
 * malformed input (an unclosed string or comment) ends the token at the end of
 * the text.
 */
enum class PhpTokenKind : std::uint8_t {
    InlineHtml,  // text outside <?php … ?>
    OpenTag,     // <?php, <?= or <? followed by a space
    CloseTag,    // ?> (also inside a // or # comment, which it ends, as in PHP)
    Name,        // an identifier or a qualified name (Foo\Bar, \strlen, namespace\x)
    Variable,    // $name
    Number,
    String,      // '…', "…" or `…` whole, interpolations included
    Heredoc,     // <<<ID … ID, heredoc or nowdoc, whole
    Comment,     // //, # or /* */
    DocComment,  // /** */
    AttributeOpen, // #[ (the attribute's contents are ordinary tokens, up to its "]")
    Punct,       // one operator or punctuation character; "->", "?->" and "::" are one token
    End,         // no more tokens
};

struct PhpToken
{
    PhpTokenKind kind = PhpTokenKind::End;
    std::uint32_t begin = 0; // byte offset of the first byte
    std::uint32_t end = 0;   // byte offset after the last byte
    std::uint32_t line = 1;  // line of the first byte

    std::string_view text(std::string_view source) const { return source.substr(begin, end - begin); }
};

/** Reads the tokens of one PHP file in order; white space between tokens is skipped. */
class PhpLexer
{
public:
    /** `source` must outlive the lexer; texts of 4 GB and more are read up to 4 GB. */
    explicit PhpLexer(std::string_view source);

    /** The next token; End (repeatedly) once the text is done. */
    PhpToken next();

private:
    PhpToken inlineHtml();
    void skipSpace();
    std::uint32_t quoted(char quote);            // from the opening quote; returns the end
    std::uint32_t quotedFrom(std::uint32_t p, char quote);
    std::uint32_t heredoc();                     // from "<<<"; returns the end (or 0: not a heredoc)
    std::uint32_t interpolation(std::uint32_t p); // from the "{" of "{$"; returns after its "}"
    std::uint32_t lineComment(std::uint32_t p);  // returns where the comment ends (before a ?>)
    void countLines(std::uint32_t from, std::uint32_t to);
    char at(std::uint32_t p) const { return p < m_size ? m_src[p] : '\0'; }

    std::string_view m_src;
    std::uint32_t m_size = 0;
    std::uint32_t m_pos = 0;
    std::uint32_t m_line = 1;
    bool m_inPhp = false;
    int m_nesting = 0; // strings inside interpolations inside strings…, bounded against deep recursion
};

/** A name byte of PHP: an ASCII letter or digit, "_", or any byte above 0x7F. */
inline bool isPhpNameByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c >= 0x80;
}
