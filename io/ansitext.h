#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include "io/textbytes.h"

/**
 * Text of the side files. They are written in UTF-8; a line that is not valid
 * UTF-8 (a file brought over from a Windows installation) is read as
 * Windows-1252, so one file may mix the two, line by line.
 */

/** One line, without its line break: UTF-8 when valid, Windows-1252 otherwise. */
QString decodeLine(QByteArrayView line);


/** One line of a file with the line break that ended it (empty for a last line without one). */
struct RawLine
{
    QByteArray text;
    QByteArray lineBreak; // "\r\n", "\r", "\n" or empty
};

/**
 * Cuts `bytes` into lines at each CR LF, lone CR and lone LF. A final line
 * break adds no empty line; an empty input gives no line at all.
 */
QList<RawLine> splitRawLines(const QByteArray &bytes);
