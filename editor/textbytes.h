#pragma once

#include <QByteArray>
#include <QString>

/**
 * Byte-level rules of the editor's text. The editor always holds CR LF line
 * breaks; files keep the line-break style they were loaded with.
 */
struct LoadedText
{
    QByteArray crlf;      // the content with every CR LF, lone CR and lone LF made CR LF
    QByteArray lineBreak; // the style of the file's first line break, empty when it has none
};

LoadedText normaliseLineBreaks(const QByteArray &raw);

/** Turns each CR LF of `crlf` into `lineBreak`; a lone CR or LF is left as it is. */
QByteArray restoreLineBreaks(const QByteArray &crlf, const QByteArray &lineBreak);

/** True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates). */
bool isValidUtf8(const char *data, qsizetype size);

/** Decodes Windows-1252 bytes (the code page of files brought over from Windows). */
QString decodeWindows1252(const QByteArray &bytes);
