// The PHP tokenizer behind the definition index. It follows PHP's own lexer where
// that decides what is code: `?>` ends a line comment and leaves PHP, "{$" opens
// code inside a double-quoted string or heredoc, a heredoc's closing label may be
// indented, and "#[" opens an attribute rather than a comment.
#include "search/phplexer.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr int kMaxNesting = 32;
constexpr std::uint32_t kMaxSize = std::numeric_limits<std::uint32_t>::max() - 8;

bool isNameStart(unsigned char c)
{
    return isPhpNameByte(c) && !(c >= '0' && c <= '9');
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool startsWithNoCase(std::string_view text, std::size_t pos, std::string_view word)
{
    if (pos + word.size() > text.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        char c = text[pos + i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != word[i])
            return false;
    }
    return true;
}

} // namespace

PhpLexer::PhpLexer(std::string_view source)
    : m_src(source), m_size(std::uint32_t(std::min<std::size_t>(source.size(), kMaxSize)))
{
}

void PhpLexer::countLines(std::uint32_t from, std::uint32_t to)
{
    to = std::min(to, m_size);
    for (std::uint32_t p = from; p < to; ++p) {
        const char c = m_src[p];
        if (c == '\n' || (c == '\r' && at(p + 1) != '\n'))
            ++m_line;
    }
}

PhpToken PhpLexer::inlineHtml()
{
    const std::uint32_t begin = m_pos;
    std::uint32_t p = m_pos;
    while (p < m_size) {
        const void *hit = std::memchr(m_src.data() + p, '<', m_size - p);
        if (!hit)
            break;
        p = std::uint32_t(static_cast<const char *>(hit) - m_src.data());
        if (at(p + 1) == '?') {
            std::uint32_t tagEnd = 0;
            if (startsWithNoCase(m_src, p + 2, "php") && (p + 5 >= m_size || isSpace(at(p + 5))))
                tagEnd = p + 5;
            else if (at(p + 2) == '=')
                tagEnd = p + 3;
            else if (p + 2 >= m_size || isSpace(at(p + 2)))
                tagEnd = p + 2;
            if (tagEnd) {
                if (p > begin) {
                    m_pos = p;
                    PhpToken html{PhpTokenKind::InlineHtml, begin, p, m_line};
                    countLines(begin, p);
                    return html;
                }
                m_inPhp = true;
                m_pos = tagEnd;
                return {PhpTokenKind::OpenTag, p, tagEnd, m_line};
            }
        }
        ++p;
    }
    m_pos = m_size;
    PhpToken html{PhpTokenKind::InlineHtml, begin, m_size, m_line};
    countLines(begin, m_size);
    return html;
}

void PhpLexer::skipSpace()
{
    const std::uint32_t from = m_pos;
    while (m_pos < m_size && isSpace(m_src[m_pos]))
        ++m_pos;
    countLines(from, m_pos);
}

std::uint32_t PhpLexer::quoted(char quote)
{
    return quotedFrom(m_pos, quote);
}

std::uint32_t PhpLexer::quotedFrom(std::uint32_t p, char quote)
{
    ++p; // the opening quote
    while (p < m_size) {
        const char c = m_src[p];
        if (c == '\\') {
            p += 2;
        } else if (c == quote) {
            return p + 1;
        } else if (quote != '\'' && c == '{' && at(p + 1) == '$') {
            p = interpolation(p);
        } else if (quote != '\'' && c == '$' && at(p + 1) == '{') {
            p = interpolation(p + 1);
        } else {
            ++p;
        }
    }
    return m_size;
}

std::uint32_t PhpLexer::interpolation(std::uint32_t p)
{
    int depth = 0;
    while (p < m_size) {
        const char c = m_src[p];
        if (c == '{') {
            ++depth;
            ++p;
        } else if (c == '}') {
            ++p;
            if (--depth == 0)
                return p;
        } else if ((c == '\'' || c == '"' || c == '`') && m_nesting < kMaxNesting) {
            ++m_nesting;
            p = quotedFrom(p, c);
            --m_nesting;
        } else {
            ++p;
        }
    }
    return m_size;
}

