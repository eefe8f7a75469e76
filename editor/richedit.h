#pragma once

#include "base/errors.h"
#include "editor/colouring.h"
#include "editor/editorcolours.h"
#include "editor/editordocuments.h"
#include "editor/editorsearch.h"
#include "editor/errormarks.h"
#include "editor/longlines.h"
#include "editor/phplexing.h"
#include "io/textform.h"

#include <Qsci/qsciscintilla.h>

#include <QByteArray>
#include <memory>
#include <optional>
#include <string_view>

/** The highest style number the control has. */
inline constexpr int kMaxStyle = 255;

/**
 * A save refused because the file had to be written in place and its old content
 * could be kept safe nowhere: only the user may allow the write.
 */
class NoSafeCopyError : public OndrelError
{
public:
    using OndrelError::OndrelError;
};

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
    ~RichEdit() override;

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
    /** True when the control holds the text as UTF-8, else as single bytes (Windows-1252 or ASCII). */
    bool textIsUtf8() const { return m_longLines->asciiShown() || const_cast<RichEdit *>(this)->isUtf8(); }
    /** Replaces the whole text (line breaks made CR LF); no file is involved. */
    void setBytes(const QByteArray &bytes);

    // Caret and selection.
    CaretPos caretPosition() const;
    /**
     * `offset` counted in the file's characters, as the read-out shows positions: the
     * same for a UTF-8 file (its bytes), one per character for a Windows-1252 file,
     * which the control holds as UTF-8.
     */
    qsizetype fileOffset(qsizetype offset) const;
    qsizetype selStart() const;
    qsizetype selLength() const;
    void setSelStart(qsizetype offset);
    void setSelLength(qsizetype length);
    /** Selects start … start + length as setSelStart and setSelLength do, without scrolling the view. */
    void restoreSelection(qsizetype start, qsizetype length);

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
    // Display and typing (richeditview.cpp).
    /** The line-number margin, shown by default; its width follows the number of lines. */
    void setLineNumbersShown(bool shown);
    /** Columns between tab stops (1 to 32; other values are brought into that range). */
    void setTabColumns(int columns);

    /** The bytes of the lines on screen. */
    ByteSpan shownBytes();
    /** Text as the control's bytes: UTF-8 when the text is shown as UTF-8, else Windows-1252. */
    QByteArray encode(const QString &text) const;

    // The file the text belongs to (its path, save and watch are EditedFile's).
    /**
     * The form of the shown text's file: its encoding, each line's break, whether it
     * is binary. The control keeps the line breaks in step with edits and refuses
     * characters the encoding cannot hold. `form` must outlive its showing: null
     * gives the control's own blank form back.
     */
    void showForm(TextForm *form);
    const TextForm &form() const { return *m_form; }
    /**
     * Replaces the whole text with a file's, `crlf` its bytes with CR LF breaks (UTF-8
     * unless `binary`): undo history emptied, marks dropped, caret at the start, the
     * text unmodified, read-only when binary.
     */
    void takeFileText(const QByteArray &crlf, bool binary);
    /** Offset of the end of line `line`, before its line break. */
    qsizetype lineEndOffset(int line) const;
    /** True for a binary file's text: shown read-only, never written. */
    bool isBinary() const { return m_form->binary; }
    /** True for a file that is not UTF-8, shown and written as Windows-1252. */
    bool isWindows1252() const { return m_form->windows1252; }

    // The parts attached to the control, each owned by it and living as long as it.
    /** The colours of the characters and the colouring pass (editorcolours.h). */
    EditorColours *colours() const { return m_colours.get(); }
    /** "Coloration PHP": the control's lexer, and the CSS of style blocks (phplexing.h). */
    PhpLexing *lexing() const { return m_lexing.get(); }
    /** Lines longer than 32 KB, drawn only in part (longlines.h). */
    LongLines *longLines() const { return m_longLines.get(); }
    /** The error marks of the lines (errormarks.h). */
    ErrorMarks *errorMarks() const { return m_errorMarks.get(); }
    /** Several texts in one control, shown one at a time (editordocuments.h). */
    EditorDocuments *documents() const { return m_documents.get(); }
    /** Find and replace in the text (editorsearch.h). */
    EditorSearch *search() const { return m_search.get(); }

Q_SIGNALS:
    /** A key was pressed, before the control acts on it; `vk` is the Windows virtual-key code. */
    void keyDown(int &vk);
    void keyUp(int vk);
    /** A mouse button was pressed (each press of a double click), after the control has placed the caret. */
    void mouseDown(Qt::MouseButton button);
    /** A click on the number or the dot of a line that holds an error: the caret is put there first. */
    void errorMarkClicked(int line);
    /** A mouse button was released, after the control has acted on it. */
    void mouseUp(Qt::MouseButton button);
    /** Something the user should read in the editor page (a refused character). */
    void notice(const QString &text);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    QByteArray fromMimeData(const QMimeData *source, bool &rectangular) const override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

public:
    /** Pastes the clipboard's text, unless the file's encoding cannot hold it. */
    void paste() override;
    /** The editor's context menu, with French texts (the control's own menu is English only). */
    QMenu *createFrenchContextMenu();

private:
    /** Where a selection of `length` bytes from `start` ends: never inside a character. */
    qsizetype selectionEnd(qsizetype start, qsizetype length) const;
    // Display and typing (richeditview.cpp).
    void setUpView();
    void fitLineNumberMargin();
    /** Sizes the line-number margin again, whatever it was sized for. */
    void refitLineNumberMargin();
    void indentNewLine();
    void noteInsertion(int position, int type, const char *text, int length);
    void noteModification(int position, int type, const char *text, int length, int linesAdded);
    bool acceptsText(const QString &text);
    void applyBytes(const QByteArray &crlf);
    /** The program's own style table again, every character in style 0. */
    void resetOwnStyles();

    friend class PhpLexing;       // takes the style table over and gives it back
    friend class EditorDocuments; // puts the control's state aside with each text
    std::unique_ptr<ErrorMarks> m_errorMarks;
    std::unique_ptr<EditorSearch> m_search;
    std::unique_ptr<LongLines> m_longLines;
    std::unique_ptr<EditorColours> m_colours;
    std::unique_ptr<PhpLexing> m_lexing;
    std::unique_ptr<EditorDocuments> m_documents;
    int m_tabColumns = 4;

    Colour m_background = 0xFFFFFF;
    Colour m_textColour = 0x000000;
    TextForm m_ownForm;          // the form of a text that belongs to no file
    TextForm *m_form = &m_ownForm; // the shown text's form
    bool m_onlyCrLf = true;
    bool m_lineNumbers = true;
    int m_numberDigits = 0;      // digits the line-number margin is sized for
    bool m_characterIndex = false; // the control keeps the character offset of each line
    bool m_typing = false; // inside the control's own handling of a key press
    // A typed key's changes, passed on by Ondrel instead of the component (richeditquietedits.cpp).
    struct QuietEdit
    {
        bool inserted = false;
        int performed = 0;
        int position = 0;
        int length = 0;
        QByteArray deleted;
        qsizetype lengthBefore = 0;
        int linesBefore = 0;
    };
    std::optional<QuietEdit> m_quietEdit;
    bool m_quiet = false;
    void typeQuietly(QKeyEvent *event);
    void noteQuietEdit(int position, int type, int length);
    void reportQuietEdit();
};

/** Conversions between the 0x00BBGGRR colour value and Qt's colours. */
QColor toQColor(Colour colour);
Colour fromQColor(const QColor &colour);
