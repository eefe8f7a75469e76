#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

/**
 * Byte-level rules of the editor's text. The editor always holds CR LF line
 * breaks; files keep the line-break style they were loaded with.
 */
struct LoadedText
{
    QByteArray crlf;      // the content with every CR LF, lone CR and lone LF made CR LF
    QByteArray lineBreak; // the style of the file's first line break, empty when it has none
    /**
     * Only when the file mixes styles: the break that ended each line, one entry per
     * line of `crlf` (the last line, which has none, included), as a LineBreakKind.
     */
    QByteArray breaks;
};

/** A line's own break, as kept for files that mix styles; Default is the file's first style. */
enum LineBreakKind : char { Default = 0, CrLf = 1, Lf = 2, Cr = 3 };
QByteArray lineBreakBytes(LineBreakKind kind, const QByteArray &defaultBreak);

LoadedText normaliseLineBreaks(const QByteArray &raw);

/** Turns each CR LF of `crlf` into `lineBreak`; a lone CR or LF is left as it is. */
QByteArray restoreLineBreaks(const QByteArray &crlf, const QByteArray &lineBreak);

/** True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates). */
bool isValidUtf8(const char *data, qsizetype size);

/** True when no byte is above 0x7F. */
bool isAscii(const char *data, qsizetype size);

/**
 * Bytes read as Windows-1252, the code page of files brought over from Windows
 * (the five bytes it leaves undefined map to U+0081, U+008D, U+008F, U+0090, U+009D).
 */
QString fromWindows1252(QByteArrayView bytes);

/** UTF-8 when the bytes are valid UTF-8, Windows-1252 otherwise. */
QString fromUtf8OrWindows1252(QByteArrayView bytes);

/** Windows-1252 bytes of `text`; false (and nothing useful) when a character has no byte there. */
bool toWindows1252(const QString &text, QByteArray *out);

/**
 * True for content that is not text the editor may write back: a NUL byte in the
 * first 64 KB, or a UTF-16 or UTF-32 byte-order mark.
 */
bool isBinaryContent(const QByteArray &bytes);
