#include "editor/textsearch.h"

#include <algorithm>
#include <cstring>
#include <string.h> // memrchr

namespace {

unsigned char folded(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

} // namespace

bool isWordByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c >= 0x80;
}

bool TextSearch::bytewise() const
{
    if (matchCase)
        return true;
    for (char c : needle) {
        if (static_cast<unsigned char>(c) > 0x7F)
            return false;
    }
    return true;
}

namespace {

/** Whether the needle lies at `at` of the text (bounds checked by the caller). */
bool matchesAt(const TextSearch &s, const char *text, qsizetype at)
{
    const qsizetype n = s.needle.size();
    if (s.matchCase)
        return std::memcmp(text + at, s.needle.constData(), static_cast<size_t>(n)) == 0;
    for (qsizetype k = 0; k < n; ++k) {
        if (folded(static_cast<unsigned char>(text[at + k])) != folded(static_cast<unsigned char>(s.needle[k])))
            return false;
    }
    return true;
}

bool wordBoundsHold(const TextSearch &s, std::string_view text, qsizetype at)
{
    if (!s.wholeWord)
        return true;
    const qsizetype end = at + s.needle.size();
    const bool before = at > 0 && isWordByte(static_cast<unsigned char>(text[static_cast<size_t>(at - 1)]));
    const bool after = end < qsizetype(text.size()) && isWordByte(static_cast<unsigned char>(text[static_cast<size_t>(end)]));
    return !before && !after;
}

} // namespace

namespace {

/** The needle's first byte, and its other case when the search ignores case. */
struct FirstByte
{
    unsigned char a, b;
    FirstByte(const TextSearch &s)
    {
        const auto c = static_cast<unsigned char>(s.needle[0]);
        a = s.matchCase ? c : folded(c);
        b = (!s.matchCase && a >= 'a' && a <= 'z') ? static_cast<unsigned char>(a - ('a' - 'A')) : a;
    }
};

} // namespace

/**
 * Calls `onMatch(offset)` for the matches from `from` on, while it returns true;
 * a match is looked for again only after the end of the one before.
 */
template <typename OnMatch>
static void scanForward(const TextSearch &s, std::string_view text, qsizetype from, OnMatch onMatch)
{
    const qsizetype n = s.needle.size();
    const qsizetype size = static_cast<qsizetype>(text.size());
    if (n == 0 || from < 0 || from + n > size)
        return;
    const char *data = text.data();
    const char *stop = data + size - n + 1; // candidates lie before stop
    const FirstByte first(s);
    // Next place of each form of the first byte; each is looked for again only once passed,
    // so a frequent form never makes the search of the other one start over.
    const char *pa = nullptr, *pb = nullptr;
    bool aGone = false, bGone = first.a == first.b;
    for (const char *at = data + from; at < stop;) {
        if (!aGone && (!pa || pa < at)) {
            pa = static_cast<const char *>(std::memchr(at, first.a, static_cast<size_t>(stop - at)));
            aGone = !pa;
        }
        if (!bGone && (!pb || pb < at)) {
            pb = static_cast<const char *>(std::memchr(at, first.b, static_cast<size_t>(stop - at)));
            bGone = !pb;
        }
        const char *hit = aGone ? (bGone ? nullptr : pb) : (bGone ? pa : std::min(pa, pb));
        if (!hit)
            return;
        const qsizetype offset = hit - data;
        if (matchesAt(s, data, offset) && wordBoundsHold(s, text, offset)) {
            if (!onMatch(offset))
                return;
            at = hit + n;
        } else {
            at = hit + 1;
        }
    }
}

qsizetype TextSearch::next(std::string_view text, qsizetype from) const
{
    qsizetype found = -1;
    scanForward(*this, text, from, [&](qsizetype at) {
        found = at;
        return false;
    });
    return found;
}

std::vector<qsizetype> TextSearch::all(std::string_view text) const
{
    std::vector<qsizetype> found;
    scanForward(*this, text, 0, [&](qsizetype at) {
        found.push_back(at);
        return true;
    });
    return found;
}

qsizetype TextSearch::previous(std::string_view text, qsizetype before) const
{
    const qsizetype n = needle.size();
    const qsizetype size = static_cast<qsizetype>(text.size());
    if (n == 0)
        return -1;
    const char *data = text.data();
    const FirstByte first(*this);
    const char *pa = nullptr, *pb = nullptr;
    bool aGone = false, bGone = first.a == first.b;
    qsizetype limit = std::min(before, size - n + 1); // candidates lie in [0, limit)
    while (limit > 0) {
        if (!aGone && (!pa || pa >= data + limit)) {
            pa = static_cast<const char *>(memrchr(data, first.a, static_cast<size_t>(limit)));
            aGone = !pa;
        }
        if (!bGone && (!pb || pb >= data + limit)) {
            pb = static_cast<const char *>(memrchr(data, first.b, static_cast<size_t>(limit)));
            bGone = !pb;
        }
        const char *hit = aGone ? (bGone ? nullptr : pb) : (bGone ? pa : std::max(pa, pb));
        if (!hit)
            return -1;
        const qsizetype offset = hit - data;
        if (matchesAt(*this, data, offset) && wordBoundsHold(*this, text, offset))
            return offset;
        limit = offset;
    }
    return -1;
}

QByteArray encodeWindows1252(const QString &text)
{
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        char byte = '?';
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            byte = static_cast<char>(c);
        } else {
            for (int k = 0; k < 32; ++k) {
                if (high[k] == c)
                    byte = static_cast<char>(0x80 + k);
            }
        }
        bytes += byte;
    }
    return bytes;
}
