#include "io/textbytes.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

// Characters of the bytes 0x80 to 0x9F in Windows-1252 (the five bytes it leaves
// undefined stand for the control characters of the same value).
const char16_t high[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

LoadedText normaliseLineBreaks(const QByteArray &raw)
{
    LoadedText result;
    const char *p = raw.constData();
    const qsizetype n = raw.size();

    // Fast path: nothing to change when every break is already CR LF.
    bool clean = true;
    qsizetype crlfLines = 0;
    qsizetype i = 0;
    for (; i < n; ++i) {
        const char c = p[i];
        if (c == '\n') {
            if (result.lineBreak.isEmpty())
                result.lineBreak = QByteArrayLiteral("\n");
            clean = false;
            break;
        }
        if (c == '\r') {
            if (i + 1 < n && p[i + 1] == '\n') {
                if (result.lineBreak.isEmpty())
                    result.lineBreak = QByteArrayLiteral("\r\n");
                ++crlfLines;
                ++i;
                continue;
            }
            if (result.lineBreak.isEmpty())
                result.lineBreak = QByteArrayLiteral("\r");
            clean = false;
            break;
        }
    }
    if (clean) {
        result.crlf = raw;
        return result;
    }

    // Each lone CR or lone LF grows by one byte; size the result once, then copy.
    qsizetype extra = 0;
    for (qsizetype k = i; k < n; ++k) {
        if (p[k] == '\n' && (k == 0 || p[k - 1] != '\r'))
            ++extra;
        else if (p[k] == '\r' && (k + 1 == n || p[k + 1] != '\n'))
            ++extra;
    }
    QByteArray out(n + extra, Qt::Uninitialized);
    // Each line's own break, kept only when the file mixes styles.
    QByteArray kinds(crlfLines, char(CrLf));
    bool mixed = crlfLines > 0;
    const char first = crlfLines > 0 ? char(CrLf) : (p[i] == '\n' ? char(Lf) : char(Cr));
    char *w = out.data();
    std::memcpy(w, p, static_cast<size_t>(i));
    w += i;
    for (; i < n; ++i) {
        const char c = p[i];
        if (c == '\r') {
            *w++ = '\r';
            *w++ = '\n';
            char kind = char(Cr);
            if (i + 1 < n && p[i + 1] == '\n') {
                ++i;
                kind = char(CrLf);
            }
            kinds.append(kind);
            mixed = mixed || kind != first;
        } else if (c == '\n') {
            *w++ = '\r';
            *w++ = '\n';
            kinds.append(char(Lf));
            mixed = mixed || first != char(Lf);
        } else {
            *w++ = c;
        }
    }
    result.crlf = out;
    if (mixed) {
        kinds.append(char(Default)); // the last line has no break of its own
        result.breaks = kinds;
    }
    return result;
}

QByteArray lineBreakBytes(LineBreakKind kind, const QByteArray &defaultBreak)
{
    switch (kind) {
    case CrLf:
        return QByteArrayLiteral("\r\n");
    case Lf:
        return QByteArrayLiteral("\n");
    case Cr:
        return QByteArrayLiteral("\r");
    default:
        return defaultBreak;
    }
}

QByteArray restoreLineBreaks(const QByteArray &crlf, const QByteArray &lineBreak)
{
    if (lineBreak == "\r\n" || !crlf.contains("\r\n"))
        return crlf;
    QByteArray out;
    out.reserve(crlf.size());
    const char *p = crlf.constData();
    const qsizetype n = crlf.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (p[i] == '\r' && i + 1 < n && p[i + 1] == '\n') {
            out.append(lineBreak);
            ++i;
        } else {
            out.append(p[i]);
        }
    }
    return out;
}

bool isAscii(const char *data, qsizetype size)
{
    quint64 high = 0;
    qsizetype i = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 word;
        std::memcpy(&word, data + i, 8);
        high |= word;
    }
    for (; i < size; ++i)
        high |= static_cast<unsigned char>(data[i]);
    return (high & 0x8080808080808080ULL) == 0;
}

bool isValidUtf8(const char *data, qsizetype size)
{
    const auto *s = reinterpret_cast<const unsigned char *>(data);
    qsizetype i = 0;
    while (i < size) {
        // Eight ASCII bytes at a time.
        if (i + 8 <= size) {
            quint64 word;
            std::memcpy(&word, s + i, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        quint32 min;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            min = 0x10000;
        } else {
            return false;
        }
        if (i + extra >= size)
            return false;
        quint32 cp = c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const unsigned char cc = s[i + k];
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

QString fromWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        out[i] = (c >= 0x80 && c < 0xA0) ? high[c - 0x80] : char16_t(c);
    }
    return text;
}

QString fromUtf8OrWindows1252(QByteArrayView bytes)
{
    if (isValidUtf8(bytes.data(), bytes.size()))
        return QString::fromUtf8(bytes);
    return fromWindows1252(bytes);
}

bool toWindows1252(const QString &text, QByteArray *out)
{
    out->resize(text.size());
    char *w = out->data();
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            *w++ = char(c);
            continue;
        }
        const char16_t *found = std::find(std::begin(high), std::end(high), c);
        if (found == std::end(high))
            return false;
        *w++ = char(0x80 + (found - std::begin(high)));
    }
    return true;
}

bool isBinaryContent(const QByteArray &bytes)
{
    const QByteArrayView head(bytes.constData(), std::min<qsizetype>(bytes.size(), 64 * 1024));
    static const char utf32be[4] = {0, 0, '\xFE', '\xFF'};
    if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF") || head.startsWith(QByteArrayView(utf32be, 4)))
        return true; // UTF-16 (and UTF-32 little-endian, which starts the same) or UTF-32 big-endian
    return std::memchr(head.data(), 0, size_t(head.size())) != nullptr;
}
