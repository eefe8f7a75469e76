#include "db/consoletext.h"

#include "io/textbytes.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

QString errorMessage(const QString &libraryError, const QString &advice)
{
    return QStringLiteral("Erreur \"") + trimmedBelow33(firstCharacters(libraryError, kErrorTextLength))
           + QStringLiteral("\". ") + advice;
}

} // namespace

QString textFromServer(QByteArrayView bytes)
{
    return fromUtf8OrWindows1252(bytes);
}

QString firstCharacters(const QString &text, qsizetype count)
{
    qsizetype end = 0;
    for (qsizetype seen = 0; seen < count && end < text.size(); ++seen) {
        const bool pair = text.at(end).isHighSurrogate() && end + 1 < text.size()
                          && text.at(end + 1).isLowSurrogate();
        end += pair ? 2 : 1;
    }
    return text.left(end);
}

QString trimmedBelow33(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first).unicode() < 33)
        ++first;
    while (last > first && text.at(last - 1).unicode() < 33)
        --last;
    return text.mid(first, last - first);
}

QString connectionMessage(const QString &libraryError)
{
    return errorMessage(libraryError, QStringLiteral("Vérifiez le Host, user et password."));
}

QString databaseMessage(const QString &libraryError)
{
    return errorMessage(libraryError, QStringLiteral("Vérifiez le nom de la base."));
}

QString hexText(QByteArrayView bytes)
{
    return QStringLiteral("0x") + QString::fromLatin1(QByteArray::fromRawData(bytes.data(), bytes.size()).toHex().toUpper());
}

QString shownText(const QString &text, qsizetype limit)
{
    QString shown = firstCharacters(text, limit);
    shown.replace(QChar(u'\0'), QChar(0x2400));
    if (shown.size() < text.size())
        shown += QStringLiteral("…");
    return shown;
}

QByteArrayView utf8Prefix(QByteArrayView bytes, qsizetype limit)
{
    if (bytes.size() <= limit)
        return bytes;
    qsizetype end = limit;
    // Back to the start of the sequence the cut falls in (at most three continuation bytes).
    for (int back = 0; back < 3 && end > 0 && (quint8(bytes[end]) & 0xC0) == 0x80; ++back)
        --end;
    return bytes.first(end);
}

QString affectedRowsMessage(quint64 rows, quint64 insertId)
{
    QString message = QStringLiteral("%1 ligne(s) affectée(s)").arg(rows);
    if (insertId != 0)
        message += QStringLiteral(", dernier id inséré : %1").arg(insertId);
    return message;
}

QString elapsedText(qint64 elapsedMs)
{
    const qint64 hundredths = (std::max<qint64>(elapsedMs, 0) + 5) / 10;
    return QStringLiteral("(%1,%2 s)").arg(hundredths / 100).arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}

QString statementDoneMessage(const std::vector<qint64> &resultRows, quint64 affectedRows, quint64 insertId,
                             qint64 elapsedMs)
{
    QString what;
    if (resultRows.size() == 1)
        what = rowCountText(resultRows.front());
    else if (resultRows.size() > 1)
        what = QStringLiteral("%1 résultats").arg(resultRows.size());
    else
        what = affectedRowsMessage(affectedRows, insertId);
    return what + u' ' + elapsedText(elapsedMs);
}

QString runningMessage(qint64 elapsedMs)
{
    return QStringLiteral("Exécution… %1,%2 s").arg(elapsedMs / 1000).arg((elapsedMs % 1000) / 100);
}

QString csvField(const QString &value)
{
    static const QString special = QStringLiteral(",\"\r\n");
    const bool quoted = std::any_of(value.begin(), value.end(), [](QChar c) { return special.contains(c); });
    if (!quoted)
        return value;
    QString field = value;
    field.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + field + u'"';
}

bool looksLikeFormula(const QString &value)
{
    static const QString starts = QStringLiteral("=+-@\t\r");
    if (value.isEmpty() || !starts.contains(value.front()))
        return false;
    // A plain number, signed or not, with "." or "," and an exponent: a spreadsheet reads it as that number.
    static const QRegularExpression number(QStringLiteral("^[+-]?[0-9]+([.,][0-9]+)?([eE][+-]?[0-9]+)?$"));
    return !number.match(value).hasMatch();
}

QString csvExportField(const QString &value)
{
    QString field = value;
    field.replace(QChar(u'\0'), QChar(0x2400));
    if (looksLikeFormula(field))
        field.prepend(u'\'');
    return csvField(field);
}

QString csvExportDescription()
{
    return QStringLiteral("Le fichier reprend la grille telle qu'elle est affichée (un NULL donne un champ vide, "
                          "un octet nul s'écrit ␀). Une valeur qui commence par =, +, -, @, une tabulation ou un "
                          "retour chariot, et qui n'est pas un simple nombre, est précédée d'une apostrophe (') : "
                          "un tableur ne la prend pas pour une formule.");
}

QString csvExportPath(const QString &chosen)
{
    if (chosen.isEmpty() || !QFileInfo(chosen).suffix().isEmpty())
        return chosen;
    return chosen + QStringLiteral(".csv");
}

QString rowCountText(qint64 rows)
{
    return rows > 1 ? QStringLiteral("%1 lignes").arg(rows) : QStringLiteral("%1 ligne").arg(rows);
}

QString resultTabText(int number, qint64 rows)
{
    return QStringLiteral("Résultat %1 : %2").arg(number).arg(rowCountText(rows));
}

QString cancelFailedMessage(const QString &error)
{
    return QStringLiteral("Annulation impossible : ") + trimmedBelow33(firstCharacters(error, kErrorTextLength));
}

QString closeToCancelQuestion(const QString &error)
{
    return QStringLiteral("La requête ne peut pas être annulée : le serveur refuse la seconde connexion "
                          "qu'il faut pour cela (\"%1\").\n\nFermer la connexion ? Le serveur arrête alors la requête.")
        .arg(trimmedBelow33(firstCharacters(error, kErrorTextLength)));
}
