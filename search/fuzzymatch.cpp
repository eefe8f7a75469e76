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

/** True when the letters of `lowerQuery` are in `lowerPath` in order. */
bool inOrder(QStringView lowerQuery, QStringView lowerPath)
{
    qsizetype j = 0;
    for (const QChar c : lowerQuery) {
        j = lowerPath.indexOf(c, j);
        if (j < 0)
            return false;
        ++j;
    }
    return true;
}

int score(QStringView query, QStringView lowerQuery, QStringView path, QStringView lowerPath)
{
    if (path.size() > kMaxScoredLength) {
        path = path.last(kMaxScoredLength);
        lowerPath = lowerPath.last(kMaxScoredLength);
    }
    const qsizetype n = lowerQuery.size();
    const qsizetype m = lowerPath.size();
    if (n == 0 || n > m || !inOrder(lowerQuery, lowerPath))
        return kNoMatch;
    const qsizetype nameStart = lowerPath.lastIndexOf(u'/') + 1;

    // Row i: best[j] is the best score with query letter i placed on path letter j.
    thread_local std::vector<int> prev, cur;
    prev.assign(size_t(m), kMinusInfinity);
    cur.assign(size_t(m), kMinusInfinity);
    for (qsizetype i = 0; i < n; ++i) {
        int gapBest = kMinusInfinity; // best of prev[k] for k < j - 1, with its gap's cost
        for (qsizetype j = 0; j < m; ++j) {
            if (i > 0 && j >= 2)
                gapBest = std::max(gapBest - kGapExtend, prev[size_t(j - 2)] - kGapStart);
            if (j < i || lowerPath[j] != lowerQuery[i]) {
                cur[size_t(j)] = kMinusInfinity;
                continue;
            }
            int from = 0;
            if (i > 0) {
                const int consecutive = j >= 1 && prev[size_t(j - 1)] > kMinusInfinity ? prev[size_t(j - 1)] + kConsecutive
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
    const int best = *std::max_element(prev.begin(), prev.end());
    return best <= kMinusInfinity / 2 ? kNoMatch : best;
}

} // namespace

int fuzzyScore(QStringView query, QStringView path)
{
    return score(query, query.toString().toLower(), path, path.toString().toLower());
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
        m_lower.push_back(path.toLower());
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
    const QString lowerQuery = typed.toLower();
    std::vector<int> candidates;
    const bool narrowing = m_haveLast && lowerQuery.startsWith(m_lastQuery.toLower());
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
