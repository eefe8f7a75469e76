// The find bar's work, done on a copy of the text. Plain bytes are searched with
// memchr (TextSearch); everything else (regular expressions, and letters beyond
// ASCII in any case) goes to PCRE2 through QRegularExpression. PCRE2 gives up on
// a match past its limits instead of running for ever, and never recurses on the
// thread's stack: a match that outgrows the compiled code's own stack is tried
// again by the interpreter, which keeps its backtracking on the heap (bounded).
#include "editor/findtask.h"

#include "io/textbytes.h"
#include "editor/textsearch.h"

#include <QRegularExpression>
#include <QRegularExpressionMatch>

#include <optional>

namespace {

// Heap the interpreter may take for one match, in KiB: a group repeated on a line
// of some 400,000 characters still fits.
constexpr const char16_t *kLimits = u"(*ANYCRLF)(*LIMIT_HEAP=131072)";
// A word character, as isWordByte sees it: ASCII letters and digits, "_", any other character.
constexpr const char16_t *kWordChar = u"[0-9A-Za-z_\\x{80}-\\x{10FFFF}]";

/**
 * The request's text as UTF-16 for the engine, and the way back from its offsets
 * to bytes. A Windows-1252 byte is one UTF-16 unit; UTF-8 is walked by a cursor
 * that only moves forward in the common case, so mapping every match costs one
 * pass over the text.
 */
class Subject
{
public:
    Subject(const QByteArray &bytes, bool utf8)
        : m_bytes(bytes)
    {
        const bool asUtf8 = utf8 && isValidUtf8(bytes.constData(), bytes.size());
        m_sameOffsets = !asUtf8 || isAscii(bytes.constData(), bytes.size());
        text = asUtf8 ? QString::fromUtf8(bytes) : fromWindows1252(bytes);
    }

    QString text;

    qsizetype toByte(qsizetype unit)
    {
        if (m_sameOffsets)
            return unit;
        if (unit < m_unit)
            m_unit = m_byte = 0;
        while (m_unit < unit && m_byte < m_bytes.size())
            step();
        return m_byte;
    }
    qsizetype toUnit(qsizetype byte)
    {
        if (m_sameOffsets)
            return byte;
        if (byte < m_byte)
            m_unit = m_byte = 0;
        while (m_byte < byte && m_byte < m_bytes.size())
            step();
        return m_unit;
    }

private:
    void step()
    {
        const auto lead = static_cast<unsigned char>(m_bytes[m_byte]);
        const int width = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        m_byte += width;
        m_unit += width == 4 ? 2 : 1; // beyond the BMP: a surrogate pair
    }

    const QByteArray &m_bytes;
    bool m_sameOffsets = true;
    qsizetype m_unit = 0, m_byte = 0;
};

/** What the replacement text says: literal pieces and group numbers (-1: literal). */
struct Template
{
    std::vector<std::pair<QString, int>> pieces;
    bool literal = true;

    Template(const QString &text, bool escapes)
    {
        QString run;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (!escapes || c != u'\\' || i + 1 == text.size()) {
                run += c;
                continue;
            }
            const QChar e = text[++i];
            if (e.isDigit() && e.unicode() <= u'9') {
                pieces.emplace_back(std::exchange(run, {}), -1);
                pieces.emplace_back(QString(), e.unicode() - u'0');
                literal = false;
                continue;
            }
            switch (e.unicode()) {
            case u'n': run += u'\n'; break;
            case u'r': run += u'\r'; break;
            case u't': run += u'\t'; break;
            case u'\\': run += u'\\'; break;
            default: run += c; run += e; // not an escape: kept as typed
            }
        }
        pieces.emplace_back(run, -1);
    }

    QString expand(const QRegularExpressionMatch *match) const
    {
        QString out;
        for (const auto &[text, group] : pieces)
            out += group < 0 ? text : (match ? match->captured(group) : QString());
        return out;
    }
};

