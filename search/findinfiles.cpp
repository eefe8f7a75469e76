// Find in files. A word of plain ASCII, the usual case, is looked for in the
// file's bytes with memmem (after an ASCII lower-casing when case is ignored), as
// grep does; a regular expression or a needle with other letters goes through
// QRegularExpression over the decoded text. The site is listed by one worker,
// then its files are shared among the workers, one at a time.
#include "search/findinfiles.h"

#include "io/textbytes.h"
#include "editor/textsearch.h"
#include "files/listing.h"
#include "io/readfile.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kMaxShownChars = 400;
constexpr int kContextBytes = 160;       // bytes kept before a match on a long line
constexpr qsizetype kBatchLines = 400;
constexpr qint64 kBatchMs = 40;

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

/** The line around a match, cut to what the panel shows, with the match's place in it. */
FindMatch lineMatch(std::string_view bytes, size_t lineStart, size_t lineEnd, size_t hit, size_t hitLength,
                    const QString &file, int line)
{
    if (lineEnd > lineStart && bytes[lineEnd - 1] == '\r')
        --lineEnd;
    FindMatch m;
    m.byteColumn = qsizetype(hit - lineStart);
    m.byteLength = qsizetype(hitLength);
    size_t from = hit > lineStart + kContextBytes ? hit - kContextBytes : lineStart;
    size_t to = std::min(lineEnd, std::max(hit + hitLength, from + kMaxShownChars * 2));
    while (from > lineStart && isContinuationByte(bytes[from]))
        --from;
    while (to < lineEnd && isContinuationByte(bytes[to]))
        ++to;
    hit = std::clamp(hit, from, to);
    hitLength = std::min(hitLength, to - hit);
    const bool utf8 = isValidUtf8(bytes.data() + from, qsizetype(to - from));
    const auto decode = [&](size_t a, size_t b) {
        const QByteArrayView view(bytes.data() + a, qsizetype(b - a));
        return utf8 ? QString::fromUtf8(view) : fromWindows1252(view);
    };
    m.file = file;
    m.line = line;
    m.column = int(decode(from, hit).size());
    m.length = int(decode(hit, hit + hitLength).size());
    m.text = decode(from, to);
    if (m.text.size() > kMaxShownChars && m.column + m.length <= kMaxShownChars)
        m.text.truncate(kMaxShownChars);
    return m;
}

/** Counts lines up to a match, remembering where the last counted line starts. */
struct LineCounter
{
    std::string_view bytes;
    char breakByte = '\n';
    size_t countedTo = 0;
    size_t lineStart = 0;
    int line = 1;

    void advanceTo(size_t pos)
    {
        while (countedTo < pos) {
            const void *nl = std::memchr(bytes.data() + countedTo, breakByte, pos - countedTo);
            if (!nl) {
                countedTo = pos;
                break;
            }
            countedTo = size_t(static_cast<const char *>(nl) - bytes.data()) + 1;
            lineStart = countedTo;
            ++line;
        }
    }
    size_t lineEnd(size_t pos) const
    {
        const void *nl = std::memchr(bytes.data() + pos, breakByte, bytes.size() - pos);
        return nl ? size_t(static_cast<const char *>(nl) - bytes.data()) : bytes.size();
    }
};

char lineBreakOf(std::string_view bytes)
{
    if (std::memchr(bytes.data(), '\n', bytes.size()))
        return '\n';
    return std::memchr(bytes.data(), '\r', bytes.size()) ? '\r' : '\n';
}

void addMatch(QList<FindMatch> *out, std::string_view bytes, const LineCounter &lines, size_t hit, size_t length,
              const QString &file, bool *sameLine)
{
    *sameLine = !out->isEmpty() && out->last().file == file && out->last().line == lines.line;
    if (*sameLine) {
        ++out->last().matchesOnLine;
        return;
    }
    out->append(lineMatch(bytes, lines.lineStart, lines.lineEnd(hit), hit, length, file, lines.line));
}

} // namespace

