#pragma once

#include <QStringView>
#include <optional>

/**
 * An integer of the settings file: optional leading spaces, an optional sign,
 * then either decimal digits or one of the prefixes "0x", "0X", "$", "x", "X"
 * and hexadecimal digits of either case ("-0x10" is -16, "+$1F" 31). Nothing
 * may follow. The signed value must lie within the signed 32-bit range
 * ("0xFFFFFFFF" lies outside it). Anything else, the empty text included,
 * gives no value.
 */
std::optional<qint32> toInteger(QStringView text);

/** toInteger, or `fallback` when the text does not read as an integer. */
qint32 toIntegerDef(QStringView text, qint32 fallback);

/**
 * The refresh period typed on the database page, which keeps a rule of its own:
 * a sign is allowed before decimal digits only, and hexadecimal digits may fill
 * all 32 bits, a value with the top bit set reading as a negative number
 * ("$FFFFFFFF" is -1). Otherwise as toInteger.
 */
std::optional<qint32> toPeriodInteger(QStringView text);