/** One match, as byte offsets of the request's text. */
struct Found
{
    qsizetype start = -1, end = -1;
    std::optional<QRegularExpressionMatch> match; // for the groups; none for plain bytes
};

/**
 * The matches of one request, one at a time. Each is looked for after the end of
 * the one before; after an empty match, the next one may start at the same place
 * only if it is not empty.
 */
class Matcher
{
public:
    explicit Matcher(const FindRequest &request)
        : m_request(request)
    {
        const QByteArray needle = request.utf8 ? request.pattern.toUtf8() : encodeWindows1252(request.pattern);
        m_plain = TextSearch{needle, request.matchCase, request.wholeWord};
        if (!request.regex && m_plain.bytewise())
            return;
        m_subject.emplace(request.text, request.utf8);
        compile(request.regex ? request.pattern : QRegularExpression::escape(request.pattern));
    }

    bool valid() const { return m_message.isEmpty(); }
    const QString &message() const { return m_message; }
    bool costly() const { return m_costly; }

    /** The first match starting at or after `from` (not an empty one at `from` when `notEmptyThere`). */
    std::optional<Found> next(qsizetype from, bool notEmptyThere = false)
    {
        if (!m_subject) {
            const qsizetype at = m_plain.next(bytes(), from);
            return at < 0 ? std::nullopt : std::optional<Found>(Found{at, at + m_plain.needle.size(), {}});
        }
        return attempt(m_subject->toUnit(from), notEmptyThere, QRegularExpression::NoMatchOption);
    }
    /** The match starting exactly at `at`, if there is one. */
    std::optional<Found> at(qsizetype at)
    {
        if (!m_subject) {
            const qsizetype found = m_plain.next(bytes(), at);
            return found != at ? std::nullopt : std::optional<Found>(Found{at, at + m_plain.needle.size(), {}});
        }
        return attempt(m_subject->toUnit(at), false, QRegularExpression::AnchorAtOffsetMatchOption);
    }
    /** Plain bytes only: the last match starting before `before` (−1 if none), and the needle's length. */
    qsizetype plainPrevious(qsizetype before) const { return m_plain.previous(bytes(), before); }
    qsizetype plainLength() const { return m_plain.needle.size(); }
    bool isPlain() const { return !m_subject; }

private:
    std::string_view bytes() const { return {m_request.text.constData(), size_t(m_request.text.size())}; }

    void compile(const QString &pattern)
    {
        const QRegularExpression::PatternOptions options = QRegularExpression::MultilineOption
            | QRegularExpression::UseUnicodePropertiesOption
            | (m_request.matchCase ? QRegularExpression::NoPatternOption : QRegularExpression::CaseInsensitiveOption);
        const QRegularExpression raw(pattern, options);
        if (!raw.isValid()) {
            m_message = QStringLiteral("Expression invalide (caractère %1) : %2")
                            .arg(raw.patternErrorOffset() + 1)
                            .arg(raw.errorString());
            return;
        }
        // Items that must open the pattern ((*UCP), (*CRLF)...) stay in front of the rest.
        static const QRegularExpression leadingItems(QStringLiteral("^(?:\\(\\*[A-Z_]+(?:=\\d+)?\\))*"));
        const qsizetype lead = leadingItems.match(pattern).capturedLength();
        QString body = QStringLiteral("(?:") + pattern.mid(lead) + u')';
        if (m_request.wholeWord)
            body = QStringLiteral("(?<!%1)%2(?!%1)").arg(QString::fromUtf16(kWordChar), body);
        const QString front = QString::fromUtf16(kLimits) + pattern.left(lead);
        // `\G` is where the attempt starts: "(?!\G)" after the match refuses an empty one there.
        const QString forms[2] = {front + body, front + body + QStringLiteral("(?!\\G)")};
        for (int k = 0; k < 2; ++k) {
            m_regex[k] = QRegularExpression(forms[k], options);
            m_regex[k + 2] = QRegularExpression(QStringLiteral("(*NO_JIT)") + forms[k], options);
        }
        if (!m_regex[0].isValid() || !m_regex[1].isValid())
            m_message = QStringLiteral("Expression invalide : %1").arg(m_regex[1].errorString());
    }