FileSearcher::FileSearcher(const FindOptions &options) : m_options(options)
{
    static const QRegularExpression maskSeparators(QStringLiteral("[;,\\s]+"));
    m_masks = options.fileFilter.split(maskSeparators, Qt::SkipEmptyParts);
    if (options.pattern.isEmpty()) {
        m_error = QStringLiteral("Rien à rechercher.");
        return;
    }
    const bool ascii = std::all_of(options.pattern.cbegin(), options.pattern.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (!options.regex && ascii) {
        m_plain = true;
        m_needle = options.pattern.toLatin1();
        if (!options.matchCase)
            m_needle = m_needle.toLower();
        return;
    }
    QString pattern = options.regex ? options.pattern : QRegularExpression::escape(options.pattern);
    if (options.wholeWord)
        pattern = QStringLiteral("(?<![\\w])(?:%1)(?![\\w])").arg(pattern);
    QRegularExpression::PatternOptions flags = QRegularExpression::MultilineOption | QRegularExpression::UseUnicodePropertiesOption;
    if (!options.matchCase)
        flags |= QRegularExpression::CaseInsensitiveOption;
    m_regex = QRegularExpression(pattern, flags);
    if (!m_regex.isValid())
        m_error = QStringLiteral("Expression régulière incorrecte : %1").arg(m_regex.errorString());
    else
        m_regex.optimize();
}

bool FileSearcher::acceptsName(QStringView fileName) const
{
    if (m_masks.isEmpty())
        return true;
    const QStringView name = fileName.mid(fileName.lastIndexOf(u'/') + 1);
    return std::any_of(m_masks.cbegin(), m_masks.cend(), [&](const QString &mask) { return matchesMask(name, mask); });
}

qsizetype FileSearcher::searchBytes(std::string_view bytes, const QString &file, QList<FindMatch> *out,
                                    qsizetype maxMatches) const
{
    if (!m_error.isEmpty() || maxMatches <= 0)
        return 0;
    return m_plain ? searchPlain(bytes, file, out, maxMatches) : searchText(bytes, file, out, maxMatches);
}

qsizetype FileSearcher::searchPlain(std::string_view bytes, const QString &file, QList<FindMatch> *out,
                                    qsizetype maxMatches) const
{
    std::string_view hay = bytes;
    thread_local std::string lowered;
    if (!m_options.matchCase) {
        lowered.resize(bytes.size());
        std::transform(bytes.begin(), bytes.end(), lowered.begin(), [](char c) {
            return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
        });
        hay = lowered;
    }
    LineCounter lines{bytes, lineBreakOf(bytes)};
    const size_t needleSize = size_t(m_needle.size());
    qsizetype count = 0;
    size_t pos = 0;
    while (pos + needleSize <= hay.size()) {
        const void *found = ::memmem(hay.data() + pos, hay.size() - pos, m_needle.constData(), needleSize);
        if (!found)
            break;
        const size_t hit = size_t(static_cast<const char *>(found) - hay.data());
        if (m_options.wholeWord
            && ((hit > 0 && isWordByte(static_cast<unsigned char>(hay[hit - 1])))
                || (hit + needleSize < hay.size() && isWordByte(static_cast<unsigned char>(hay[hit + needleSize]))))) {
            pos = hit + 1;
            continue;
        }
        lines.advanceTo(hit);
        bool sameLine = false;
        addMatch(out, bytes, lines, hit, needleSize, file, &sameLine);
        if (++count >= maxMatches)
            break;
        pos = hit + std::max<size_t>(needleSize, 1);
    }
    return count;
}

qsizetype FileSearcher::searchText(std::string_view bytes, const QString &file, QList<FindMatch> *out,
                                   qsizetype maxMatches) const
{
    // The match is found in the decoded text, then its place is carried back to bytes
    // so that lines are counted the same way as for the plain search.
    const bool utf8 = isValidUtf8(bytes.data(), qsizetype(bytes.size()));
    const QByteArrayView view(bytes.data(), qsizetype(bytes.size()));
    const QString text = utf8 ? QString::fromUtf8(view) : fromWindows1252(view);
    LineCounter lines{bytes, lineBreakOf(bytes)};
    qsizetype count = 0;
    qsizetype charPos = 0; // a character offset in `text`…
    size_t bytePos = 0;    // …and the byte offset where it starts
    const auto byteOffset = [&](qsizetype chars) {
        if (!utf8)
            return size_t(chars); // one byte per character
        bytePos += size_t(QStringView(text).mid(charPos, chars - charPos).toUtf8().size());
        charPos = chars;
        return bytePos;
    };
    QRegularExpressionMatchIterator it = m_regex.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const size_t hit = byteOffset(match.capturedStart());
        const size_t end = utf8 ? hit + size_t(match.capturedView().toUtf8().size()) : size_t(match.capturedEnd());
        lines.advanceTo(hit);
        bool sameLine = false;
        addMatch(out, bytes, lines, hit, std::min(end, bytes.size()) - hit, file, &sameLine);
        if (++count >= maxMatches)
            break;
    }
    return count;
}

struct FindInFiles::Job
{
    Site site;
    FindOptions options;
    std::unique_ptr<FileSearcher> searcher;
    std::atomic<bool> cancel{false};
    std::atomic<bool> full{false};
    std::atomic<qsizetype> matches{0};
    std::atomic<qsizetype> nextFile{0};
    std::atomic<qsizetype> searched{0}, lines{0}, binary{0}, large{0}, unreadable{0};
    std::atomic<bool> firstDelivered{false};
    SiteListing listing;
    std::thread lead;
    std::mutex mutex;
    std::condition_variable ended;
    bool over = false;
};

