#include "editor/phpbrackets.h"

PhpBracketScanner::PhpBracketScanner(const QString &text, qsizetype from, QStringView openers, QStringView closers)
    : m_text(text)
    , m_openers(openers)
    , m_closers(closers)
    , m_at(from - 1)
{
}

bool PhpBracketScanner::next()
{
    const qsizetype size = m_text.size();
    for (++m_at; m_at < size; ++m_at) {
        const QChar c = m_text[m_at];
        if (c != u'\'' && c != u'"')
            break;
        // A string: on to its closing quote, over escaped characters.
        for (++m_at; m_at < size && m_text[m_at] != c; ++m_at) {
            if (m_text[m_at] == u'\\')
                ++m_at;
        }
    }
    if (m_at >= size) {
        m_at = size;
        return false;
    }
    const QChar c = m_text[m_at];
    m_kind = Kind::Other;
    if (m_openers.contains(c)) {
        ++m_depth;
        m_kind = Kind::Opening;
    } else if (m_closers.contains(c) && m_depth > 0) {
        --m_depth;
        m_kind = Kind::Closing;
    }
    return true;
}
