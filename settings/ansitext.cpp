#include "settings/ansitext.h"

#include <QStringDecoder>

namespace {

// Windows-1252 at 0x80…0x9F; the five bytes it leaves undefined keep their C1 code.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

QString fromWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = (b >= 0x80 && b < 0xA0) ? QChar(kHighControls[b - 0x80]) : QChar(char16_t(b));
    }
    return text;
}

QString decodeLine(QByteArrayView line)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(line);
    if (utf8.hasError())
        return fromWindows1252(line);
    return text;
}

QList<RawLine> splitRawLines(const QByteArray &bytes)
{
    QList<RawLine> lines;
    const qsizetype n = bytes.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        const qsizetype breakLength = (c == '\r' && i + 1 < n && bytes[i + 1] == '\n') ? 2 : 1;
        lines.append({bytes.mid(start, i - start), bytes.mid(i, breakLength)});
        i += breakLength - 1;
        start = i + 1;
    }
    if (start < n)
        lines.append({bytes.mid(start), QByteArray()});
    return lines;
}
