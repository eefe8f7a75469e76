#pragma once

#include <QByteArray>

/**
 * Where a jump to anchor line `number` lands in a text: 0 for number ≤ 1, two
 * past the (number − 1)-th CR (the first character of that line), or the end of
 * the text when there are fewer CRs.
 */
qsizetype landingOffset(const QByteArray &text, qint64 number);
