#include "editor/csstokens.h"

#include <string_view>

namespace {

using Place = CssState::Place;
using Inside = CssState::Inside;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

/** A byte that may start a name: a letter, "_", a backslash escape or any byte of a non-ASCII character. */
bool isNameStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '\\' || static_cast<unsigned char>(c) >= 0x80;
}

bool isNameByte(char c)
{
    return isNameStart(c) || isDigit(c) || c == '-';
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

/** The at-rules whose block holds rules rather than declarations (names cut as CssState keeps them). */
bool opensBlockOfRules(std::string_view name)
{
    for (std::string_view rules : {"media", "supports", "document", "-moz-documen", "container", "layer", "scope",
                                   "starting-sty"})
        if (name == rules)
            return true;
    return false;
}

} // namespace

void CssScanner::scan(const char *bytes, std::size_t count, CssKind *kinds)
{
    for (std::size_t at = 0; at < count; ++at)
        kinds[at] = scanByte(bytes, at, kinds);
}

void CssScanner::interrupt()
{
    if (m_state.place == Place::AtPrelude && m_state.token == CssKind::Keyword)
        endAtName();
    endWord();
    m_state.afterSlash = false;
}

CssKind CssScanner::scanByte(const char *bytes, std::size_t at, CssKind *kinds)
{
    CssState &s = m_state;
    const char c = bytes[at];
    switch (s.inside) {
    case Inside::Comment:
        if (s.afterStar && c == '/')
            s.inside = Inside::Code;
        s.afterStar = c == '*';
        return CssKind::Comment;
    case Inside::SingleQuoted:
    case Inside::DoubleQuoted:
        if (s.escaped) {
            s.escaped = false;
        } else if (c == '\\') {
            s.escaped = true;
        } else if (c == (s.inside == Inside::SingleQuoted ? '\'' : '"')) {
            s.inside = Inside::Code;
        } else if (c == '\r' || c == '\n') {
            s.inside = Inside::Code; // a string ends with its line
            return CssKind::Plain;
        }
        return CssKind::String;
    case Inside::Url:
        if (c == ')') {
            s.inside = Inside::Code;
            return CssKind::Plain;
        }
        if (c == '"' || c == '\'') {
            s.inside = c == '"' ? Inside::DoubleQuoted : Inside::SingleQuoted;
            return CssKind::String;
        }
        return isSpace(c) ? CssKind::Plain : CssKind::String;
    case Inside::Code:
        break;
    }
    return scanCode(c, at, kinds);
}

CssKind CssScanner::scanCode(char c, std::size_t at, CssKind *kinds)
{
    CssState &s = m_state;
    const bool slash = s.afterSlash;
    s.afterSlash = false;
    if (slash && c == '*') {
        if (at > 0)
            kinds[at - 1] = CssKind::Comment;
        s.inside = Inside::Comment;
        s.afterStar = false; // "/*/" does not end the comment it opens
        return CssKind::Comment;
    }
    if (c == '"' || c == '\'') {
        if (s.place == Place::AtPrelude && s.token == CssKind::Keyword)
            endAtName();
        endWord();
        s.inside = c == '"' ? Inside::DoubleQuoted : Inside::SingleQuoted;
        s.escaped = false;
        return CssKind::String;
    }
    if (c == '/') {
        if (s.place == Place::AtPrelude && s.token == CssKind::Keyword)
            endAtName();
        endWord();
        s.afterSlash = true;
        return CssKind::Plain;
    }
    switch (s.place) {
    case Place::Rules:
        return scanRules(c);
    case Place::Declarations:
        return scanDeclarations(c);
    case Place::AtPrelude:
        return scanAtPrelude(c, at, kinds);
    case Place::Value:
        return scanValue(c, at, kinds);
    }
    return CssKind::Plain;
}

CssKind CssScanner::scanRules(char c)
{
    endWord();
    switch (c) {
    case '{':
        openBlock(false);
        return CssKind::Plain;
    case '}':
        closeBlock();
        return CssKind::Plain;
    case '@':
        return startAtRule();
    case ';': case ',': case '>': case '+': case '~':
        return CssKind::Plain;
    default:
        return isSpace(c) ? CssKind::Plain : CssKind::Selector;
    }
}

CssKind CssScanner::scanDeclarations(char c)
{
    if (isNameByte(c))
        return continueWord(CssKind::Property);
    endWord();
    switch (c) {
    case ':':
        m_state.place = Place::Value;
        return CssKind::Plain;
    case '{': // a nested rule: what came before was its selector
        openBlock(false);
        return CssKind::Plain;
    case '}':
        closeBlock();
        return CssKind::Plain;
    case '@':
        return startAtRule();
    case ';':
        return CssKind::Plain;
    default:
        return isSpace(c) ? CssKind::Plain : CssKind::Selector;
    }
}

