#pragma once

#include <optional>

#include <QByteArray>
#include <QString>
#include <QStringList>

/**
 * One window per user and side files. The running window listens on a local
 * socket; a later launch connects, hands over the files it was given and ends.
 *
 * The message is "ondrel-ouvrir", then each absolute path, each of these
 * followed by a NUL byte, then one more NUL byte (an empty path ends the list).
 * The window answers "ok\n" once it has the whole message.
 */

/**
 * The socket of the window that uses the side files at `sideFileBase`, in
 * `runtimeFolder` (the user's $XDG_RUNTIME_DIR). Copies with other side files
 * (another build folder) get sockets of their own. Empty when `runtimeFolder`
 * is empty or the path would be too long for a socket.
 */
QString instanceSocketPath(const QString &runtimeFolder, const QString &sideFileBase);

QByteArray handOverMessage(const QStringList &files);

struct ReceivedHandOver
{
    enum State { Incomplete, Complete, Invalid };
    State state = Incomplete;
    QStringList files; // when Complete
};
/** Reads what a window has received so far; more than 1 MiB, or another header, is Invalid. */
ReceivedHandOver readHandOverMessage(const QByteArray &received);

/** What the window sends back once the message is complete. */
inline constexpr char kHandOverAnswer[] = "ok\n";

/** How long a launch waits for the running window's answer. */
inline constexpr int kHandOverAnswerMs = 5000;

enum class HandOver {
    NoWindow,   // nothing listens (or it went away): this launch opens the window
    HandedOver, // the running window has the files
    NoAnswer,   // a window listens but did not answer in time
};
/**
 * Connects to `socketPath`, sends `files` and waits up to `answerMs` for the
 * answer. Plain POSIX calls: no Qt application object, no display.
 */
HandOver handOverToWindow(const QString &socketPath, const QStringList &files, int answerMs);
/** The message when a window listens but does not answer. */
QString noAnswerMessage();
/**
 * A launch's hand-over to the window already open, as both the executable and the
 * window module try it: the exit status when the launch ends here (0 handed over;
 * 1 no answer, after `print` told why), nothing when no window listens.
 */
std::optional<int> handOverExitStatus(const QString &socketPath, const QStringList &files, int answerMs,
                                      void (*print)(const QString &message));
/** Whether something listens on `socketPath` (connects, sends nothing: the window is not raised). */
bool windowListens(const QString &socketPath);
