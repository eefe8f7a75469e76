// The fuzzy path match: a quick in-order test first, then, for the paths that
// pass, the best placement of the query's letters by dynamic programming (one
// row per letter), so that "fmt" prefers "formatting.php"'s scattered but
// word-starting letters the way a reader would.
#include "search/fuzzymatch.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

constexpr int kLetter = 16;
constexpr int kSegmentStart = 12;  // after "/" or at the start
constexpr int kNameStart = 14;     // the first letter of the file's own name
constexpr int kAfterSeparator = 10; // after "_", "-", "." or a space
constexpr int kCamel = 9;          // an upper-case letter after a lower-case one
constexpr int kConsecutive = 10;
constexpr int kInName = 6;         // any letter of the file's own name
constexpr int kSameCase = 1;       // an upper-case letter typed as it is in the path
constexpr int kGapStart = 3;
constexpr int kGapExtend = 1;
constexpr int kMinusInfinity = INT_MIN / 4;
constexpr qsizetype kMaxScoredLength = 1024; // longer paths are scored on their end

/** Each UTF-16 unit in lower case on its own, so that places in the text and in its lower case agree. */
QString lowerSameLength(QStringView text)
{
    QString lower(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        lower[i] = text[i].toLower();
    return lower;
}

int positionBonus(QStringView path, qsizetype j, qsizetype nameStart)
{
    if (j == nameStart)
        return kNameStart;
    if (j == 0)
        return kSegmentStart;
    const QChar before = path[j - 1];
    if (before == u'/')
        return kSegmentStart;
    if (before == u'_' || before == u'-' || before == u'.' || before == u' ')
        return kAfterSeparator;
    if (before.isLower() && path[j].isUpper())
        return kCamel;
    return 0;
}

int score(QStringView query, QStringView lowerQuery, QStringView path, QStringView lowerPath)
{
    if (path.size() > kMaxScoredLength) {
        path = path.last(kMaxScoredLength);
        lowerPath = lowerPath.last(kMaxScoredLength);
    }
    const qsizetype n = lowerQuery.size();
    const qsizetype m = lowerPath.size();
    if (n == 0 || n > m)
        return kNoMatch;
    const char16_t *q = lowerQuery.utf16();
    const char16_t *p = lowerPath.utf16();

    // Where each letter can go: from its earliest place (letters placed as early as
    // possible) to its latest (placed as late as possible). Nothing outside is scored.
    thread_local std::vector<int> lo, hi, prev, cur;
    if (lo.size() < size_t(n)) {
        lo.resize(size_t(n));
        hi.resize(size_t(n));
    }
    for (qsizetype i = 0, j = 0; i < n; ++i, ++j) {
        while (j < m && p[j] != q[i])
            ++j;
        if (j == m)
            return kNoMatch;
        lo[size_t(i)] = int(j);
    }
    for (qsizetype i = n - 1, j = m - 1; i >= 0; --i, --j) {
        while (p[j] != q[i])
            --j;
        hi[size_t(i)] = int(j);
    }
    if (prev.size() < size_t(m)) {
        prev.resize(size_t(m));
        cur.resize(size_t(m));
    }
    const qsizetype nameStart = lowerPath.lastIndexOf(u'/') + 1;

    // Row i: cur[j] is the best score with query letter i placed on path letter j.
    for (qsizetype i = 0; i < n; ++i) {
        const qsizetype first = lo[size_t(i)], last = hi[size_t(i)];
        const qsizetype prevFirst = i > 0 ? lo[size_t(i - 1)] : 0, prevLast = i > 0 ? hi[size_t(i - 1)] : -1;
        int gapBest = kMinusInfinity; // best of prev[k] for k < j - 1, less its gap's cost
        for (qsizetype j = i > 0 ? std::min(first, prevFirst + 2) : first; j <= last; ++j) {
            if (i > 0) {
                const qsizetype k = j - 2;
                gapBest = std::max(gapBest - kGapExtend,
                                   k >= prevFirst && k <= prevLast ? prev[size_t(k)] - kGapStart : kMinusInfinity);
            }
            if (j < first)
                continue;
            if (p[j] != q[i]) {
                cur[size_t(j)] = kMinusInfinity;
                continue;
            }
            int from = 0;
            if (i > 0) {
                const qsizetype k = j - 1;
                const int consecutive = k >= prevFirst && k <= prevLast && prev[size_t(k)] > kMinusInfinity
                                            ? prev[size_t(k)] + kConsecutive
                                            : kMinusInfinity;
                from = std::max(consecutive, gapBest);
                if (from <= kMinusInfinity / 2) {
                    cur[size_t(j)] = kMinusInfinity;
                    continue;
                }
            }
            int here = from + kLetter + positionBonus(path, j, nameStart);
            if (j >= nameStart)
                here += kInName;
            if (query[i] == path[j] && query[i].isUpper())
                here += kSameCase;
            cur[size_t(j)] = here;
        }
        std::swap(prev, cur);
    }
    int best = kMinusInfinity;
    for (qsizetype j = lo[size_t(n - 1)]; j <= hi[size_t(n - 1)]; ++j)
        best = std::max(best, prev[size_t(j)]);
    return best <= kMinusInfinity / 2 ? kNoMatch : best;
}

} // namespace

