#include "db/consoletext.h"

#include "editor/textbytes.h"

namespace {

// Windows-1252 characters of the bytes 0x80 to 0x9F; the five bytes it leaves
// undefined keep their C1 control code, as Windows does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString fromWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = QChar(byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : char16_t(byte));
    }
    return text;
}

QString errorMessage(const QString &libraryError, const QString &advice)
{
    return QStringLiteral("Erreur \"") + trimmedBelow33(firstCharacters(libraryError, kErrorTextLength))
           + QStringLiteral("\". ") + advice;
}

} // namespace

QString textFromServer(QByteArrayView bytes)
{
    if (isValidUtf8(bytes.data(), bytes.size()))
        return QString::fromUtf8(bytes);
    return fromWindows1252(bytes);
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
