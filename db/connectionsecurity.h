#pragma once

#include <QString>
#include <QStringList>

/**
 * "Chiffrer la connexion": whether the console's connection to a MySQL server
 * goes through TLS, as the settings file keeps it (key "Chiffrement" of
 * [Mysql]) and as the client library is asked for it.
 *
 * - None: no TLS, what the client library does when nothing is asked; the
 *   default, so a new user and a settings file without the key connect as
 *   they always did.
 * - Preferred: TLS when the server offers it, else in the clear.
 * - Required: TLS or no connection; the server's certificate is not checked.
 * - Verified: TLS with the server's certificate checked against the CA file
 *   (the system's authorities when it is empty) and against the host name.
 *
 * A connection through a Unix socket never leaves the machine, and the
 * socket's permissions are what keep it: it is made without TLS whatever the
 * mode (Ondrel's own database listens on a socket only and has no certificate).
 */
enum class TlsMode { None, Preferred, Required, Verified };

/** The settings file's word for a mode: "none", "preferred", "required" or "verified". */
QString tlsModeSetting(TlsMode mode);
/**
 * The mode a settings file's word names, letter case and blanks around it
 * ignored. An empty word is None (the key was never written); a word Ondrel
 * does not know is Required, so that a mistyped wish for TLS never connects in
 * the clear.
 */
TlsMode tlsModeFromSetting(const QString &word);
/** The choices of "Chiffrer la connexion", in the order of TlsMode. */
QStringList tlsModeChoices();

/** The client library's error number of a failed TLS handshake (CR_SSL_CONNECTION_ERROR). */
inline constexpr unsigned kTlsHandshakeError = 2026;

/**
 * Whether a connection to `host` (as the library gets it: a name or an
 * address), `port` (0: the library's default) and `socket` (a path, or empty)
 * goes through a Unix socket: a socket path, or "localhost" (or no host) with
 * no port.
 */
bool goesThroughSocket(const QString &host, unsigned port, const QString &socket);

/** A CA file that cannot be used, said in French; empty when `path` is empty or a readable file. */
QString caFileProblem(const QString &path);

/**
 * The French message of an open that failed because of TLS, from the client
 * library's error number and text; empty when the failure is not TLS's (a wrong
 * password, say), which the usual connection message then tells.
 */
QString tlsFailureMessage(TlsMode mode, unsigned errorNumber, const QString &libraryError);
/** The message when TLS was required and the server made the connection in the clear. */
QString tlsNotOfferedMessage();
/** The status after an open: the cipher in use, or that a socket connection is not encrypted. */
QString tlsStatusMessage(TlsMode mode, const QString &cipher, bool throughSocket);
