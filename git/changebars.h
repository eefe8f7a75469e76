#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <cstdint>
#include <vector>

/** One run of lines that differ between the base text (the index's) and the edited text. */
struct LineChange
{
    enum Kind { Added, Changed, Deleted };
    Kind kind = Added;
    int line = 0;         // first edited line, 0-based; for Deleted, the line the deleted ones stood before
    int lineCount = 0;    // edited lines of the run; 0 for Deleted
    int oldLine = 0;      // first base line, 0-based; for Added, the base line the new ones stand before
    int oldLineCount = 0; // base lines of the run; 0 for Added
    bool operator==(const LineChange &other) const = default;
};

/** What undoing one change does to the edited text: bytes [from, to) become `text`. */
struct LineChangeReversal
{
    qsizetype from = 0; // byte offsets in the edited text
    qsizetype to = 0;
    QByteArray text;
};

/**
 * The change bars of an edited file: the lines added, changed and deleted in the
 * edited text against a base text (the file as the index holds it).
 *
 * Both texts are bytes in the file's own encoding (UTF-8, Windows-1252...), never
 * decoded. A line ends at LF, CR LF or a lone CR, and the break itself is never a
 * change: the editor's CR LF against the index's LF is no difference, and neither
 * is a last line with or without its break. Line numbers are 0-based.
 *
 * The base is split into lines and hashed once; compare() is then called after each key,
 * and costs a pass over the edited text plus a diff of the lines between the
 * first and the last that differ. When more than `kMaxEdits` lines differ in
 * that middle, it is reported as one changed run instead of searched for the
 * smallest set of changes, so that a whole-file rewrite stays fast.
 *
 * A base or an edited text that is binary (a NUL byte, a UTF-16 or UTF-32 mark)
 * has no change bars. A file that the index does not hold is compared with an
 * empty base: every line is added.
 */
class ChangeBars
{
public:
    static constexpr int kMaxEdits = 1000;

    ChangeBars() = default;
    explicit ChangeBars(const QByteArray &base);

    const QByteArray &base() const { return m_base; }
    /** Whether the base is binary, in which case compare() always returns no change. */
    bool baseIsBinary() const { return m_binary; }

    /** The runs of changed lines, in the order of the edited text. */
    QList<LineChange> compare(QByteArrayView edited) const;

    /** The base's lines of a change, without their breaks (empty for Added). */
    QList<QByteArray> oldLines(const LineChange &change) const;

    /**
     * The edit that puts a change's base lines back into `edited` (the text that
     * compare() was given), each followed by `lineBreak` (the editor's break).
     * Applied as one edit, the change is gone from the next compare().
     */
    LineChangeReversal reversal(const LineChange &change, QByteArrayView edited, QByteArrayView lineBreak) const;

    /** One line of a text: its bytes without the break, and where the next line starts. */
    struct Line
    {
        qsizetype start = 0;
        qsizetype length = 0;
        qsizetype next = 0;
    };
    /** The lines of `text`, as compare() sees them. */
    static std::vector<Line> splitLines(QByteArrayView text);

private:
    QByteArray m_base;
    bool m_binary = false;
    std::vector<Line> m_lines;
    std::vector<std::uint64_t> m_hashes; // of m_lines' bytes
};
