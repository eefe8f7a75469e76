#pragma once

#include <QMouseEvent>
#include <QTabBar>

/** The tabs of the open files: a middle click on a tab asks to close it, as its cross does. */
class FileTabBar : public QTabBar
{
public:
    using QTabBar::QTabBar;

protected:
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        const int index = tabAt(event->position().toPoint());
        if (event->button() == Qt::MiddleButton && index >= 0) {
            Q_EMIT tabCloseRequested(index);
            return;
        }
        QTabBar::mouseReleaseEvent(event);
    }
};
