#include "files/linediff.h"

#include <QList>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace {

QStringList linesOf(const QByteArray &bytes)
{
    QString text = QString::fromUtf8(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the break that ends the last line starts no line of its own
    return lines;
}

// Above this many cells the middle is not matched line by line.
constexpr qint64 kMaxCells = qint64(4) << 20;

/** One line of the comparison: ' ' kept, '-' only before, '+' only after. */
struct DiffRow
{
    char kind;
    QString text;
};

/** The rows of the changed middle `a` against `b`, by a longest common subsequence. */
void compareMiddle(const QStringList &a, const QStringList &b, std::vector<DiffRow> *rows)
{
    const qsizetype n = a.size(), m = b.size();
    if (n * m > kMaxCells) {
        for (const QString &line : a)
            rows->push_back({'-', line});
        for (const QString &line : b)
            rows->push_back({'+', line});
        return;
    }
    // common[i][j]: the longest common subsequence of a[i..] and b[j..].
    std::vector<int> common(size_t((n + 1) * (m + 1)), 0);
    auto at = [&](qsizetype i, qsizetype j) -> int & { return common[size_t(i * (m + 1) + j)]; };
    for (qsizetype i = n - 1; i >= 0; --i)
        for (qsizetype j = m - 1; j >= 0; --j)
            at(i, j) = a[i] == b[j] ? at(i + 1, j + 1) + 1 : std::max(at(i + 1, j), at(i, j + 1));
    qsizetype i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && a[i] == b[j]) {
            rows->push_back({' ', a[i]});
            ++i, ++j;
        } else if (j < m && (i == n || at(i, j + 1) > at(i + 1, j))) { // removals first on a tie
            rows->push_back({'+', b[j++]});
        } else {
            rows->push_back({'-', a[i++]});
        }
    }
}

} // namespace

QString lineDifferences(const QByteArray &before, const QByteArray &after, int context)
{
    const QStringList a = linesOf(before), b = linesOf(after);
    qsizetype head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    qsizetype tail = 0;
    while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    if (head == a.size() && head == b.size())
        return {};
    std::vector<DiffRow> rows;
    for (qsizetype k = 0; k < head; ++k)
        rows.push_back({' ', a[k]});
    compareMiddle(a.mid(head, a.size() - head - tail), b.mid(head, b.size() - head - tail), &rows);
    for (qsizetype k = a.size() - tail; k < a.size(); ++k)
        rows.push_back({' ', a[k]});

    // Keep each kept line within `context` of a change.
    const qsizetype count = qsizetype(rows.size());
    std::vector<bool> shown(rows.size(), false);
    for (qsizetype k = 0; k < count; ++k) {
        if (rows[size_t(k)].kind == ' ')
            continue;
        for (qsizetype near = std::max<qsizetype>(0, k - context); near <= std::min(count - 1, k + context); ++near)
            shown[size_t(near)] = true;
    }
    QStringList out;
    bool skipped = false;
    for (qsizetype k = 0; k < count; ++k) {
        if (!shown[size_t(k)]) {
            skipped = true;
            continue;
        }
        if (skipped)
            out << QStringLiteral("…");
        skipped = false;
        out << QString(QLatin1Char(rows[size_t(k)].kind)) + QLatin1Char(' ') + rows[size_t(k)].text;
    }
    if (skipped)
        out << QStringLiteral("…");
    return out.join(QLatin1Char('\n'));
}
