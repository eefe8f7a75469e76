#pragma once

#include <QByteArrayView>
#include <QString>

#include <vector>

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

/** What a NULL value shows (dimmed in the grid). */
inline const QString kNullText = QStringLiteral("NULL");
/** Longest text a cell shows before it is cut ("…"); the whole value is in its tooltip. */
inline constexpr qsizetype kShownCharacters = 256;
/** Bytes of a binary value a cell shows in hexadecimal before it is cut. */
inline constexpr qsizetype kShownBinaryBytes = 64;
/** Bytes of a value a tooltip shows at most. */
inline constexpr qsizetype kTooltipBytes = 64 * 1024;

/** "0x" followed by two upper-case hexadecimal digits per byte ("0x" alone for no bytes). */
QString hexText(QByteArrayView bytes);
/**
 * A value as a cell shows it: a zero byte as "␀" (so nothing after it is lost),
 * cut after `limit` characters with "…".
 */
QString shownText(const QString &text, qsizetype limit = kShownCharacters);
/** At most the first `limit` bytes, never ending inside a UTF-8 sequence. */
QByteArrayView utf8Prefix(QByteArrayView bytes, qsizetype limit);

/** The status after a statement without a result set: "%1 ligne(s) affectée(s)", then the id made, if any. */
QString affectedRowsMessage(quint64 rows, quint64 insertId);
/** The time a statement took, to the hundredth of a second: "(0,02 s)". */
QString elapsedText(qint64 elapsedMs);
/**
 * The status after a statement that worked, with its time: "3 lignes (0,02 s)"
 * for one result set, "2 résultats (0,02 s)" for several (each tab counts its
 * rows), the affected rows otherwise.
 */
QString statementDoneMessage(const std::vector<qint64> &resultRows, quint64 affectedRows, quint64 insertId,
                             qint64 elapsedMs);
/** The status while a statement runs, with its elapsed time ("Exécution… 2,5 s"). */
QString runningMessage(qint64 elapsedMs);

/** One field of a CSV file (RFC 4180): quoted when it holds a comma, a quote, CR or LF. */
QString csvField(const QString &value);
/**
 * Whether a spreadsheet would take the value for a formula: it starts with
 * "=", "+", "-", "@", a tab or a CR, and is not just a number ("-12,5" is not
 * a formula, "-1+1" is).
 */
bool looksLikeFormula(const QString &value);
/**
 * One field of an exported CSV file: a zero byte written as the grid shows it
 * ("␀"), a "'" before a value that looks like a formula (OWASP's advice against
 * CSV injection), then quoted as csvField() does.
 */
QString csvExportField(const QString &value);
/** What the export dialog says about how values are written. */
QString csvExportDescription();
/** The chosen file name, with ".csv" added when it has no suffix. */
QString csvExportPath(const QString &chosen);

/** "1 ligne", "3 lignes": a count of rows (0 and 1 take the singular, as French does). */
QString rowCountText(qint64 rows);
/** The tab of the `number`th result set (from 1): "Résultat 2 : 3 lignes". */
QString resultTabText(int number, qint64 rows);
/** The running statement's status after "Annuler" failed: "Annulation impossible : <error>". */
QString cancelFailedMessage(const QString &error);
/** The question asked when "Annuler" cannot reach the server: close the connection instead? */
QString closeToCancelQuestion(const QString &error);