    std::optional<Found> attempt(qsizetype unit, bool notEmptyThere, QRegularExpression::MatchOptions options)
    {
        const int form = notEmptyThere ? 1 : 0;
        QRegularExpressionMatch match = m_regex[form].match(m_subject->text, unit, QRegularExpression::NormalMatch, options);
        if (!match.isValid()) // the compiled code ran out of its stack, or of tries
            match = m_regex[form + 2].match(m_subject->text, unit, QRegularExpression::NormalMatch, options);
        if (!match.isValid()) {
            m_costly = true;
            return std::nullopt;
        }
        if (!match.hasMatch())
            return std::nullopt;
        const qsizetype start = m_subject->toByte(match.capturedStart());
        const qsizetype end = m_subject->toByte(match.capturedEnd());
        return Found{start, std::max(start, end), std::move(match)};
    }

    const FindRequest &m_request;
    TextSearch m_plain;
    std::optional<Subject> m_subject;
    QRegularExpression m_regex[4]; // compiled, and "not empty here"; then both for the interpreter
    QString m_message;
    bool m_costly = false;
};

using Outcome = FindResult::Outcome;

FindResult failure(Outcome outcome, const QString &message = {})
{
    FindResult result;
    result.outcome = outcome;
    result.message = message;
    return result;
}

bool cancelled(FindProgress &progress, qsizetype done, qsizetype total)
{
    progress.permille.store(total > 0 ? int(std::min<qsizetype>(1000, done * 1000 / total)) : 1000);
    return progress.cancel.load();
}

FindResult findNext(const FindRequest &request, Matcher &matcher)
{
    // An empty match at the caret itself is the one already there: go past it.
    const bool caret = request.selStart == request.selEnd;
    std::optional<Found> found = matcher.next(request.selEnd, caret);
    if (!found && !matcher.costly())
        found = matcher.next(0);
    if (matcher.costly())
        return failure(Outcome::TooCostly);
    FindResult result;
    if (found) {
        result.outcome = Outcome::Found;
        result.matchStart = found->start;
        result.matchEnd = found->end;
    }
    return result;
}

FindResult findPrevious(const FindRequest &request, Matcher &matcher, FindProgress &progress)
{
    FindResult result;
    if (matcher.isPlain()) {
        qsizetype at = matcher.plainPrevious(request.selStart);
        if (at < 0)
            at = matcher.plainPrevious(request.text.size() + 1);
        if (at >= 0) {
            result.outcome = Outcome::Found;
            result.matchStart = at;
            result.matchEnd = at + matcher.plainLength();
        }
        return result;
    }
    // Expressions are only read forwards: the last match before the selection, else the last of all.
    std::optional<Found> last;
    for (std::optional<Found> m = matcher.next(0); m; m = matcher.next(last->end, last->start == last->end)) {
        if (m->start >= request.selStart && last && last->start < request.selStart)
            break;
        last = std::move(m);
        if (cancelled(progress, last->end, request.text.size()))
            return failure(Outcome::Cancelled);
    }
    if (matcher.costly())
        return failure(Outcome::TooCostly);
    if (last) {
        result.outcome = Outcome::Found;
        result.matchStart = last->start;
        result.matchEnd = last->end;
    }
    return result;
}

/** The bytes of a replacement in the text's encoding; false when the text or its file cannot hold them. */
bool encodeFor(const FindRequest &request, const QString &text, QByteArray *out)
{
    if (!request.utf8)
        return toWindows1252(text, out);
    *out = text.toUtf8();
    QByteArray narrow;
    return !request.windows1252File || toWindows1252(text, &narrow);
}

const QString kNotInWindows1252 =
    QStringLiteral("Caractère absent de Windows-1252, l'encodage de ce fichier : rien n'est remplacé");

