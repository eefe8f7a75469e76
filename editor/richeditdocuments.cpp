// Several texts in one control: each open file has a document of its own, and the
// control shows one at a time. What the control keeps beside the text (the caret
// and view, the error marks, the state of long lines and of the lexer) is put
// aside when a text is left and given back when it is shown again.
#include "editor/richedit.h"

#include <Qsci/qscilexerhtml.h>

RichEdit::ShownState RichEdit::leaveDocument()
{
    finishColours();
    ShownState state;
    state.valid = true;
    state.anchor = SendScintilla(SCI_GETANCHOR);
    state.caret = SendScintilla(SCI_GETCURRENTPOS);
    state.firstLine = static_cast<int>(SendScintilla(SCI_GETFIRSTVISIBLELINE));
    state.xOffset = static_cast<int>(SendScintilla(SCI_GETXOFFSET));
    state.marks = std::move(m_marks);
    m_marks.clear();
    state.onlyCrLf = m_onlyCrLf;
    state.asciiShown = m_asciiShown;
    state.longLines = m_longLines;
    state.window = m_window;
    state.characterIndex = m_characterIndex;
    state.lexed = m_phpLexing;
    state.styleGeneration = m_styleGeneration;
    return state;
}

void RichEdit::showDocument(const QsciDocument &document, TextForm *form, ShownState state)
{
    finishColours(); // they belong to the text shown until now
    const long before = SendScintilla(SCI_GETDOCPOINTER);
    setDocument(document);
    const long shown = SendScintilla(SCI_GETDOCPOINTER);
    if (state.valid && shown != before) {
        // The component takes a reference of its own on a text it stops showing, to keep
        // it alive, and takes no reference back when the text is shown again: each
        // return to a tab would keep its text alive past the tab's end. The control's
        // own reference now keeps it, so that extra one goes.
        SendScintilla(SCI_RELEASEDOCUMENT, 0, shown);
    }
    m_form = form ? form : &m_ownForm;
    m_lastPass.valid = false;
    dropCssColours(); // a text's CSS colours are worked out again as they are shown
    m_touched = {};
    m_numberDigits = 0;
    setAttribute(Qt::WA_InputMethodEnabled, !isReadOnly()); // a binary text is read-only, the next maybe not
    if (!state.valid) {
        // A new text: the settings the control gives every text, and the lexer, which
        // belongs to each text, when "Coloration PHP" colours the one shown now.
        SendScintilla(SCI_SETCODEPAGE, static_cast<unsigned long>(SC_CP_UTF8));
        SendScintilla(SCI_SETTABWIDTH, static_cast<unsigned long>(m_tabColumns));
        m_marks.clear();
        m_onlyCrLf = true;
        m_asciiShown = false;
        m_window = {};
        m_characterIndex = false;
        holdLongLines(false);
        if (m_phpLexing)
            setLexer(m_phpLexer);
        fitLineNumberMargin();
        return;
    }
    SendScintilla(SCI_SETTABWIDTH, static_cast<unsigned long>(m_tabColumns));
    m_marks = std::move(state.marks);
    m_onlyCrLf = state.onlyCrLf;
    m_asciiShown = state.asciiShown;
    m_window = state.window;
    m_characterIndex = state.characterIndex;
    holdLongLines(state.longLines);
    // "Coloration PHP" as it is now, not as it was when the text was left: the lexer
    // belongs to each text, the style table to the control.
    const bool lexed = m_phpWanted && !m_longLines;
    if (lexed != m_phpLexing) {
        usePhpLexer(lexed);
    } else if (lexed && !state.lexed) {
        SendScintilla(SCI_CLEARDOCUMENTSTYLE);
        setLexer(m_phpLexer);
    } else if (!lexed && state.lexed) {
        setLexer(nullptr);
        resetOwnStyles();
        if (m_longLines)
            hideLongLinesOf(wholeText());
    } else if (!lexed && state.styleGeneration != m_styleGeneration) {
        // The colour styles were given other colours since: the text starts again from
        // the text colour, its long lines hidden anew.
        SendScintilla(SCI_CLEARDOCUMENTSTYLE);
        if (m_longLines)
            hideLongLinesOf(wholeText());
    }
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(state.anchor), static_cast<long>(state.caret));
    SendScintilla(SCI_SETFIRSTVISIBLELINE, static_cast<unsigned long>(state.firstLine));
    SendScintilla(SCI_SETXOFFSET, static_cast<unsigned long>(state.xOffset));
    fitLineNumberMargin();
}
