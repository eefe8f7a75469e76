// The editor's display and typing aids: the line-number margin, tab stops,
// auto-indent, the mouse events the window follows, and the style table made anew.
#include "editor/richedit.h"

#include <QMouseEvent>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kNumberMargin = 0;
constexpr int kMaxIndent = 4096; // leading blanks copied by auto-indent, at most

} // namespace

void RichEdit::setUpView()
{
    SendScintilla(SCI_SETMARGINTYPEN, static_cast<unsigned long>(kNumberMargin), static_cast<long>(SC_MARGIN_NUMBER));
    setTabColumns(4);
    connect(this, &QsciScintillaBase::SCN_MODIFIED, this,
            [this](int, int type, const char *, int, int linesAdded) {
                if (linesAdded != 0 && (type & (SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT)))
                    fitLineNumberMargin();
            });
    connect(this, &QsciScintillaBase::SCN_CHARADDED, this, [this](int ch) {
        if (ch == '\n')
            indentNewLine();
    });
    fitLineNumberMargin();
}

void RichEdit::setLineNumbersShown(bool shown)
{
    m_lineNumbers = shown;
    refitLineNumberMargin();
}

void RichEdit::refitLineNumberMargin()
{
    m_numberDigits = 0;
    fitLineNumberMargin();
}

void RichEdit::fitLineNumberMargin()
{
    if (!m_lineNumbers) {
        SendScintilla(SCI_SETMARGINWIDTHN, static_cast<unsigned long>(kNumberMargin), 0L);
        return;
    }
    const int digits = std::max(3, static_cast<int>(QString::number(lineCount()).size()));
    if (digits == m_numberDigits)
        return;
    m_numberDigits = digits;
    const QByteArray sample = "_" + QByteArray(digits, '9');
    const long width = SendScintilla(SCI_TEXTWIDTH, static_cast<uintptr_t>(STYLE_LINENUMBER), sample.constData());
    SendScintilla(SCI_SETMARGINWIDTHN, static_cast<unsigned long>(kNumberMargin), width + 4);
}

void RichEdit::setTabColumns(int columns)
{
    m_tabColumns = std::clamp(columns, 1, 32);
    SendScintilla(SCI_SETTABWIDTH, static_cast<unsigned long>(m_tabColumns));
}

// Return copies the leading blanks (spaces and tabs) of the line above, as they are.
void RichEdit::indentNewLine()
{
    const int line = lineOfOffset(SendScintilla(SCI_GETCURRENTPOS));
    if (line <= 0 || selLength() != 0)
        return;
    const qsizetype above = lineStartOffset(line - 1);
    const qsizetype aboveEnd = SendScintilla(SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line - 1));
    const std::string_view head = range(above, std::min<qsizetype>(aboveEnd - above, kMaxIndent));
    const size_t blanks = std::min(head.find_first_not_of(" \t"), head.size());
    if (blanks == 0)
        return;
    const QByteArray indent(head.data(), static_cast<qsizetype>(blanks));
    SendScintilla(SCI_REPLACESEL, indent.constData());
}

void RichEdit::mouseDoubleClickEvent(QMouseEvent *event)
{
    QsciScintilla::mouseDoubleClickEvent(event);
    Q_EMIT mouseDown(event->button()); // the second press of a double click is a press too
}

void RichEdit::mouseReleaseEvent(QMouseEvent *event)
{
    QsciScintilla::mouseReleaseEvent(event);
    Q_EMIT mouseUp(event->button());
}

void RichEdit::resetOwnStyles()
{
    m_colours->forgetStyles(); // no character uses a colour style any more
    SendScintilla(SCI_CLEARDOCUMENTSTYLE);
    SendScintilla(SCI_STYLESETFONT, STYLE_DEFAULT, "Courier New");
    SendScintilla(SCI_STYLESETSIZE, STYLE_DEFAULT, 10);
    SendScintilla(SCI_STYLESETBOLD, STYLE_DEFAULT, 0L);
    SendScintilla(SCI_STYLESETITALIC, STYLE_DEFAULT, 0L);
    SendScintilla(SCI_STYLECLEARALL);
    m_longLines->forgetTwins();
    setTextColour(m_textColour);
    setBackgroundColour(m_background);
    SendScintilla(SCI_STARTSTYLING, static_cast<unsigned long>(textLength()), 0L); // see writeStyles
    refitLineNumberMargin(); // the margin's font may have changed
}
