#pragma once

#include <QString>
#include <QStringView>

/**
 * Reads PHP code left to right, character by character, passing over its quoted
 * strings ('…' or "…", in which a backslash escapes the next character) and
 * keeping count of the brackets opened and not yet closed.
 *
 * Offsets are 0-based indexes into the QString. A string that is still open at
 * the end of the text hides everything after its quote.
 */
class PhpBracketScanner
{
public:
    enum class Kind {
        Opening, // one of `openers`: depth() counts it
        Closing, // one of `closers` that closes an open bracket: depth() no longer counts it
        Other,   // anything else outside strings, a closer with nothing open included
    };

    /** Starts just before `from`; `openers` and `closers` are the bracket characters to count. */
    PhpBracketScanner(const QString &text, qsizetype from, QStringView openers, QStringView closers);

    /** Moves to the next character outside every string; false at the end of the text. */
    bool next();
    qsizetype at() const { return m_at; }
    QChar character() const { return m_text[m_at]; }
    Kind kind() const { return m_kind; }
    /** Brackets open after the current character. */
    int depth() const { return m_depth; }

private:
    const QString &m_text;
    QStringView m_openers;
    QStringView m_closers;
    qsizetype m_at;
    Kind m_kind = Kind::Other;
    int m_depth = 0;
};