int fuzzyScore(QStringView query, QStringView path)
{
    return score(query, lowerSameLength(query), path, lowerSameLength(path));
}

FileQuery parseFileQuery(const QString &typed)
{
    static const QRegularExpression withLine(QStringLiteral("^(.*?)\\s*:\\s*(\\d{1,9})$"));
    const QString text = typed.trimmed();
    const QRegularExpressionMatch match = withLine.match(text);
    if (match.hasMatch())
        return {match.captured(1).trimmed(), match.captured(2).toInt()};
    if (text.endsWith(u':'))
        return {text.chopped(1).trimmed(), 0};
    return {text, 0};
}

void FuzzyFinder::setPaths(QStringList paths)
{
    m_paths = std::move(paths);
    m_lower.clear();
    m_lower.reserve(size_t(m_paths.size()));
    for (const QString &path : std::as_const(m_paths))
        m_lower.push_back(lowerSameLength(path));
    m_haveLast = false;
    m_lastMatches.clear();
}

QList<FuzzyFinder::Hit> FuzzyFinder::find(const QString &query, qsizetype limit)
{
    QString typed = query;
    typed.remove(u' ');
    if (typed.isEmpty()) {
        m_haveLast = false;
        return {};
    }
    const QString lowerQuery = lowerSameLength(typed);
    std::vector<int> candidates;
    const bool narrowing = m_haveLast && lowerQuery.startsWith(lowerSameLength(m_lastQuery));
    std::vector<Hit> hits;
    auto consider = [&](int index) {
        const int s = score(typed, lowerQuery, m_paths[index], m_lower[size_t(index)]);
        if (s != kNoMatch) {
            hits.push_back({index, s});
            candidates.push_back(index);
        }
    };
    if (narrowing) {
        for (const int index : m_lastMatches)
            consider(index);
    } else {
        for (int index = 0; index < int(m_paths.size()); ++index)
            consider(index);
    }
    m_lastQuery = typed;
    m_lastMatches = std::move(candidates);
    m_haveLast = true;

    const auto better = [this](const Hit &a, const Hit &b) {
        if (a.score != b.score)
            return a.score > b.score;
        const qsizetype la = m_paths[a.index].size(), lb = m_paths[b.index].size();
        if (la != lb)
            return la < lb;
        return a.index < b.index; // the list is sorted: first in order
    };
    const size_t keep = std::min(hits.size(), size_t(std::max<qsizetype>(0, limit)));
    std::partial_sort(hits.begin(), hits.begin() + qsizetype(keep), hits.end(), better);
    return QList<Hit>(hits.begin(), hits.begin() + qsizetype(keep));
}
