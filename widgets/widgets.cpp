#include "widgets/widgets.h"

#include <QApplication>
#include <QFocusEvent>
#include <QMouseEvent>

Panel::Panel(QWidget *parent)
    : QFrame(parent)
{
}

void Panel::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    Q_EMIT resized();
}

SpeedButton::SpeedButton(const QString &caption, QWidget *parent, bool blue)
    : QToolButton(parent)
{
    setText(caption);
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    if (blue) {
        QPalette p = palette();
        // Blue while usable; a greyed-out button looks greyed out.
        p.setColor(QPalette::Active, QPalette::ButtonText, Qt::blue);
        p.setColor(QPalette::Inactive, QPalette::ButtonText, Qt::blue);
        setPalette(p);
    }
}

void SpeedButton::mousePressEvent(QMouseEvent *event)
{
    QToolButton::mousePressEvent(event);
    event->accept();
}

void SpeedButton::mouseReleaseEvent(QMouseEvent *event)
{
    const bool over = rect().contains(event->position().toPoint());
    QToolButton::mouseReleaseEvent(event);
    if (over)
        Q_EMIT mouseUp(event->button());
}

Edit::Edit(QWidget *parent)
    : QLineEdit(parent)
{
}

// Only a move of the focus to another control of the same window leaves the edit:
// switching to another window, or opening the edit's context menu, keeps the user
// inside it, and they come back to go on typing.
void Edit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    const QWidget *next = QApplication::focusWidget(); // already the new focus holder
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason
        && (!next || next->window() == window()))
        Q_EMIT exited();
}
