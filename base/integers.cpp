#include "base/integers.h"

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

enum class Rule { Settings, Period };

/**
 * The digits from `at` to the end, in base 16 or 10, as a magnitude; no value
 * when there are none, one is not a digit, or the magnitude passes `limit`.
 */
std::optional<quint64> magnitude(QStringView text, qsizetype at, int base, quint64 limit)
{
    if (at == text.size())
        return std::nullopt;
    quint64 value = 0;
    for (qsizetype k = at; k < text.size(); ++k) {
        const int d = hexDigit(text[k]);
        if (d < 0 || d >= base)
            return std::nullopt;
        value = value * quint64(base) + quint64(d);
        if (value > limit)
            return std::nullopt;
    }
    return value;
}

std::optional<qint32> readInteger(QStringView text, Rule rule)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ')
        ++i;
    bool negative = false;
    bool hasSign = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        hasSign = true;
        ++i;
    }
    if (i == n)
        return std::nullopt;

    // Hexadecimal: "$", "x", "X", "0x", "0X", then at least one digit.
    qsizetype digits = -1;
    if (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')
        digits = i + 1;
    else if (text[i] == u'0' && i + 1 < n && (text[i + 1] == u'x' || text[i + 1] == u'X'))
        digits = i + 2;
    const bool hex = digits >= 0;
    if (hex && rule == Rule::Period) {
        if (hasSign)
            return std::nullopt;
        const auto value = magnitude(text, digits, 16, 0xFFFFFFFFULL);
        if (!value)
            return std::nullopt;
        return static_cast<qint32>(static_cast<quint32>(*value)); // the top bit gives the sign
    }
    const auto value = magnitude(text, hex ? digits : i, hex ? 16 : 10, 0x80000000ULL);
    if (!value || (!negative && *value > 0x7FFFFFFFULL))
        return std::nullopt;
    return static_cast<qint32>(negative ? -qint64(*value) : qint64(*value));
}

} // namespace

std::optional<qint32> toInteger(QStringView text)
{
    return readInteger(text, Rule::Settings);
}

qint32 toIntegerDef(QStringView text, qint32 fallback)
{
    return toInteger(text).value_or(fallback);
}

std::optional<qint32> toPeriodInteger(QStringView text)
{
    return readInteger(text, Rule::Period);
}
