#pragma once

#include "editor/completion.h"

#include <QObject>
#include <QString>

#include <functional>

class RichEdit;

/**
 * The completion list of the source editor, over the control's own
 * autocompletion: it opens at the second letter of a name, or on Ctrl+Space,
 * never in a string or a comment, and offers the keyword lists' functions and
 * constants, PHP's keywords and the names of the text around the caret. Each
 * entry shows its signature; Enter or Tab types its name in, Escape closes, and
 * the list follows the letters typed while it is open.
 */
class EditorCompletion : public QObject
{
    Q_OBJECT
public:
    /** The user's keyword list, then PHP's: read when a list opens. */
    using KeywordLists = std::function<std::pair<QString, QString>()>;

    EditorCompletion(RichEdit *editor, KeywordLists lists);

    /** Opens the list for the name before the caret, however short it is (Ctrl+Space). */
    void openNow();
    bool isOpen() const;

    /** Bytes of text on each side of the caret whose names are offered: bounds the cost in a big text. */
    static constexpr qsizetype kNamesAround = 64 * 1024;

    /**
     * The signature of the function `name` as the text around the caret defines it
     * (see definitionSignature), the caret's line first; null when none does.
     */
    QString definitionAround(const QString &name);

private:
    void charAdded(int ch);
    /**
     * The names of the text around the caret, its own line left out. They are read
     * again only when the caret is on another line or another text, or after an
     * edit off its line: typing on a line costs no new reading at each name.
     */
    const CompletionIndex &namesAround();
    void noteModified(int position, int type, const char *text, int length, int linesAdded);
    void open(int minimumLength);
    void accept(const char *shown, int position);
    /** True when the caret stands in a string or a comment, by the lexer's styles or the line's text. */
    bool caretInStringOrComment(const QString &beforeCaret) const;
    const CompletionIndex &listsIndex();

    RichEdit *m_editor;
    KeywordLists m_lists;
    CompletionIndex m_index; // the keyword lists' names and PHP's keywords
    std::pair<QString, QString> m_indexed;
    bool m_indexBuilt = false;
    bool m_capped = false; // the open list shows only the first of the names that match
    std::pair<qsizetype, QString> m_offered{-1, QString()}; // the last name offered: where it begins, as it was
    CompletionIndex m_around; // see namesAround
    struct AroundKey
    {
        long document = 0;
        int line = -1;      // -1: to be read again
        int lines = 0;
        qsizetype rest = 0; // the text's length but the caret's line
        bool operator==(const AroundKey &) const = default;
    } m_aroundKey;
};
