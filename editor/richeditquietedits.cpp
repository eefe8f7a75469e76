// Typing without the component's accessibility count. At every insertion and
// deletion, before it tells the widget, the component counts the characters from the
// start of the text to the change for its accessibility event, whether assistive
// technology runs or not: tens of milliseconds per key in the middle of a text of
// megabytes. While a typed key is handled and no assistive technology runs, the
// component is told to keep its notices of inserted and deleted text to itself;
// each change is taken from the notice it still sends before making it, and passed
// on in the same signal, with the same values, once it is made.
#include "editor/richedit.h"

#include <QKeyEvent>

#include <algorithm>

namespace {

using Base = QsciScintillaBase;
constexpr int kPerformed = Base::SC_PERFORMED_USER | Base::SC_PERFORMED_UNDO | Base::SC_PERFORMED_REDO;
// The component sends a notice when its kind shares a bit with the mask: a notice of
// inserted or deleted text is withheld once none of the bits it may carry is left.
constexpr int kTextChangeBits = Base::SC_MOD_INSERTTEXT | Base::SC_MOD_DELETETEXT | kPerformed | Base::SC_STARTACTION
                                | Base::SC_MULTISTEPUNDOREDO | Base::SC_LASTSTEPINUNDOREDO | Base::SC_MULTILINEUNDOREDO;

/** A key whose whole effect is to type text, or to delete next to the caret. */
bool isTypingKey(const QKeyEvent *event)
{
    if (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier | Qt::AltModifier))
        return false;
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete)
        return true;
    const QString text = event->text();
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint(); });
}

} // namespace

void RichEdit::typeQuietly(QKeyEvent *event)
{
    // Typed text that takes its neighbour's colour at once is coloured as the
    // component reports it, before the component lays the line out: it reports it itself.
    if (!isTypingKey(event) || m_colours->recolouredWhileTyping() || LongLines::assistiveTechnologyRuns()) {
        QsciScintilla::keyPressEvent(event);
        return;
    }
    const long mask = SendScintilla(SCI_GETMODEVENTMASK);
    SendScintilla(SCI_SETMODEVENTMASK, static_cast<unsigned long>(mask & ~kTextChangeBits));
    m_quiet = true;
    QsciScintilla::keyPressEvent(event);
    reportQuietEdit();
    m_quiet = false;
    m_quietEdit.reset(); // announced but never made
    SendScintilla(SCI_SETMODEVENTMASK, static_cast<unsigned long>(mask));
}

void RichEdit::noteQuietEdit(int position, int type, int length)
{
    // Any other notice comes after the change it may depend on.
    reportQuietEdit();
    if (!(type & (SC_MOD_BEFOREINSERT | SC_MOD_BEFOREDELETE)) || length <= 0)
        return;
    QuietEdit edit;
    edit.inserted = (type & SC_MOD_BEFOREINSERT) != 0;
    edit.performed = type & kPerformed;
    edit.position = position;
    edit.length = length;
    if (!edit.inserted) // the notice of a coming insertion does not carry the text
        edit.deleted = QByteArray(range(position, length).data(), length);
    edit.lengthBefore = textLength();
    edit.linesBefore = lines();
    m_quietEdit = std::move(edit);
}

void RichEdit::reportQuietEdit()
{
    if (!m_quietEdit)
        return;
    const int length = m_quietEdit->length;
    if (textLength() != m_quietEdit->lengthBefore + (m_quietEdit->inserted ? length : -length))
        return; // not made yet
    const QuietEdit edit = std::move(*m_quietEdit);
    m_quietEdit.reset();
    const int type = (edit.inserted ? SC_MOD_INSERTTEXT : SC_MOD_DELETETEXT) | edit.performed;
    const QByteArray text = edit.inserted ? QByteArray(range(edit.position, length).data(), length) : edit.deleted;
    Q_EMIT SCEN_CHANGE();
    Q_EMIT SCN_MODIFIED(edit.position, type, text.constData(), length, lines() - edit.linesBefore, 0, 0, 0, 0, 0);
}
