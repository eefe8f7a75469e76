#pragma once

#include <QRect>

class QWidget;

/**
 * The window's place as the settings file keeps it, in screen pixels: left and
 * top of the window's outer frame, and the size of its client area. (The
 * window manager owns the frame on Linux, and its size is not known before the
 * window is shown; keeping the client size makes a restart give back the same
 * window.)
 */
struct WindowBounds
{
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool maximised = false;
};

/** 640 × 480 centred on the primary screen; the halving rounds toward zero, so it may be negative. */
QRect defaultWindowBounds();
/**
 * `bounds` brought within the available area (the screen less panels and docks)
 * of the screen the window lands on: the one holding its centre, else the one it
 * overlaps most, else the primary screen. The size is cut to that area, then the
 * window moved into it.
 */
WindowBounds boundsOnScreen(const WindowBounds &bounds);
/** `rect` cut to the size of `area`, then moved to lie within it. */
QRect clampedToArea(const QRect &rect, const QRect &area);
/** Sets the width, then the height, then the left, then the top. */
void setWindowBounds(QWidget &window, const WindowBounds &bounds);
/**
 * The bounds to store at shut-down: the current ones, the maximised rectangle
 * too; for a minimised window its normal bounds, and never "maximised".
 */
WindowBounds windowBoundsToSave(const QWidget &window);