CssKind CssScanner::scanAtPrelude(char c, std::size_t at, CssKind *kinds)
{
    CssState &s = m_state;
    if (s.token == CssKind::Keyword) { // the at-rule's name
        if (isNameByte(c)) {
            for (char &slot : s.atName) {
                if (slot == 0) {
                    slot = lower(c);
                    break;
                }
            }
            return continueWord(CssKind::Keyword);
        }
        endAtName();
    }
    switch (c) {
    case ';':
        endWord();
        s.place = placeOfBlock();
        return CssKind::Plain;
    case '{':
        endWord();
        openBlock(s.blockOfRules);
        return CssKind::Plain;
    case '}':
        endWord();
        closeBlock();
        return CssKind::Plain;
    default:
        return scanValueWord(c, at, kinds);
    }
}

CssKind CssScanner::scanValue(char c, std::size_t at, CssKind *kinds)
{
    CssState &s = m_state;
    switch (c) {
    case ';':
        endWord();
        s.place = Place::Declarations;
        return CssKind::Plain;
    case '{': // "a:hover {" of a nested rule, read as a property and its value
        endWord();
        openBlock(false);
        return CssKind::Plain;
    case '}':
        endWord();
        closeBlock();
        return CssKind::Plain;
    case '!':
        endWord();
        return startWord(CssKind::Keyword);
    default:
        if (s.token == CssKind::Keyword && isNameByte(c))
            return continueWord(CssKind::Keyword);
        if (s.token == CssKind::Keyword)
            endWord();
        return scanValueWord(c, at, kinds);
    }
}

CssKind CssScanner::scanValueWord(char c, std::size_t at, CssKind *kinds)
{
    CssState &s = m_state;
    const bool sign = s.afterSign;
    s.afterSign = false;
    if (isDigit(c)) {
        if (sign) { // "-2", ".5", "+1": the sign was part of a number
            if (at > 0)
                kinds[at - 1] = CssKind::Number;
            s.token = CssKind::Number;
        }
        return s.token == CssKind::Value || s.token == CssKind::Number ? continueWord(s.token) : startWord(CssKind::Number);
    }
    if (s.token == CssKind::Number && (isNameByte(c) || c == '.' || c == '%') && c != '-')
        return continueWord(CssKind::Number); // units, decimals, and the digits of "#ff8800"
    if (s.token == CssKind::Value && isNameByte(c)) {
        s.urlSoFar = s.urlSoFar && s.tokenLength < 3 && lower(c) == "url"[s.tokenLength];
        return continueWord(CssKind::Value);
    }
    if (c == '(' && s.token == CssKind::Value && s.tokenLength == 3 && s.urlSoFar) {
        endWord();
        s.inside = Inside::Url;
        return CssKind::Plain;
    }
    endWord();
    switch (c) {
    case '#':
        return startWord(CssKind::Number);
    case '-':
        s.afterSign = true;
        return startWord(CssKind::Value);
    case '.': case '+':
        s.afterSign = true;
        startWord(CssKind::Value);
        return CssKind::Plain;
    default:
        s.urlSoFar = lower(c) == 'u';
        return isNameStart(c) ? startWord(CssKind::Value) : CssKind::Plain;
    }
}

CssKind CssScanner::startAtRule()
{
    CssState &s = m_state;
    s.place = Place::AtPrelude;
    s.atName = {};
    s.blockOfRules = false;
    return startWord(CssKind::Keyword);
}

CssKind CssScanner::continueWord(CssKind kind)
{
    if (m_state.token != kind)
        return startWord(kind);
    if (m_state.tokenLength < 255)
        ++m_state.tokenLength;
    return kind;
}

CssKind CssScanner::startWord(CssKind kind)
{
    m_state.token = kind;
    m_state.tokenLength = 1;
    return kind;
}

void CssScanner::endWord()
{
    m_state.token = CssKind::Plain;
    m_state.tokenLength = 0;
    m_state.afterSign = false;
    m_state.urlSoFar = false;
}

void CssScanner::openBlock(bool ofRules)
{
    CssState &s = m_state;
    if (s.depth < 255)
        ++s.depth;
    if (s.depth <= 32) {
        const std::uint32_t bit = std::uint32_t(1) << (s.depth - 1);
        s.ruleBlocks = ofRules ? s.ruleBlocks | bit : s.ruleBlocks & ~bit;
    }
    s.place = placeOfBlock();
}

void CssScanner::closeBlock()
{
    CssState &s = m_state;
    if (s.depth > 0)
        --s.depth;
    s.place = placeOfBlock();
}

CssState::Place CssScanner::placeOfBlock() const
{
    const CssState &s = m_state;
    if (s.depth == 0)
        return Place::Rules;
    if (s.depth > 32)
        return Place::Declarations;
    return (s.ruleBlocks >> (s.depth - 1)) & 1 ? Place::Rules : Place::Declarations;
}

void CssScanner::endAtName()
{
    CssState &s = m_state;
    std::size_t length = 0;
    while (length < s.atName.size() && s.atName[length] != 0)
        ++length;
    s.blockOfRules = opensBlockOfRules(std::string_view(s.atName.data(), length));
    endWord();
}
