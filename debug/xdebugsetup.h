#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// How Ondrel's PHP server is started for debugging, and what it tells a user
// whose own web server should debug with Ondrel.

/** Whether php can debug: Xdebug already loaded by php.ini, loadable from php's extension folder, or absent. */
enum class XdebugAvailability { Missing, Loadable, Loaded };

/** php's arguments that print what xdebugAvailability() reads. */
QStringList xdebugProbeArguments();
XdebugAvailability xdebugAvailability(const QByteArray &probeOutput);
/** Runs the probe with `php` and waits for it (up to 5 s): for tests and tools, never the window. */
XdebugAvailability probeXdebug(const QString &php);

/** The environment variable holding the IDE key for the server's php: its environment is readable by this user only, its command line by all. */
inline constexpr const char *kXdebugKeyVariable = "ONDREL_XDEBUG_KEY";

/**
 * The `-d` arguments that make `php -S` connect back to 127.0.0.1:`clientPort`
 * for a request carrying the trigger XDEBUG_TRIGGER=<key>, and for no other;
 * the key is read from kXdebugKeyVariable. With Xdebug loaded by php.ini the
 * extension is not loaded a second time.
 */
QStringList xdebugServerArguments(XdebugAvailability availability, int clientPort);
/** The argument that keeps an Xdebug that php.ini loads idle, for the ordinary server and the lint. */
QStringList xdebugOffArguments();

/** The query item that starts debugging a request: "XDEBUG_TRIGGER=<key>". */
QString xdebugTrigger(const QString &key);
/** The php.ini lines for a web server of one's own, with the listening port. */
QStringList xdebugIniLines(int clientPort);

/** The one message shown when debugging is asked for and Xdebug is not installed. */
QString xdebugMissingMessage();
