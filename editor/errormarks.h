#pragma once

#include <QPoint>
#include <QString>

#include <vector>

class RichEdit;

/**
 * The error marks of the editor: a line holding an error gets a red background and
 * a red dot in a narrow margin, whose tooltip is the error's message. Marks are the
 * control's markers, so they follow their line through edits above it. Lines are
 * 0-based. Owned by the editor it marks; it lives and dies with it.
 */
class ErrorMarks
{
public:
    /** Who found an error: `php -l`, or the server while it ran the page. */
    enum class Source { Lint, Server };
    struct Mark
    {
        int background; // marker handles: they follow the line through edits
        int dot;
        QString message;
        Source source;
    };

    explicit ErrorMarks(RichEdit &edit);

    /**
     * Marks `line` as holding the syntax error `message`; -1 takes the syntax
     * error's mark away. Only one syntax error is marked.
     */
    void markErrorLine(int line, const QString &message = QString());
    /** Adds a mark for an error the server reported while running the page; one per line and message. */
    void markServerError(int line, const QString &message);
    /** Takes every mark of the server's errors away. */
    void clearServerErrors();
    /** Takes every mark away (the text they belong to is going). */
    void clear();
    /** The first line that holds an error mark, -1 when none. */
    int errorLine() const;
    /** The messages of the marks on `line`, one a line, each once; empty when it has none. */
    QString errorMessages(int line) const;
    /** Shows or hides the narrow margin where the dots are drawn. */
    void setMarginVisible(bool visible);
    bool marginVisible() const;
    /**
     * The line whose number or dot is at `at` (in the editor's viewport) when that line
     * holds a message, else -1: where the margins are, left of the text.
     */
    int markedLineAt(QPoint at) const;
    /** The messages of the line whose number or dot is at `at`: the margins' tooltip. */
    QString messagesAt(QPoint at) const;

    /** The marks, handed over while the text is not shown (see EditorDocuments). */
    std::vector<Mark> takeMarks();
    void restoreMarks(std::vector<Mark> marks);

private:
    void addMark(int line, const QString &message, Source source);
    void dropMarks(Source source);
    int lineAtMarginY(int y) const;
    /** Where the text starts: the width of the line numbers and the mark margin together. */
    int marginsWidth() const;

    RichEdit &m_edit;
    std::vector<Mark> m_marks;
};
