#include "git/changebars.h"

#include "io/textbytes.h"

#include <xxhash.h>

#include <algorithm>
#include <cstring>

namespace {

std::uint64_t hashLine(const char *text, const ChangeBars::Line &line)
{
    return XXH3_64bits(text + line.start, size_t(line.length));
}

bool sameLine(const char *a, const ChangeBars::Line &la, const char *b, const ChangeBars::Line &lb)
{
    return la.length == lb.length && std::memcmp(a + la.start, b + lb.start, size_t(la.length)) == 0;
}

bool isBinary(QByteArrayView text)
{
    return isBinaryContent(QByteArray::fromRawData(text.data(), text.size()));
}

/** One step of an edit script: a base line dropped, or an edited line inserted. */
enum class Step : char { Keep, Delete, Insert };

/**
 * The shortest edit script from n lines to m lines, `same(x, y)` telling whether
 * old line x equals new line y, by Myers' greedy algorithm; empty with `*tooLong`
 * set when more than `maxEdits` edits are needed.
 */
template <typename Same>
std::vector<Step> shortestEdits(int n, int m, const Same &same, int maxEdits, bool *tooLong)
{
    const int limit = std::min(n + m, maxEdits);
    const int offset = limit + 1;
    std::vector<int> v(size_t(2 * offset + 1), 0);
    // V before each round d, kept for diagonals -d..d only (index k + d).
    std::vector<std::vector<int>> trace;
    int found = -1;
    for (int d = 0; d <= limit && found < 0; ++d) {
        trace.emplace_back(v.begin() + (offset - d), v.begin() + (offset + d + 1));
        for (int k = -d; k <= d; k += 2) {
            int x;
            if (k == -d || (k != d && v[size_t(offset + k - 1)] < v[size_t(offset + k + 1)]))
                x = v[size_t(offset + k + 1)]; // down: an insertion
            else
                x = v[size_t(offset + k - 1)] + 1; // right: a deletion
            int y = x - k;
            while (x < n && y < m && same(x, y)) {
                ++x;
                ++y;
            }
            v[size_t(offset + k)] = x;
            if (x >= n && y >= m) {
                found = d;
                break;
            }
        }
    }
    *tooLong = found < 0;
    if (found < 0)
        return {};
    std::vector<Step> steps;
    int x = n;
    int y = m;
    for (int d = found; d > 0; --d) {
        const std::vector<int> &pv = trace[size_t(d)];
        const int k = x - y;
        const bool down = k == -d || (k != d && pv[size_t(d + k - 1)] < pv[size_t(d + k + 1)]);
        const int prevK = down ? k + 1 : k - 1;
        const int prevX = pv[size_t(d + prevK)];
        const int prevY = prevX - prevK;
        while (x > prevX + (down ? 0 : 1) && y > prevY + (down ? 1 : 0)) {
            steps.push_back(Step::Keep);
            --x;
            --y;
        }
        steps.push_back(down ? Step::Insert : Step::Delete);
        x = prevX;
        y = prevY;
    }
    while (x > 0 && y > 0) {
        steps.push_back(Step::Keep);
        --x;
        --y;
    }
    std::reverse(steps.begin(), steps.end());
    return steps;
}

LineChange runOf(int line, int count, int oldLine, int oldCount)
{
    LineChange change;
    change.kind = count == 0 ? LineChange::Deleted : oldCount == 0 ? LineChange::Added : LineChange::Changed;
    change.line = line;
    change.lineCount = count;
    change.oldLine = oldLine;
    change.oldLineCount = oldCount;
    return change;
}

} // namespace

std::vector<ChangeBars::Line> ChangeBars::splitLines(QByteArrayView text)
{
    std::vector<Line> lines;
    const char *data = text.data();
    const qsizetype size = text.size();
    lines.reserve(size_t(size / 32 + 1));
    // The next LF and the next CR at or after `start` (`size` when there is none),
    // each looked for again only once passed: a text of lone CRs stays linear.
    qsizetype lfAt = -1;
    qsizetype crAt = -1;
    const auto next = [&](char c, qsizetype from) {
        const void *at = std::memchr(data + from, c, size_t(size - from));
        return at ? static_cast<const char *>(at) - data : size;
    };
    qsizetype start = 0;
    while (start < size) {
        if (lfAt < start)
            lfAt = next('\n', start);
        if (crAt < start)
            crAt = next('\r', start);
        if (crAt < lfAt) {
            const bool crlf = crAt + 1 == lfAt && lfAt < size;
            lines.push_back({start, crAt - start, crlf ? lfAt + 1 : crAt + 1});
        } else {
            lines.push_back({start, lfAt - start, lfAt < size ? lfAt + 1 : size});
        }
        start = lines.back().next;
    }
    return lines;
}

