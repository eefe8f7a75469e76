#pragma once

#include "widgets/widgets.h"

#include <QLabel>
#include <QVBoxLayout>

/**
 * How a page makes its controls: named after the design, at the design's
 * position (left, top, width, height in pixels, in the parent's coordinates).
 * A size of -1 takes the control's own.
 */
namespace PageControls {

constexpr int kEditHeight = 21;

template <typename W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

template <typename W>
W *placed(W *widget, const char *name, int left, int top, int width = -1, int height = -1)
{
    named(widget, name);
    if (width < 0 || height < 0) {
        widget->adjustSize();
        if (width < 0)
            width = widget->width();
        if (height < 0)
            height = widget->height();
    }
    widget->setGeometry(left, top, width, height);
    return widget;
}

inline QLabel *label(QWidget *parent, const char *name, const QString &caption, int left, int top)
{
    auto *shown = new QLabel(caption, parent);
    shown->setTextFormat(Qt::PlainText);
    return placed(shown, name, left, top);
}

inline Edit *edit(QWidget *parent, const char *name, int left, int top, int width)
{
    return placed(new Edit(parent), name, left, top, width, kEditHeight);
}

inline SpeedButton *button(QWidget *parent, const char *name, const QString &caption, int left, int top, int width,
                           int height, bool blue = true)
{
    return placed(new SpeedButton(caption, parent, blue), name, left, top, width, height);
}

inline Panel *panel(QWidget *parent, const char *name, int height, bool lowered = false)
{
    auto *p = named(new Panel(parent), name);
    p->setFixedHeight(height);
    if (lowered)
        p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return p;
}

/** A column without margins or spacing, filling `page`. */
inline QVBoxLayout *stacked(QWidget *page)
{
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

} // namespace PageControls
