// "Coloration PHP": the editor control's own lexer for HTML with embedded PHP
// colours the text instead of Ondrel's colouring pass. The lexer keeps its styles
// up to date by itself, lexing only from a changed line to the end of what is
// shown, so Ondrel writes no style while it runs; its palette comes from the
// background and text colours the user picked. A text with a line longer than
// 32 KB keeps the long-line handling, which hides far bytes behind twin styles
// that a lexer would overwrite at every key: such a text has no lexer.
#include "editor/richedit.h"
#include "editor/phppalette.h"

#include <Qsci/qscilexerhtml.h>

#include <QFont>

namespace {

using Html = QsciLexerHTML;

/** What each style of the HTML lexer stands for, for the palette. */
PhpStyleKind kindOfStyle(int style)
{
    using K = PhpStyleKind;
    switch (style) {
    case Html::Tag: case Html::UnknownTag: case Html::XMLTagEnd: case Html::XMLStart: case Html::XMLEnd:
    case Html::Script: case Html::ASPAtStart: case Html::ASPStart: case Html::PHPStart:
    case Html::JavaScriptStart: case Html::ASPJavaScriptStart: case Html::VBScriptStart:
    case Html::ASPVBScriptStart: case Html::PythonStart: case Html::ASPPythonStart:
        return K::Tag;
    case Html::Attribute: case Html::UnknownAttribute:
        return K::Attribute;
    case Html::HTMLNumber: case Html::JavaScriptNumber: case Html::ASPJavaScriptNumber: case Html::VBScriptNumber:
    case Html::ASPVBScriptNumber: case Html::PythonNumber: case Html::ASPPythonNumber: case Html::PHPNumber:
        return K::Number;
    case Html::HTMLDoubleQuotedString: case Html::HTMLSingleQuotedString: case Html::HTMLValue: case Html::CDATA:
    case Html::SGMLDoubleQuotedString: case Html::SGMLSingleQuotedString:
    case Html::JavaScriptDoubleQuotedString: case Html::JavaScriptSingleQuotedString:
    case Html::JavaScriptUnclosedString: case Html::JavaScriptRegex:
    case Html::ASPJavaScriptDoubleQuotedString: case Html::ASPJavaScriptSingleQuotedString:
    case Html::ASPJavaScriptUnclosedString: case Html::ASPJavaScriptRegex:
    case Html::VBScriptString: case Html::VBScriptUnclosedString: case Html::ASPVBScriptString:
    case Html::ASPVBScriptUnclosedString: case Html::PythonDoubleQuotedString: case Html::PythonSingleQuotedString:
    case Html::PythonTripleSingleQuotedString: case Html::PythonTripleDoubleQuotedString:
    case Html::ASPPythonDoubleQuotedString: case Html::ASPPythonSingleQuotedString:
    case Html::ASPPythonTripleSingleQuotedString: case Html::ASPPythonTripleDoubleQuotedString:
    case Html::PHPDoubleQuotedString: case Html::PHPSingleQuotedString:
        return K::String;
    case Html::HTMLComment: case Html::ASPXCComment: case Html::SGMLComment: case Html::SGMLParameterComment:
    case Html::JavaScriptComment: case Html::JavaScriptCommentLine: case Html::JavaScriptCommentDoc:
    case Html::ASPJavaScriptComment: case Html::ASPJavaScriptCommentLine: case Html::ASPJavaScriptCommentDoc:
    case Html::VBScriptComment: case Html::ASPVBScriptComment: case Html::PythonComment: case Html::ASPPythonComment:
    case Html::PHPComment: case Html::PHPCommentLine:
        return K::Comment;
    case Html::Entity: case Html::SGMLCommand: case Html::SGMLSpecial: case Html::SGMLEntity:
    case Html::JavaScriptKeyword: case Html::ASPJavaScriptKeyword: case Html::VBScriptKeyword:
    case Html::ASPVBScriptKeyword: case Html::PythonKeyword: case Html::ASPPythonKeyword: case Html::PHPKeyword:
        return K::Keyword;
    case Html::PHPVariable: case Html::PHPDoubleQuotedVariable:
        return K::Variable;
    case Html::OtherInTag: case Html::JavaScriptSymbol: case Html::ASPJavaScriptSymbol: case Html::PythonOperator:
    case Html::ASPPythonOperator: case Html::PHPOperator:
        return K::Operator;
    case Html::SGMLError:
        return K::Error;
    default:
        return K::Plain;
    }
}

} // namespace

