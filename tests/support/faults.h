#pragma once
// Shared by the fault-injection tests and their child process (support/faultchild/):
// the contents the child saves, so that the test can tell a whole file from a mix.

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>

/**
 * `size` bytes of LF-separated lines, each naming `tag` and its own number: two
 * contents of different tags differ on every line, so any mix of them (or a cut
 * one) equals neither.
 */
inline QByteArray faultContent(char tag, qsizetype size)
{
    QByteArray out;
    out.reserve(size + 64);
    for (qsizetype n = 0; out.size() < size; ++n)
        out += QByteArray(1, tag) + " " + QByteArray::number(n).rightJustified(9, '0') + " <?php echo $x" + tag + "; ?>\n";
    out.truncate(size);
    return out;
}

/** The lines of a keyword list or the items of a query history, tagged as above. */
inline QStringList faultLines(char tag, int count)
{
    QStringList lines;
    for (int n = 0; n < count; ++n)
        lines << QStringLiteral("%1 %2 select * from t where c = '%1'").arg(QLatin1Char(tag)).arg(n, 6, 10, QLatin1Char('0'));
    return lines;
}

/** Temporary files of saves (".<name>.ondrel-…") in `folder`. */
inline QStringList strayTemps(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral(".*.ondrel-*")}, QDir::Files | QDir::Hidden | QDir::System);
}
