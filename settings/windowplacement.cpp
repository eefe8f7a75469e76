#include "settings/windowplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {
constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 480;
} // namespace

QRect defaultWindowBounds()
{
    QRect screen(0, 0, kDefaultWidth, kDefaultHeight);
    if (const QScreen *primary = QGuiApplication::primaryScreen())
        screen = primary->geometry();
    // Integer division in C++ rounds toward zero, as the stored rule wants.
    return QRect(screen.left() + (screen.width() - kDefaultWidth) / 2,
                 screen.top() + (screen.height() - kDefaultHeight) / 2, kDefaultWidth, kDefaultHeight);
}

void setWindowBounds(QWidget &window, const WindowBounds &bounds)
{
    window.resize(bounds.width, window.height());
    window.resize(window.width(), bounds.height);
    window.move(bounds.left, window.pos().y());
    window.move(window.pos().x(), bounds.top);
}

WindowBounds windowBoundsToSave(const QWidget &window)
{
    const bool minimised = window.isMinimized();
    const QRect client = minimised && window.normalGeometry().isValid() ? window.normalGeometry()
                                                                         : window.geometry();
    // move() places the outer frame; the frame's offset is the same in every state.
    const QPoint frameOffset = window.geometry().topLeft() - window.pos();
    const QPoint outer = client.topLeft() - frameOffset;
    return {outer.x(), outer.y(), client.width(), client.height(), window.isMaximized() && !minimised};
}
