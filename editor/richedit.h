#pragma once

#include "editor/colouring.h"

#include <Qsci/qsciscintilla.h>

#include <QByteArray>
#include <QHash>
#include <string_view>
#include <vector>

/**
 * The source editor `M`: the operations the program performs on its editor
 * control, over QScintilla.
 *
 * The control holds bytes. Offsets and lengths are 0-based byte offsets between
 * characters of the whole text, in which a line break is always the two bytes
 * CR LF. Colours are per character: style 0 has no colour of its own and is
 * drawn in the text colour; every explicit colour is a style of its own.
 */
class RichEdit : public QsciScintilla
{
    Q_OBJECT
public:
    struct CaretPos
    {
        qsizetype x; // bytes between the start of line y and the end of the selection
        int y;       // 0-based line holding the end of the selection
    };

    explicit RichEdit(QWidget *parent = nullptr);

    // Text.
    QByteArray wholeText() const;
    qsizetype textLength() const;
    /** Direct read access to the bytes [from, from + length); valid until the next change. */
    std::string_view range(qsizetype from, qsizetype length) const;
    char byteAt(qsizetype offset) const;
    /** Line `line` without its line break, at most 4096 bytes. */
    QByteArray lineText(int line) const;
    int lineCount() const;
    qsizetype lineStartOffset(int line) const;
    int lineOfOffset(qsizetype offset) const;
    /**
     * The scans of the recolouring range, done from `offset` outward so that their
     * cost grows with the length of the line, never with the size of the text:
     * the offset just after the nearest CR before `offset` (0 if none), and the
     * offset just after the first CR at or after offset − 1 (the length if none).
     */
    qsizetype offsetAfterCrBefore(qsizetype offset) const;
    qsizetype offsetAfterCrFrom(qsizetype offset) const;
    /**
     * True while every line break of the text is CR LF, so that the control's line
     * index counts exactly the CRs of the text (loaded and typed text always is).
     */
    bool onlyCrLfBreaks() const { return m_onlyCrLf; }
    /** Text of the control's bytes: UTF-8 when the text is shown as UTF-8, else Windows-1252. */
    QString decode(const QByteArray &bytes) const;
    /** Replaces the whole text (line breaks made CR LF); no file is involved. */
    void setBytes(const QByteArray &bytes);

    // Caret and selection.
    CaretPos caretPosition() const;
    qsizetype selStart() const;
    qsizetype selLength() const;
    void setSelStart(qsizetype offset);
    void setSelLength(qsizetype length);

    // Colours.
    Colour backgroundColour() const { return m_background; }
    void setBackgroundColour(Colour colour);
    Colour textColour() const { return m_textColour; }
    void setTextColour(Colour colour);
    void setSelColour(Colour colour);
    /** The colour the character at `offset` is drawn in. */
    Colour colourAt(qsizetype offset) const;
    /** True when the character at `offset` has a colour of its own. */
    bool hasOwnColour(qsizetype offset) const;
    /**
     * Runs the colouring pass over positions start … end and writes its colours
     * into the text by runs, without moving the selection.
     */
    void colourZone(qsizetype start, qsizetype end, Colour base, Colour strings, Colour functions);

    // Files.
    /** The editor load: throws "Impossible d'ouvrir le fichier %s" and leaves the text as it was. */
    void loadFile(const QString &path);
    /** Writes the text atomically, line breaks in the loaded file's style; throws "Impossible de créer le fichier %s". */
    void saveFile(const QString &path);
    /** The bytes `saveFile` would write. */
    QByteArray fileBytes() const;

    /** Who found an error: `php -l`, or the server while it ran the page. */
    enum class ErrorSource { Lint, Server };
    /**
     * Marks the 0-based `line` as holding the syntax error `message` (a red
     * background, and a red dot in the mark margin whose tooltip is the message);
     * -1 takes the syntax error's mark away. Only one syntax error is marked.
     */
    void markErrorLine(int line, const QString &message = QString());
    /** Adds a mark for an error the server reported while running the page; one per line. */
    void markServerError(int line, const QString &message);
    /** Takes every mark of the server's errors away. */
    void clearServerErrors();
    /** The first 0-based line that holds an error mark, -1 when none; marks follow edits above them. */
    int errorLine() const;
    /** The messages of the marks on the 0-based `line`, one a line; empty when it has none. */
    QString errorMessages(int line) const;
    /** Shows or hides the narrow margin where the error dots are drawn. */
    void setMarkMarginVisible(bool visible);
    bool markMarginVisible() const;

Q_SIGNALS:
    /** A key was pressed, before the control acts on it; `vk` is the Windows virtual-key code. */
    void keyDown(int &vk);
    void keyUp(int vk);
    /** A mouse button was pressed, after the control has placed the caret. */
    void mouseDown(Qt::MouseButton button);
    /** A click in the mark margin on a line that holds an error: the caret is put there first. */
    void errorMarkClicked(int line);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

public:
    /** The editor's context menu, with French texts (the control's own menu is English only). */
    QMenu *createFrenchContextMenu();

private:
    int styleFor(Colour colour);
    void noteInsertion(int position, int type, const char *text, int length);
    void applyBytes(const QByteArray &crlf);
    void addMark(int line, const QString &message, ErrorSource source);
    void dropMarks(ErrorSource source);
    int lineAtMarginY(int y) const;

    struct ErrorMark
    {
        int background; // marker handles: they follow the line through edits
        int dot;
        QString message;
        ErrorSource source;
    };
    std::vector<ErrorMark> m_marks;

    Colour m_background = 0xFFFFFF;
    Colour m_textColour = 0x000000;
    QHash<Colour, int> m_styles; // explicit colours → their styles
    int m_nextStyle = 1;
    QByteArray m_lineBreak;      // line-break style of the loaded file; empty: the platform's
    bool m_onlyCrLf = true;
};


/** Conversions between the 0x00BBGGRR colour value and Qt's colours. */
QColor toQColor(Colour colour);
Colour fromQColor(const QColor &colour);
