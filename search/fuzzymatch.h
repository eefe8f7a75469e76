#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <climits>
#include <vector>

/**
 * The fuzzy match of "Ouvrir un fichier du site" (Ctrl+P): the letters typed must
 * appear in the path in the same order, letter case aside. Among the paths that
 * match, a letter scores more at the start of a path segment (after "/"), after
 * "_", "-", "." or a space, and at a lower-to-upper case change; letters that
 * follow each other in the path score more than scattered ones; letters in the
 * file's own name score a little more than in its folders. Ties go to the
 * shorter path, then to the path first in order.
 */

constexpr int kNoMatch = INT_MIN;

/** The score of `path` for `query` (as typed), or kNoMatch when its letters are not all there in order. */
int fuzzyScore(QStringView query, QStringView path);

/** What Ctrl+P's box asks: a name, and a line after a ":" ("page.php:42"); line 0 when none. */
struct FileQuery
{
    QString text;
    int line = 0;
};
FileQuery parseFileQuery(const QString &typed);

/**
 * Ranks a fixed list of paths for successive queries. When a query extends the
 * one before (one more letter typed), only the paths that matched before are
 * looked at again, which is what keeps each letter quick on a long list.
 */
class FuzzyFinder
{
public:
    struct Hit
    {
        int index; // into paths()
        int score;
    };

    void setPaths(QStringList paths);
    const QStringList &paths() const { return m_paths; }

    /** The best `limit` paths for `query`, best first; an empty query gives none. */
    QList<Hit> find(const QString &query, qsizetype limit);

private:
    QStringList m_paths;
    std::vector<QString> m_lower;
    QString m_lastQuery;
    std::vector<int> m_lastMatches; // every index that matched m_lastQuery
    bool m_haveLast = false;
};
