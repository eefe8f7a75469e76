#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <vector>

/**
 * One search or replacement of the find bar, worked out on a copy of the
 * editor's bytes, so that it can run away from the window's thread.
 *
 * Offsets are 0-based byte offsets of that copy (a line break is the two bytes
 * CR LF). Regular expressions are PCRE2's (through QRegularExpression, compiled
 * to machine code where it can be): "^" and "$" are the ends of a line, "." takes
 * any character but CR and LF, "\w" and "\b" know letters beyond ASCII. A match
 * that costs more than the engine's limits is reported, never waited for.
 */
struct FindRequest
{
    enum class Kind {
        Next,            // the next match after the selection, round the end of the text
        Previous,        // the last match before the selection, round the start
        ReplaceSelected, // the selection, if it is a match; then the next match
        ReplaceAll,      // every match
    };
    Kind kind = Kind::Next;
    QByteArray text;  // the editor's bytes
    bool utf8 = true; // false: the bytes are Windows-1252
    bool windows1252File = false; // the text is written as Windows-1252: a replacement must fit it
    QString pattern;
    QString replacement; // "\0" to "\9" stand for the groups of an expression; "\n", "\t", "\\"...
    bool matchCase = false;
    bool wholeWord = false; // neither preceded nor followed by a letter, digit or "_"
    bool regex = false;
    qsizetype selStart = 0, selEnd = 0;
};

struct FindResult
{
    enum class Outcome {
        Found,     // a match, or at least one replacement
        NotFound,
        Invalid,   // the expression (or the replacement) cannot be used: see `message`
        TooCostly, // the engine gave up on a match: too much backtracking or memory
        Cancelled,
    };
    Outcome outcome = Outcome::NotFound;
    QString message; // why an expression is invalid, in French

    /** A replacement: the bytes [start, end) of the request's text became `length` new bytes. */
    struct Replaced
    {
        qsizetype start, end, length;
    };
    /**
     * ReplaceSelected and ReplaceAll: the replacements in order, and the new bytes
     * of the span from the first one's start to the last one's end (the bytes
     * between them included, unchanged).
     */
    std::vector<Replaced> replaced;
    QByteArray span;

    /**
     * The match to select: in the request's text for Next and Previous, in the
     * text after the replacement for ReplaceSelected; -1 when there is none.
     */
    qsizetype matchStart = -1, matchEnd = -1;
};

/** What a running task shows of itself: how far it is, and whether to stop. */
struct FindProgress
{
    std::atomic<bool> cancel{false};
    std::atomic<int> permille{0}; // of the text searched so far
};

/**
 * Works the request out. Returns Cancelled soon after `progress.cancel` turns true:
 * it is read between two matches (one match of the engine is bounded by its limits).
 */
FindResult runFind(const FindRequest &request, FindProgress &progress);

/** The French text the find bar shows for a result: "Introuvable", "3 remplacements"... */
QString findOutcomeText(const FindRequest &request, const FindResult &result);
