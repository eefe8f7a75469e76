#include "settings/integers.h"

namespace {

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

} // namespace

std::optional<qint32> toInteger(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    if (i == n)
        return std::nullopt;

    // Hexadecimal: "$", "x", "X", "0x", "0X", then at least one digit.
    qsizetype digits = -1;
    if (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')
        digits = i + 1;
    else if (text[i] == u'0' && i + 1 < n && (text[i + 1] == u'x' || text[i + 1] == u'X'))
        digits = i + 2;
    if (digits >= 0) {
        if (digits == n)
            return std::nullopt;
        quint64 value = 0;
        for (qsizetype k = digits; k < n; ++k) {
            const int d = hexDigit(text[k]);
            if (d < 0)
                return std::nullopt;
            value = value * 16 + quint64(d);
            if (value > 0xFFFFFFFFULL)
                return std::nullopt;
        }
        return static_cast<qint32>(static_cast<quint32>(value));
    }

    bool negative = false;
    if (text[i] == u'+' || text[i] == u'-') {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == n)
        return std::nullopt;
    qint64 value = 0;
    for (; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < u'0' || u > u'9')
            return std::nullopt;
        value = value * 10 + (u - u'0');
        if (value > 2147483648LL)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > 2147483647LL || value < -2147483648LL)
        return std::nullopt;
    return static_cast<qint32>(value);
}

qint32 toIntegerDef(QStringView text, qint32 fallback)
{
    return toInteger(text).value_or(fallback);
}
