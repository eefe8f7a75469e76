#include "settings/windowplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

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

QRect clampedToArea(const QRect &rect, const QRect &area)
{
    const int width = std::min(rect.width(), area.width());
    const int height = std::min(rect.height(), area.height());
    const int left = std::clamp(rect.left(), area.left(), area.left() + area.width() - std::max(width, 0));
    const int top = std::clamp(rect.top(), area.top(), area.top() + area.height() - std::max(height, 0));
    return QRect(left, top, width, height);
}

namespace {

const QScreen *screenFor(const QRect &rect)
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (const QScreen *screen : screens) {
        if (screen->geometry().contains(rect.center()))
            return screen;
    }
    const QScreen *best = QGuiApplication::primaryScreen();
    qint64 bestArea = 0;
    for (const QScreen *screen : screens) {
        const QRect common = screen->geometry().intersected(rect);
        const qint64 area = qint64(common.width()) * common.height();
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    return best;
}

} // namespace

WindowBounds boundsOnScreen(const WindowBounds &bounds)
{
    const QRect rect(bounds.left, bounds.top, bounds.width, bounds.height);
    const QScreen *screen = screenFor(rect);
    if (!screen)
        return bounds;
    const QRect fitted = clampedToArea(rect, screen->availableGeometry());
    return {fitted.left(), fitted.top(), fitted.width(), fitted.height(), bounds.maximised};
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