PhpStyleKind RichEdit::phpStyleKindAt(qsizetype offset) const
{
    auto *self = const_cast<RichEdit *>(this);
    return kindOfStyle(static_cast<int>(self->SendScintilla(SCI_GETSTYLEAT, static_cast<unsigned long>(offset)) & 0xFF));
}

void RichEdit::setPhpColouring(bool on)
{
    m_phpWanted = on;
    // A long line that an edit made may have gone again since.
    const QByteArray text = on && m_longLines ? wholeText() : QByteArray();
    usePhpLexer(on && !holdsLongLine(text));
}

void RichEdit::usePhpLexer(bool on)
{
    if (on == m_phpLexing)
        return;
    m_lastPass.valid = false;
    dropUnwrittenColours(); // the lexer's styles, or none, replace the pass's
    if (on) {
        if (!m_phpLexer) {
            m_phpLexer = new QsciLexerHTML(this);
            m_phpLexer->setFoldCompact(false);
        }
        resetOwnStyles(); // twins of a long line before were invisible styles
        m_phpLexing = true;
        applyPhpPalette();
        setLexer(m_phpLexer); // lexes a text already there once, as a whole
        m_numberDigits = 0;
        fitLineNumberMargin();
        return;
    }
    m_phpLexing = false;
    dropCssColours();
    setLexer(nullptr);
    resetOwnStyles();
    if (m_longLines)
        hideLongLinesOf(wholeText());
}

void RichEdit::applyPhpPalette()
{
    if (!m_phpLexer)
        return;
    QFont font(QStringLiteral("Courier New"), 10);
    m_phpLexer->setDefaultFont(font);
    m_phpLexer->setDefaultColor(toQColor(m_textColour));
    m_phpLexer->setDefaultPaper(toQColor(m_background));
    for (int style = 0; style < 128; ++style) {
        if (m_phpLexer->description(style).isEmpty())
            continue;
        const PhpStyleKind kind = kindOfStyle(style);
        m_phpLexer->setColor(toQColor(phpTokenColour(kind, m_background, m_textColour)), style);
        m_phpLexer->setPaper(toQColor(m_background), style);
        m_phpLexer->setEolFill(false, style);
        font.setBold(kind == PhpStyleKind::Keyword);
        font.setItalic(kind == PhpStyleKind::Comment);
        m_phpLexer->setFont(font, style);
    }
    dropCssColours(); // drawn again from the new palette as they are shown
}

void RichEdit::resetOwnStyles()
{
    dropUnwrittenColours();
    SendScintilla(SCI_CLEARDOCUMENTSTYLE); // no character uses a colour style any more
    ++m_styleGeneration; // the other texts' colour styles no longer mean theirs
    SendScintilla(SCI_STYLESETFONT, STYLE_DEFAULT, "Courier New");
    SendScintilla(SCI_STYLESETSIZE, STYLE_DEFAULT, 10);
    SendScintilla(SCI_STYLESETBOLD, STYLE_DEFAULT, 0L);
    SendScintilla(SCI_STYLESETITALIC, STYLE_DEFAULT, 0L);
    SendScintilla(SCI_STYLECLEARALL);
    m_styles.clear();
    m_freeStyles.clear();
    m_nextStyle = 1;
    for (size_t style = 0; style < m_baseStyle.size(); ++style)
        m_baseStyle[style] = static_cast<unsigned char>(style);
    m_twins = {};
    setTextColour(m_textColour);
    setBackgroundColour(m_background);
    SendScintilla(SCI_STARTSTYLING, static_cast<unsigned long>(textLength()), 0L); // see writeStyles
    m_numberDigits = 0; // the margin's font may have changed
    fitLineNumberMargin();
}
