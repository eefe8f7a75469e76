#include "io/ansitext.h"


QString decodeLine(QByteArrayView line)
{
    return fromUtf8OrWindows1252(line);
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
