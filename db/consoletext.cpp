#include "db/consoletext.h"

#include "editor/textbytes.h"

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
