// toInteger, the reading of every integer of the settings file, and toPeriodInteger,
// that of the refresh period, against a plain model: any text, ASCII or not, gives
// the model's answer.
#include "fuzzinput.h"
#include "base/integers.h"

#include <optional>
#include <string>

namespace {

/**
 * The rules written out plainly on a std::u16string, with a 128-bit accumulator.
 * Settings: a sign may come before a hexadecimal prefix, and the signed value must
 * fit in 32 bits. Period: no sign before a prefix, and hexadecimal fills 32 bits.
 */
std::optional<qint32> model(const std::u16string &s, bool period)
{
    size_t i = 0;
    while (i < s.size() && s[i] == u' ')
        ++i;
    std::u16string t = s.substr(i);
    if (t.empty())
        return std::nullopt;
    bool minus = false;
    if (!period && (t[0] == u'+' || t[0] == u'-')) {
        const std::u16string rest = t.substr(1);
        const bool hexAfter = !rest.empty()
            && (rest[0] == u'$' || rest[0] == u'x' || rest[0] == u'X'
                || (rest.size() >= 2 && rest[0] == u'0' && (rest[1] == u'x' || rest[1] == u'X')));
        if (hexAfter) {
            minus = t[0] == u'-';
            t = rest;
        }
    }
    size_t digitsAt = std::u16string::npos;
    if (t[0] == u'$' || t[0] == u'x' || t[0] == u'X')
        digitsAt = 1;
    else if (t.size() >= 2 && t[0] == u'0' && (t[1] == u'x' || t[1] == u'X'))
        digitsAt = 2;
    if (digitsAt != std::u16string::npos) {
        const std::u16string digits = t.substr(digitsAt);
        if (digits.empty())
            return std::nullopt;
        unsigned __int128 v = 0;
        for (char16_t c : digits) {
            int d;
            if (c >= u'0' && c <= u'9') d = c - u'0';
            else if (c >= u'a' && c <= u'f') d = c - u'a' + 10;
            else if (c >= u'A' && c <= u'F') d = c - u'A' + 10;
            else return std::nullopt;
            v = v * 16 + unsigned(d);
            if (v > 0xFFFFFFFFu)
                return std::nullopt;
        }
        if (period)
            return qint32(uint32_t(v));
        if (minus ? v > 0x80000000u : v > 0x7FFFFFFFu)
            return std::nullopt;
        return minus ? qint32(-static_cast<long long>(v)) : qint32(v);
    }
    bool negative = false;
    size_t k = 0;
    if (t[0] == u'+' || t[0] == u'-') {
        negative = t[0] == u'-';
        k = 1;
    }
    if (k == t.size())
        return std::nullopt;
    unsigned __int128 v = 0;
    for (; k < t.size(); ++k) {
        if (t[k] < u'0' || t[k] > u'9')
            return std::nullopt;
        v = v * 10 + unsigned(t[k] - u'0');
        if (v > 0x80000000u)
            return std::nullopt;
    }
    if (!negative && v > 0x7FFFFFFFu)
        return std::nullopt;
    return negative ? qint32(-static_cast<long long>(v)) : qint32(v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t how = in.byte();
    const QByteArray bytes = in.rest();
    // Mostly Latin-1 (digits, signs and letters come often); sometimes raw UTF-16,
    // where fullwidth and Arabic-Indic digits must be refused.
    QString text;
    if (how & 1) {
        text = QString(reinterpret_cast<const QChar *>(bytes.constData()), bytes.size() / 2);
    } else {
        text = QString::fromLatin1(bytes);
    }
    const std::u16string plain(reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size()));
    const std::optional<qint32> got = toInteger(text);
    const std::optional<qint32> want = model(plain, false);
    FUZZ_CHECK(got.has_value() == want.has_value(), "toInteger accepts what the model refuses, or the reverse");
    if (got)
        FUZZ_CHECK(*got == *want, "toInteger gives another value than the model");
    FUZZ_CHECK(toIntegerDef(text, 1234567) == want.value_or(1234567), "toIntegerDef");
    FUZZ_CHECK(toPeriodInteger(text) == model(plain, true), "toPeriodInteger differs from the model");
    return 0;
}
