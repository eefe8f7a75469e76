// "Coloration PHP": the editor control's own lexer for HTML with embedded PHP
// colours the text instead of Ondrel's colouring pass. The lexer keeps its styles
// up to date by itself, lexing only from a changed line to the end of what is
// shown, so Ondrel writes no style while it runs; its palette comes from the
// background and text colours the user picked. A text with a line longer than
// 32 KB keeps the long-line handling, which hides far bytes behind twin styles
// that a lexer would overwrite at every key: such a text has no lexer.
#include "editor/phplexing.h"

#include "editor/richedit.h"

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

PhpLexing::PhpLexing(RichEdit &edit)
    : m_edit(edit)
{
    m_edit.SendScintilla(QsciScintillaBase::SCI_INDICSETSTYLE, kCssIndicator, QsciScintillaBase::INDIC_TEXTFORE);
    // Each range's value is its colour.
    m_edit.SendScintilla(QsciScintillaBase::SCI_INDICSETFLAGS, kCssIndicator, QsciScintillaBase::SC_INDICFLAG_VALUEBEFORE);
    QObject::connect(&m_edit, &QsciScintillaBase::SCN_UPDATEUI, &m_edit, [this](int) { refreshCss(); });
}

void PhpLexing::attachToShownText()
{
    m_edit.setLexer(m_lexer);
}

PhpStyleKind PhpLexing::styleKindAt(qsizetype offset) const
{
    return kindOfStyle(static_cast<int>(m_edit.SendScintilla(QsciScintillaBase::SCI_GETSTYLEAT, static_cast<unsigned long>(offset)) & 0xFF));
}

void PhpLexing::setPhpColouring(bool on)
{
    m_wanted = on;
    // A long line that an edit made may have gone again since.
    const QByteArray text = on && m_edit.longLines()->active() ? m_edit.wholeText() : QByteArray();
    use(on && !LongLines::holdsLongLine(text));
}

void PhpLexing::use(bool on)
{
    if (on == m_active)
        return;
    m_edit.colours()->forgetLastPass();
    m_edit.colours()->dropUnwrittenColours(); // the lexer's styles, or none, replace the pass's
    if (on) {
        if (!m_lexer) {
            m_lexer = new QsciLexerHTML(&m_edit);
            m_lexer->setFoldCompact(false);
        }
        m_edit.resetOwnStyles(); // twins of a long line before were invisible styles
        m_active = true;
        applyPalette();
        m_edit.setLexer(m_lexer); // lexes a text already there once, as a whole
        m_edit.refitLineNumberMargin();
        return;
    }
    m_active = false;
    dropCssColours();
    m_edit.setLexer(nullptr);
    m_edit.resetOwnStyles();
    if (m_edit.longLines()->active())
        m_edit.longLines()->hideLongLinesOf(m_edit.wholeText());
}

void PhpLexing::applyPalette()
{
    if (!m_lexer)
        return;
    QFont font(QStringLiteral("Courier New"), 10);
    m_lexer->setDefaultFont(font);
    m_lexer->setDefaultColor(toQColor(m_edit.textColour()));
    m_lexer->setDefaultPaper(toQColor(m_edit.backgroundColour()));
    for (int style = 0; style < 128; ++style) {
        if (m_lexer->description(style).isEmpty())
            continue;
        const PhpStyleKind kind = kindOfStyle(style);
        m_lexer->setColor(toQColor(phpTokenColour(kind, m_edit.backgroundColour(), m_edit.textColour())), style);
        m_lexer->setPaper(toQColor(m_edit.backgroundColour()), style);
        m_lexer->setEolFill(false, style);
        font.setBold(kind == PhpStyleKind::Keyword);
        font.setItalic(kind == PhpStyleKind::Comment);
        m_lexer->setFont(font, style);
    }
    dropCssColours(); // drawn again from the new palette as they are shown
}
