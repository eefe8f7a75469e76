#pragma once

#include "search/sitefiles.h"

#include <QList>
#include <QObject>
#include <QRegularExpression>
#include <QString>

#include <atomic>
#include <memory>
#include <string_view>

/**
 * "Rechercher dans le site": every line of the site's files that holds a match,
 * found off the UI thread and handed over in batches while the search runs.
 */

struct FindOptions
{
    QString pattern;
    bool matchCase = false;
    bool wholeWord = false;   // the match is neither preceded nor followed by a letter, digit or "_"
    bool regex = false;       // `pattern` is a regular expression (PCRE2, QRegularExpression)
    QString fileFilter;       // masks of file names ("*.php;*.inc", or separated by "," or spaces); empty: every file
    qint64 maxFileBytes = qint64(8) << 20; // larger files are skipped and counted
    qsizetype maxMatches = 50000;          // the search stops there (FindSummary::truncated)
};

/** One line that holds a match; the first match of the line is the one shown. */
struct FindMatch
{
    QString file;       // relative to the site's folder
    int line = 0;       // 1-based
    int column = 0;     // the match's start in `text`, in UTF-16 units
    int length = 0;     // the match's length in `text`, in UTF-16 units
    QString text;       // the line's text (decoded as UTF-8, else Windows-1252), cut after 400 characters
    int matchesOnLine = 1;
    qsizetype byteColumn = 0; // the match's start in the line's bytes, from the line's start
    qsizetype byteLength = 0; // the match's length in bytes
};

struct FindSummary
{
    qsizetype filesSearched = 0;
    qsizetype matches = 0;        // every match, several on a line included
    qsizetype lines = 0;          // lines with a match (FindMatch records)
    qsizetype skippedBinary = 0;  // a NUL byte in the first 8 KB, or a UTF-16/32 mark
    qsizetype skippedLarge = 0;   // larger than FindOptions::maxFileBytes
    qsizetype unreadable = 0;     // files that could not be read, or whose name could not be told apart
    qsizetype unreadableFolders = 0; // folders that could not be opened: their files were not searched
    bool truncated = false;       // maxMatches reached
    bool cancelled = false;
    QString error;                // French: the regular expression is not valid…; nothing was searched
};

/** A compiled search, usable from several threads at once. */
class FileSearcher
{
public:
    explicit FileSearcher(const FindOptions &options);
    /** Empty when the search can run; else why not, in French. */
    QString error() const { return m_error; }
    /** Whether the file name passes the file filter. */
    bool acceptsName(QStringView fileName) const;
    /**
     * Appends the matching lines of `bytes` (a whole file) to `out` (each with
     * `file` as its name) and returns the number of matches; stops after `maxMatches`.
     */
    qsizetype searchBytes(std::string_view bytes, const QString &file, QList<FindMatch> *out, qsizetype maxMatches) const;

private:
    qsizetype searchPlain(std::string_view bytes, const QString &file, QList<FindMatch> *out, qsizetype maxMatches) const;
    qsizetype searchText(std::string_view bytes, const QString &file, QList<FindMatch> *out, qsizetype maxMatches) const;

    FindOptions m_options;
    QString m_error;
    QStringList m_masks;
    QByteArray m_needle;       // the plain ASCII search: the needle, in lower case unless matchCase
    bool m_plain = false;      // bytes are searched directly (an ASCII needle, no regular expression)
    QRegularExpression m_regex; // everything else
};

/**
 * Runs one search at a time over a site, on worker threads. Results arrive on the
 * thread this object lives on, through `found` (in batches, the first as soon as it
 * exists), then `finished` once. start() while a search runs cancels that one;
 * its late batches are dropped. Destroying the object cancels and waits.
 */
class FindInFiles : public QObject
{
    Q_OBJECT
public:
    explicit FindInFiles(QObject *parent = nullptr);
    ~FindInFiles() override;

    /** Starts searching `site`; an invalid pattern finishes at once with FindSummary::error set. */
    void start(const Site &site, const FindOptions &options);
    void cancel();
    bool isRunning() const { return m_job != nullptr; }
    /** Waits until the running search ends (for tests and benchmarks); false on time-out. */
    bool wait(int milliseconds);

signals:
    void found(const QList<FindMatch> &batch);
    void finished(const FindSummary &summary);

private:
    struct Job;
    void run(const std::shared_ptr<Job> &job);  // on the job's lead thread
    void work(const std::shared_ptr<Job> &job); // on each worker thread

    std::shared_ptr<Job> m_job;                 // the search whose results are delivered
    QList<std::shared_ptr<Job>> m_retired;      // searches over or cancelled, whose threads are still to join
};

Q_DECLARE_METATYPE(FindMatch)
Q_DECLARE_METATYPE(FindSummary)
