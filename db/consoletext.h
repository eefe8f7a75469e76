#pragma once

#include <QByteArrayView>
#include <QString>

/**
 * Texts of the database console that do not depend on a window or on the
 * client library: decoding what the server sends, and the two connection
 * messages.
 */

/**
 * Text of bytes that came from the server (cell values, field names, error
 * messages): UTF-8 when the bytes are well-formed UTF-8, otherwise one
 * character per byte in Windows-1252, so that nothing is shown as a
 * replacement character.
 */
QString textFromServer(QByteArrayView bytes);

/** At most the first `count` characters (code points; a surrogate pair is never split). */
QString firstCharacters(const QString &text, qsizetype count);

/** The text without the characters whose code is below 33 at its start and at its end. */
QString trimmedBelow33(const QString &text);

/** The longest error text a message or the status label shows, in characters. */
inline constexpr qsizetype kErrorTextLength = 200;

/** "Erreur "<error text>". Vérifiez le Host, user et password." */
QString connectionMessage(const QString &libraryError);

/** "Erreur "<error text>". Vérifiez le nom de la base." */
QString databaseMessage(const QString &libraryError);