std::uint32_t PhpLexer::heredoc()
{
    std::uint32_t p = m_pos + 3;
    while (at(p) == ' ' || at(p) == '\t')
        ++p;
    char quote = 0;
    if (at(p) == '\'' || at(p) == '"')
        quote = m_src[p++];
    if (!isNameStart(static_cast<unsigned char>(at(p))))
        return 0;
    const std::uint32_t labelBegin = p;
    while (p < m_size && isPhpNameByte(static_cast<unsigned char>(m_src[p])))
        ++p;
    const std::string_view label = m_src.substr(labelBegin, p - labelBegin);
    if (quote) {
        if (at(p) != quote)
            return 0;
        ++p;
    }
    if (at(p) != '\n' && at(p) != '\r')
        return 0;
    const bool nowdoc = quote == '\'';
    while (p < m_size) {
        // p is at a line break: step over it, then look for the label at the line's start.
        if (at(p) == '\r')
            ++p;
        if (at(p) == '\n')
            ++p;
        std::uint32_t q = p;
        while (at(q) == ' ' || at(q) == '\t')
            ++q;
        if (m_src.substr(q, label.size()) == label && !isPhpNameByte(static_cast<unsigned char>(at(q + std::uint32_t(label.size())))))
            return q + std::uint32_t(label.size());
        while (p < m_size && m_src[p] != '\n' && m_src[p] != '\r') {
            const char c = m_src[p];
            if (!nowdoc && c == '\\' && at(p + 1) != '\n' && at(p + 1) != '\r')
                p += 2;
            else if (!nowdoc && c == '{' && at(p + 1) == '$')
                p = interpolation(p);
            else if (!nowdoc && c == '$' && at(p + 1) == '{')
                p = interpolation(p + 1);
            else
                ++p;
        }
    }
    return m_size;
}

std::uint32_t PhpLexer::lineComment(std::uint32_t p)
{
    while (p < m_size) {
        const char c = m_src[p];
        if (c == '\n' || c == '\r' || (c == '?' && at(p + 1) == '>'))
            return p;
        ++p;
    }
    return m_size;
}

PhpToken PhpLexer::next()
{
    if (!m_inPhp)
        return m_pos < m_size ? inlineHtml() : PhpToken{PhpTokenKind::End, m_size, m_size, m_line};
    skipSpace();
    if (m_pos >= m_size)
        return {PhpTokenKind::End, m_size, m_size, m_line};

    const std::uint32_t begin = m_pos;
    const std::uint32_t line = m_line;
    const char c = m_src[begin];
    const char c1 = at(begin + 1);
    PhpTokenKind kind = PhpTokenKind::Punct;
    std::uint32_t end = begin + 1;

    if (c == '?' && c1 == '>') {
        kind = PhpTokenKind::CloseTag;
        end = begin + 2;
        m_inPhp = false;
    } else if (c == '#' && c1 == '[') {
        kind = PhpTokenKind::AttributeOpen;
        end = begin + 2;
    } else if (c == '#' || (c == '/' && c1 == '/')) {
        kind = PhpTokenKind::Comment;
        end = lineComment(begin + 1);
    } else if (c == '/' && c1 == '*') {
        kind = at(begin + 2) == '*' && at(begin + 3) != '/' ? PhpTokenKind::DocComment : PhpTokenKind::Comment;
        const std::size_t close = m_src.substr(0, m_size).find("*/", begin + 2);
        end = close == std::string_view::npos ? m_size : std::uint32_t(close + 2);
    } else if (c == '\'' || c == '"' || c == '`') {
        kind = PhpTokenKind::String;
        end = quoted(c);
    } else if (c == '<' && c1 == '<' && at(begin + 2) == '<' && (end = heredoc()) != 0) {
        kind = PhpTokenKind::Heredoc;
    } else if (c == '$' && isNameStart(static_cast<unsigned char>(c1))) {
        kind = PhpTokenKind::Variable;
        end = begin + 1;
        while (end < m_size && isPhpNameByte(static_cast<unsigned char>(m_src[end])))
            ++end;
    } else if (isNameStart(static_cast<unsigned char>(c)) || (c == '\\' && isNameStart(static_cast<unsigned char>(c1)))) {
        kind = PhpTokenKind::Name;
        end = begin;
        while (end < m_size) {
            const auto b = static_cast<unsigned char>(m_src[end]);
            if (isPhpNameByte(b))
                ++end;
            else if (b == '\\' && isNameStart(static_cast<unsigned char>(at(end + 1))))
                end += 2;
            else
                break;
        }
    } else if ((c >= '0' && c <= '9') || (c == '.' && c1 >= '0' && c1 <= '9')) {
        kind = PhpTokenKind::Number;
        end = begin + 1;
        while (end < m_size) {
            const char b = m_src[end];
            const char before = m_src[end - 1];
            if (isPhpNameByte(static_cast<unsigned char>(b)) || b == '.'
                || ((b == '+' || b == '-') && (before == 'e' || before == 'E')))
                ++end;
            else
                break;
        }
    } else if ((c == '-' && c1 == '>') || (c == ':' && c1 == ':')) {
        end = begin + 2;
    } else if (c == '?' && c1 == '-' && at(begin + 2) == '>') {
        end = begin + 3;
    }
    end = std::min(end, m_size);
    m_pos = end;
    countLines(begin, end);
    return {kind, begin, end, line};
}
