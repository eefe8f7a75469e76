#include "editor/landing.h"

qsizetype landingOffset(const QByteArray &text, qint64 number)
{
    qsizetype j = 0;
    qint64 count = 0;
    const qsizetype length = text.size();
    while (j < length && count < number - 1) {
        if (j > 0 && text[j - 1] == '\r')
            ++count;
        ++j;
    }
    return j;
}
