// Several texts in one control: each open file has a document of its own, and the
// control shows one at a time. What the control keeps beside the text (the caret
// and view, the error marks, the state of long lines and of the lexer) is put
// aside when a text is left and given back when it is shown again.
#include "editor/editordocuments.h"

#include "editor/richedit.h"

EditorDocuments::EditorDocuments(RichEdit &edit)
    : m_edit(edit)
{
}

EditorDocuments::ShownState EditorDocuments::leave()
{
    m_edit.colours()->finishColours();
    ShownState state;
    state.valid = true;
    state.anchor = m_edit.SendScintilla(QsciScintillaBase::SCI_GETANCHOR);
    state.caret = m_edit.SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS);
    state.firstLine = static_cast<int>(m_edit.SendScintilla(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE));
    state.xOffset = static_cast<int>(m_edit.SendScintilla(QsciScintillaBase::SCI_GETXOFFSET));
    state.marks = m_edit.errorMarks()->takeMarks();
    state.onlyCrLf = m_edit.m_onlyCrLf;
    state.asciiShown = m_edit.longLines()->asciiShown();
    state.longLines = m_edit.longLines()->active();
    state.window = m_edit.longLines()->window();
    state.characterIndex = m_edit.m_characterIndex;
    state.lexed = m_edit.lexing()->active();
    state.styleGeneration = m_edit.colours()->styleGeneration();
    return state;
}

void EditorDocuments::show(const QsciDocument &document, TextForm *form, ShownState state)
{
    m_edit.colours()->finishColours(); // they belong to the text shown until now
    const long before = m_edit.SendScintilla(QsciScintillaBase::SCI_GETDOCPOINTER);
    m_edit.setDocument(document);
    const long shown = m_edit.SendScintilla(QsciScintillaBase::SCI_GETDOCPOINTER);
    if (state.valid && shown != before) {
        // The component takes a reference of its own on a text it stops showing, to keep
        // it alive, and takes no reference back when the text is shown again: each
        // return to a tab would keep its text alive past the tab's end. The control's
        // own reference now keeps it, so that extra one goes.
        m_edit.SendScintilla(QsciScintillaBase::SCI_RELEASEDOCUMENT, 0, shown);
    }
    m_edit.m_form = form ? form : &m_edit.m_ownForm;
    m_edit.colours()->forgetLastPass();
    m_edit.lexing()->dropCssColours(); // a text's CSS colours are worked out again as they are shown
    m_edit.longLines()->forgetTouched();
    m_edit.m_numberDigits = 0;
    // A binary text is read-only, the next maybe not.
    m_edit.setAttribute(Qt::WA_InputMethodEnabled, !m_edit.isReadOnly());
    if (!state.valid) {
        // A new text: the settings the control gives every text, and the lexer, which
        // belongs to each text, when "Coloration PHP" colours the one shown now.
        m_edit.SendScintilla(QsciScintillaBase::SCI_SETCODEPAGE,
                             static_cast<unsigned long>(QsciScintillaBase::SC_CP_UTF8));
        m_edit.SendScintilla(QsciScintillaBase::SCI_SETTABWIDTH, static_cast<unsigned long>(m_edit.m_tabColumns));
        m_edit.errorMarks()->takeMarks();
        m_edit.m_onlyCrLf = true;
        m_edit.longLines()->setAsciiShown(false);
        m_edit.longLines()->setWindow({});
        m_edit.m_characterIndex = false;
        m_edit.longLines()->hold(false);
        if (m_edit.lexing()->active())
            m_edit.lexing()->attachToShownText();
        m_edit.fitLineNumberMargin();
        return;
    }
    m_edit.SendScintilla(QsciScintillaBase::SCI_SETTABWIDTH, static_cast<unsigned long>(m_edit.m_tabColumns));
    m_edit.errorMarks()->restoreMarks(std::move(state.marks));
    m_edit.m_onlyCrLf = state.onlyCrLf;
    m_edit.longLines()->setAsciiShown(state.asciiShown);
    m_edit.longLines()->setWindow(state.window);
    m_edit.m_characterIndex = state.characterIndex;
    m_edit.longLines()->hold(state.longLines);
    // "Coloration PHP" as it is now, not as it was when the text was left: the lexer
    // belongs to each text, the style table to the control.
    const bool lexed = m_edit.lexing()->phpColouring() && !m_edit.longLines()->active();
    if (lexed != m_edit.lexing()->active()) {
        m_edit.lexing()->use(lexed);
    } else if (lexed && !state.lexed) {
        m_edit.SendScintilla(QsciScintillaBase::SCI_CLEARDOCUMENTSTYLE);
        m_edit.lexing()->attachToShownText();
    } else if (!lexed && state.lexed) {
        m_edit.setLexer(nullptr);
        m_edit.resetOwnStyles();
        if (m_edit.longLines()->active())
            m_edit.longLines()->hideLongLinesOf(m_edit.wholeText());
    } else if (!lexed && state.styleGeneration != m_edit.colours()->styleGeneration()) {
        // The colour styles were given other colours since: the text starts again from
        // the text colour, its long lines hidden anew.
        m_edit.SendScintilla(QsciScintillaBase::SCI_CLEARDOCUMENTSTYLE);
        if (m_edit.longLines()->active())
            m_edit.longLines()->hideLongLinesOf(m_edit.wholeText());
    }
    m_edit.SendScintilla(QsciScintillaBase::SCI_SETSEL, static_cast<unsigned long>(state.anchor),
                         static_cast<long>(state.caret));
    m_edit.SendScintilla(QsciScintillaBase::SCI_SETFIRSTVISIBLELINE, static_cast<unsigned long>(state.firstLine));
    m_edit.SendScintilla(QsciScintillaBase::SCI_SETXOFFSET, static_cast<unsigned long>(state.xOffset));
    m_edit.fitLineNumberMargin();
}