FindInFiles::FindInFiles(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<FindMatch>();
    qRegisterMetaType<FindSummary>();
    qRegisterMetaType<QList<FindMatch>>();
}

FindInFiles::~FindInFiles()
{
    cancel();
    for (const std::shared_ptr<Job> &job : std::as_const(m_retired)) {
        if (job->lead.joinable())
            job->lead.join();
    }
}

void FindInFiles::cancel()
{
    if (!m_job)
        return;
    m_job->cancel = true;
    m_retired.append(std::exchange(m_job, nullptr));
}

bool FindInFiles::wait(int milliseconds)
{
    if (!m_job)
        return true;
    const std::shared_ptr<Job> job = m_job;
    std::unique_lock lock(job->mutex);
    return job->ended.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return job->over; });
}

void FindInFiles::start(const Site &site, const FindOptions &options)
{
    cancel();
    // Searches cancelled before have ended or end soon: join those that are over.
    m_retired.removeIf([](const std::shared_ptr<Job> &job) {
        std::unique_lock lock(job->mutex);
        if (!job->over)
            return false;
        lock.unlock();
        job->lead.join();
        return true;
    });
    auto job = std::make_shared<Job>();
    job->site = site;
    job->options = options;
    job->searcher = std::make_unique<FileSearcher>(options);
    if (!job->searcher->error().isEmpty()) {
        FindSummary summary;
        summary.error = job->searcher->error();
        QMetaObject::invokeMethod(this, [this, summary] { emit finished(summary); }, Qt::QueuedConnection);
        return;
    }
    m_job = job;
    job->lead = std::thread([this, job] { run(job); });
}

void FindInFiles::run(const std::shared_ptr<Job> &job)
{
    job->listing = listSiteFiles(job->site, &job->cancel);
    const int helpers = std::clamp(QThread::idealThreadCount(), 1, 4) - 1;
    std::vector<std::thread> threads;
    for (int i = 0; i < helpers; ++i)
        threads.emplace_back([this, job] { work(job); });
    work(job);
    for (std::thread &t : threads)
        t.join();
    FindSummary summary;
    summary.filesSearched = job->searched;
    summary.matches = std::min(job->matches.load(), job->options.maxMatches);
    summary.lines = job->lines;
    summary.skippedBinary = job->binary;
    summary.skippedLarge = job->large;
    summary.unreadable = job->unreadable + job->listing.unreadableFiles;
    summary.unreadableFolders = job->listing.unreadableFolders;
    summary.truncated = job->full;
    summary.cancelled = job->cancel;
    QMetaObject::invokeMethod(this, [this, job, summary] {
        if (job == m_job) {
            m_job = nullptr;
            m_retired.append(job);
            emit finished(summary);
        }
    }, Qt::QueuedConnection);
    std::lock_guard lock(job->mutex);
    job->over = true;
    job->ended.notify_all();
}

void FindInFiles::work(const std::shared_ptr<Job> &job)
{
    QList<FindMatch> batch;
    QElapsedTimer sinceFlush;
    sinceFlush.start();
    const auto flush = [&] {
        if (batch.isEmpty())
            return;
        job->lines += batch.size();
        QMetaObject::invokeMethod(this, [this, job, batch = std::move(batch)] {
            if (job == m_job)
                emit found(batch);
        }, Qt::QueuedConnection);
        batch = {};
        job->firstDelivered = true;
        sinceFlush.restart();
    };
    for (;;) {
        if (job->cancel || job->full)
            break;
        const qsizetype i = job->nextFile++;
        if (i >= job->listing.files.size())
            break;
        const QString &file = job->listing.files[i];
        if (!job->searcher->acceptsName(file))
            continue;
        const ReadResult read = readWholeFileAt(job->listing.encodedPath(job->site.root, file), job->options.maxFileBytes);
        if (read.error == ReadError::TooLarge) {
            ++job->large;
            continue;
        }
        if (!read.ok()) {
            ++job->unreadable;
            continue;
        }
        if (isBinaryContent(read.bytes)) {
            ++job->binary;
            continue;
        }
        ++job->searched;
        const qsizetype left = job->options.maxMatches - job->matches.load();
        const qsizetype n = job->searcher->searchBytes(std::string_view(read.bytes.constData(), size_t(read.bytes.size())),
                                                      file, &batch, left);
        if ((job->matches += n) >= job->options.maxMatches)
            job->full = true;
        if (!batch.isEmpty() && (!job->firstDelivered || batch.size() >= kBatchLines || sinceFlush.elapsed() >= kBatchMs))
            flush();
    }
    flush();
}
