#pragma once

#include <functional>

class QObject;

/**
 * SIGTERM, SIGINT and SIGHUP (a `kill`, Ctrl+C, the end of the session). The
 * first one is handed to the event loop, which closes the window without
 * questions; a second one ends the process at once, whatever the event loop is
 * doing (a frozen window, a shut-down that hangs).
 *
 * installStopSignals takes them over; call it once, as early as possible. A
 * signal that comes before watchStopSignals is kept and handled then.
 */
void installStopSignals();
/** Calls `onStop` from the event loop after the first stop signal. */
void watchStopSignals(QObject *context, std::function<void()> onStop);
