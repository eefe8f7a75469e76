#include "editor/errormarks.h"

#include "editor/richedit.h"

#include <QStringList>

#include <algorithm>

namespace {

constexpr int kLintMarker = 24;   // background of a line with a syntax error
constexpr int kServerMarker = 23; // background of a line the server reported an error on
constexpr int kDotMarker = 22;    // the dot in the mark margin
constexpr int kMarkMargin = 1;
constexpr int kMarkMarginWidth = 14;
constexpr unsigned kErrorMarkerMask = (1u << kLintMarker) | (1u << kServerMarker);
constexpr long kLightRed = 0x9090FF; // 0x00BBGGRR
constexpr long kRed = 0x0000D0;

} // namespace

ErrorMarks::ErrorMarks(RichEdit &edit)
    : m_edit(edit)
{
}

void ErrorMarks::addMark(int line, const QString &message, Source source)
{
    if (m_marks.empty()) {
        m_edit.SendScintilla(QsciScintillaBase::SCI_MARKERDEFINE, kLintMarker, QsciScintillaBase::SC_MARK_BACKGROUND);
        m_edit.SendScintilla(QsciScintillaBase::SCI_MARKERSETBACK, kLintMarker, kLightRed);
        m_edit.SendScintilla(QsciScintillaBase::SCI_MARKERDEFINE, kServerMarker, QsciScintillaBase::SC_MARK_BACKGROUND);
        m_edit.SendScintilla(QsciScintillaBase::SCI_MARKERSETBACK, kServerMarker, kLightRed);
        m_edit.SendScintilla(QsciScintillaBase::SCI_MARKERDEFINE, kDotMarker, QsciScintillaBase::SC_MARK_CIRCLE);
        m_edit.SendScintilla(QsciScintillaBase::SCI_MARKERSETBACK, kDotMarker, kRed);
        m_edit.SendScintilla(QsciScintillaBase::SCI_MARKERSETFORE, kDotMarker, kRed);
        m_edit.SendScintilla(QsciScintillaBase::SCI_SETMARGINTYPEN, kMarkMargin, QsciScintillaBase::SC_MARGIN_SYMBOL);
        m_edit.SendScintilla(QsciScintillaBase::SCI_SETMARGINMASKN, kMarkMargin, long(1u << kDotMarker));
    }
    line = std::clamp(line, 0, std::max(0, m_edit.lineCount() - 1));
    const int marker = source == Source::Lint ? kLintMarker : kServerMarker;
    const int background = int(m_edit.SendScintilla(QsciScintillaBase::SCI_MARKERADD, line, marker));
    const int dot = int(m_edit.SendScintilla(QsciScintillaBase::SCI_MARKERADD, line, kDotMarker));
    m_marks.push_back({background, dot, message, source});
}

void ErrorMarks::dropMarks(Source source)
{
    std::erase_if(m_marks, [&](const Mark &mark) {
        if (mark.source != source)
            return false;
        m_edit.SendScintilla(QsciScintillaBase::SCI_MARKERDELETEHANDLE, mark.background);
        m_edit.SendScintilla(QsciScintillaBase::SCI_MARKERDELETEHANDLE, mark.dot);
        return true;
    });
}

void ErrorMarks::markErrorLine(int line, const QString &message)
{
    dropMarks(Source::Lint);
    if (line >= 0)
        addMark(line, message, Source::Lint);
}

void ErrorMarks::markServerError(int line, const QString &message)
{
    for (const Mark &mark : m_marks) {
        if (mark.source == Source::Server && mark.message == message
            && m_edit.SendScintilla(QsciScintillaBase::SCI_MARKERLINEFROMHANDLE, mark.background) == line)
            return; // the same error again (a stack trace names its line twice)
    }
    addMark(line, message, Source::Server);
}

void ErrorMarks::clearServerErrors()
{
    dropMarks(Source::Server);
}

void ErrorMarks::clear()
{
    dropMarks(Source::Lint);
    dropMarks(Source::Server);
}

int ErrorMarks::errorLine() const
{
    return int(m_edit.SendScintilla(QsciScintillaBase::SCI_MARKERNEXT, 0L, long(kErrorMarkerMask)));
}

QString ErrorMarks::errorMessages(int line) const
{
    QStringList messages;
    for (const Mark &mark : m_marks) {
        if (m_edit.SendScintilla(QsciScintillaBase::SCI_MARKERLINEFROMHANDLE, mark.background) == line
            && !mark.message.isEmpty() && !messages.contains(mark.message))
            messages.append(mark.message);
    }
    return messages.join(u'\n');
}

void ErrorMarks::setMarginVisible(bool visible)
{
    m_edit.SendScintilla(QsciScintillaBase::SCI_SETMARGINWIDTHN, kMarkMargin, visible ? long(kMarkMarginWidth) : 0L);
}

bool ErrorMarks::marginVisible() const
{
    return m_edit.SendScintilla(QsciScintillaBase::SCI_GETMARGINWIDTHN, kMarkMargin) > 0;
}

int ErrorMarks::markedLineAt(QPoint at) const
{
    if (m_marks.empty() || at.x() < 0 || at.x() >= marginsWidth())
        return -1;
    const int line = lineAtMarginY(at.y());
    return line >= 0 && !errorMessages(line).isEmpty() ? line : -1;
}

QString ErrorMarks::messagesAt(QPoint at) const
{
    return at.x() >= 0 && at.x() < marginsWidth() ? errorMessages(lineAtMarginY(at.y())) : QString();
}

std::vector<ErrorMarks::Mark> ErrorMarks::takeMarks()
{
    std::vector<Mark> marks = std::move(m_marks);
    m_marks.clear();
    return marks;
}

void ErrorMarks::restoreMarks(std::vector<Mark> marks)
{
    m_marks = std::move(marks);
}

int ErrorMarks::marginsWidth() const
{
    long width = 0;
    for (int margin = 0; margin < 5; ++margin)
        width += m_edit.SendScintilla(QsciScintillaBase::SCI_GETMARGINWIDTHN, margin);
    return int(width);
}

int ErrorMarks::lineAtMarginY(int y) const
{
    const long height = std::max(1L, m_edit.SendScintilla(QsciScintillaBase::SCI_TEXTHEIGHT, 0L));
    if (y < 0)
        return -1;
    const long visible = m_edit.SendScintilla(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE) + y / height;
    // Below the last line there is no line (the control would answer the last one).
    if (visible >= m_edit.SendScintilla(QsciScintillaBase::SCI_VISIBLEFROMDOCLINE, long(m_edit.lineCount())))
        return -1;
    return int(m_edit.SendScintilla(QsciScintillaBase::SCI_DOCLINEFROMVISIBLE, visible));
}
