#include "db/consoletext.h"

#include "io/textbytes.h"

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