FindResult replaceAll(const FindRequest &request, Matcher &matcher, FindProgress &progress)
{
    const Template with(request.replacement, request.regex);
    QByteArray fixed;
    if (!encodeFor(request, with.expand(nullptr), &fixed)) // the literal parts: groups come from the text
        return failure(Outcome::Invalid, kNotInWindows1252);
    FindResult result;
    QByteArray &span = result.span;
    const QByteArray &text = request.text;
    qsizetype kept = -1; // end of the last match: the bytes from there on are not written yet
    bool empty = false;
    for (std::optional<Found> m = matcher.next(0); m; m = matcher.next(m->end, empty)) {
        if (kept < 0) {
            kept = m->start;
            span.reserve(text.size() - kept + 64);
        }
        span.append(text.constData() + kept, m->start - kept);
        qsizetype length = fixed.size();
        if (with.literal) {
            span.append(fixed);
        } else {
            QByteArray bytes;
            encodeFor(request, with.expand(m->match ? &*m->match : nullptr), &bytes); // groups come from the text
            span.append(bytes);
            length = bytes.size();
        }
        result.replaced.push_back({m->start, m->end, length});
        kept = m->end;
        empty = m->start == m->end;
        if (cancelled(progress, kept, text.size()))
            return failure(Outcome::Cancelled);
    }
    if (matcher.costly())
        return failure(Outcome::TooCostly);
    result.outcome = result.replaced.empty() ? Outcome::NotFound : Outcome::Found;
    return result;
}

FindResult replaceSelected(const FindRequest &request, Matcher &matcher, FindProgress &progress)
{
    std::optional<Found> m;
    if (request.selEnd > request.selStart)
        m = matcher.at(request.selStart);
    if (matcher.costly())
        return failure(Outcome::TooCostly);
    if (!m || m->end != request.selEnd)
        return findNext(request, matcher); // not a match: only go to the next one
    const Template with(request.replacement, request.regex);
    QByteArray bytes;
    if (!encodeFor(request, with.expand(m->match ? &*m->match : nullptr), &bytes))
        return failure(Outcome::Invalid, kNotInWindows1252);
    // The next match is looked for in the text as it will be.
    FindRequest after = request;
    after.kind = FindRequest::Kind::Next;
    after.text.replace(m->start, m->end - m->start, bytes);
    after.selStart = after.selEnd = m->start + bytes.size();
    FindResult result = runFind(after, progress);
    if (result.outcome == Outcome::Cancelled || result.outcome == Outcome::TooCostly)
        return result;
    result.outcome = Outcome::Found;
    result.replaced.push_back({m->start, m->end, bytes.size()});
    result.span = bytes;
    return result;
}

} // namespace

FindResult runFind(const FindRequest &request, FindProgress &progress)
{
    if (request.pattern.isEmpty())
        return {};
    Matcher matcher(request);
    if (!matcher.valid())
        return failure(Outcome::Invalid, matcher.message());
    switch (request.kind) {
    case FindRequest::Kind::Next:
        return findNext(request, matcher);
    case FindRequest::Kind::Previous:
        return findPrevious(request, matcher, progress);
    case FindRequest::Kind::ReplaceSelected:
        return replaceSelected(request, matcher, progress);
    case FindRequest::Kind::ReplaceAll:
        return replaceAll(request, matcher, progress);
    }
    return {};
}

QString findOutcomeText(const FindRequest &request, const FindResult &result)
{
    switch (result.outcome) {
    case Outcome::Invalid:
        return result.message;
    case Outcome::TooCostly:
        return QStringLiteral("Expression trop coûteuse");
    case Outcome::Cancelled:
        return QStringLiteral("Recherche annulée");
    case Outcome::Found:
    case Outcome::NotFound:
        break;
    }
    if (request.kind == FindRequest::Kind::ReplaceAll) {
        const qsizetype count = qsizetype(result.replaced.size());
        return count == 1 ? QStringLiteral("1 remplacement") : QStringLiteral("%1 remplacements").arg(count);
    }
    return result.matchStart < 0 ? QStringLiteral("Introuvable") : QString();
}