ChangeBars::ChangeBars(const QByteArray &base)
    : m_base(base)
    , m_binary(isBinary(base))
{
    if (m_binary)
        return;
    m_lines = splitLines(m_base);
    m_hashes.reserve(m_lines.size());
    for (const Line &line : m_lines)
        m_hashes.push_back(hashLine(m_base.constData(), line));
}

QList<LineChange> ChangeBars::compare(QByteArrayView edited) const
{
    QList<LineChange> changes;
    if (m_binary || isBinary(edited))
        return changes;
    const std::vector<Line> lines = splitLines(edited);
    const char *a = m_base.constData();
    const char *b = edited.data();
    const int n = int(m_lines.size());
    const int m = int(lines.size());
    int head = 0;
    while (head < n && head < m && sameLine(a, m_lines[size_t(head)], b, lines[size_t(head)]))
        ++head;
    int tail = 0;
    while (tail < n - head && tail < m - head
           && sameLine(a, m_lines[size_t(n - 1 - tail)], b, lines[size_t(m - 1 - tail)]))
        ++tail;
    const int oldCount = n - head - tail;
    const int newCount = m - head - tail;
    if (oldCount == 0 && newCount == 0)
        return changes;
    if (oldCount == 0 || newCount == 0) {
        changes.push_back(runOf(head, newCount, head, oldCount));
        return changes;
    }

    // Lines of the middle compared by their hashes first, by their bytes when the hashes agree.
    std::vector<std::uint64_t> newHashes(static_cast<size_t>(newCount));
    for (int j = 0; j < newCount; ++j)
        newHashes[size_t(j)] = hashLine(b, lines[size_t(head + j)]);
    const auto same = [&](int x, int y) {
        return m_hashes[size_t(head + x)] == newHashes[size_t(y)]
            && sameLine(a, m_lines[size_t(head + x)], b, lines[size_t(head + y)]);
    };
    bool tooLong = false;
    const std::vector<Step> steps = shortestEdits(oldCount, newCount, same, kMaxEdits, &tooLong);
    if (tooLong) {
        changes.push_back(runOf(head, newCount, head, oldCount));
        return changes;
    }
    int x = head;
    int y = head;
    size_t i = 0;
    while (i < steps.size()) {
        if (steps[i] == Step::Keep) {
            ++x;
            ++y;
            ++i;
            continue;
        }
        int deleted = 0;
        int inserted = 0;
        for (; i < steps.size() && steps[i] != Step::Keep; ++i)
            (steps[i] == Step::Delete ? deleted : inserted) += 1;
        changes.push_back(runOf(y, inserted, x, deleted));
        x += deleted;
        y += inserted;
    }
    return changes;
}

QList<QByteArray> ChangeBars::oldLines(const LineChange &change) const
{
    QList<QByteArray> out;
    for (int i = change.oldLine; i < change.oldLine + change.oldLineCount && i < int(m_lines.size()); ++i)
        out.push_back(m_base.mid(m_lines[size_t(i)].start, m_lines[size_t(i)].length));
    return out;
}

LineChangeReversal ChangeBars::reversal(const LineChange &change, QByteArrayView edited,
                                        QByteArrayView lineBreak) const
{
    const std::vector<Line> lines = splitLines(edited);
    const int count = int(lines.size());
    LineChangeReversal out;
    const int first = std::clamp(change.line, 0, count);
    const int last = std::clamp(change.line + change.lineCount, first, count);
    out.from = first < count ? lines[size_t(first)].start : edited.size();
    out.to = last < count ? lines[size_t(last)].start : edited.size();
    const QList<QByteArray> old = oldLines(change);
    // Whether the replaced bytes end with a break: the text's last line may have none.
    const bool endsWithBreak = out.to > out.from && last == count
        ? lines.back().next > lines.back().start + lines.back().length
        : true;
    if (out.from == edited.size() && out.from > 0 && count > 0
        && lines.back().next == lines.back().start + lines.back().length && !old.isEmpty()) {
        // Lines put back after a last line that has no break: it gets one first.
        out.text += lineBreak.toByteArray();
    }
    for (qsizetype i = 0; i < old.size(); ++i) {
        out.text += old[i];
        if (i + 1 < old.size() || endsWithBreak || out.from == out.to)
            out.text += lineBreak.toByteArray();
    }
    return out;
}
