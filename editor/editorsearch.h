#pragma once

#include "editor/findtask.h"

#include <QByteArray>
#include <QString>

#include <vector>

class RichEdit;

/**
 * Find and replace in the editor's text. A request carries a copy of the bytes to
 * the find bar's task (findtask.h), worked out on another thread, and its result
 * comes back here, applied only to the text it was worked out on. Offsets are the
 * editor's byte offsets. Owned by the editor it searches.
 */
class EditorSearch
{
public:
    struct Options
    {
        bool matchCase = false;
        bool wholeWord = false;
        bool regex = false; // PCRE2 syntax; "\1" in a replacement is the first group
    };

    explicit EditorSearch(RichEdit &edit);

    /** A find-bar task over a copy of the text, with the selection as it is now. */
    FindRequest request(FindRequest::Kind kind, const QString &text, const QString &replacement,
                        const Options &options) const;
    /**
     * Applies a task's result: selects its match; puts its replacements in as one undo
     * step. False, and nothing done, when the text is no longer the request's.
     */
    bool applyFound(const FindRequest &request, const FindResult &result);
    /**
     * The same, worked out at once on this thread: selects the next match of `text`
     * after the selection (before it when `backwards`), going round the end of the
     * text; false, and the selection unchanged, when there is none.
     */
    bool findMatch(const QString &text, const Options &options, bool backwards);
    /** Replaces every match in the text as one undo step; returns how many. */
    qsizetype replaceAll(const QString &text, const QString &replacement, const Options &options);

private:
    /** True when the editor's text is exactly `text`. */
    bool holdsText(const QByteArray &text) const;
    FindResult findNow(FindRequest::Kind kind, const QString &text, const QString &replacement, const Options &options);
    void replaceSpan(const std::vector<FindResult::Replaced> &replaced, const QByteArray &bytes);

    RichEdit &m_edit;
};
