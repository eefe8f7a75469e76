#pragma once

#include <QStringView>
#include <optional>

/**
 * The integer reading shared by the settings file and the refresh period:
 * leading spaces, then either an optional sign and decimal digits (within the
 * signed 32-bit range), or one of the prefixes "$", "x", "X", "0x", "0X" and
 * hexadecimal digits of either case (within 32 bits; a value with the top bit
 * set reads as a negative number). Nothing may follow. Anything else, the
 * empty text included, gives no value.
 */
std::optional<qint32> toInteger(QStringView text);

/** toInteger, or `fallback` when the text does not read as an integer. */
qint32 toIntegerDef(QStringView text, qint32 fallback);
