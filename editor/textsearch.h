#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <string_view>
#include <vector>

/**
 * Plain-text search over the editor's bytes, for the find bar. Offsets are 0-based
 * byte offsets; a line break is the two bytes CR LF like any other bytes.
 */
struct TextSearch
{
    QByteArray needle;      // the bytes looked for, in the text's own encoding
    bool matchCase = false; // false: ASCII letters match either case
    bool wholeWord = false; // the match is neither preceded nor followed by a word byte

    /**
     * Whether a case-insensitive search can be done byte by byte: true when the
     * needle holds no byte above 0x7F (other letters need the editor's own folding).
     */
    bool bytewise() const;

    /** Offset of the first match starting at or after `from`, or −1. */
    qsizetype next(std::string_view text, qsizetype from) const;
    /** Offsets of every match from the start, each one looked for after the end of the one before. */
    std::vector<qsizetype> all(std::string_view text) const;
    /** Offset of the last match starting before `before` (and ending anywhere), or −1. */
    qsizetype previous(std::string_view text, qsizetype before) const;
};

/** A word byte: a letter or digit of ASCII, "_", or any byte above 0x7F (UTF-8 and Windows-1252 letters). */
bool isWordByte(unsigned char c);

/** Text as Windows-1252 bytes (a character with no such byte becomes "?"). */
QByteArray encodeWindows1252(const QString &text);
