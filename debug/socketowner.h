#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <functional>

// Who owns a TCP socket on this machine, from the kernel's socket tables
// (/proc/net/tcp for IPv4, /proc/net/tcp6 for IPv6). A loopback address keeps
// other machines out but not the other accounts of this one: these tell them
// apart. The tables are given as text so that a test can hand in its own.

/** Reads a table by its path ("/proc/net/tcp"); empty when it cannot be read. */
using SocketTableReader = std::function<QByteArray(const QString &path)>;

/** The reader of the real tables. */
SocketTableReader kernelSocketTables();

/**
 * An address and port as the kernel's table writes them: "0100007F:1F4B" for
 * 127.0.0.1:8011, 32 hexadecimal digits before the colon for IPv6.
 */
QByteArray socketTableAddress(const QHostAddress &address, quint16 port);

/**
 * The user id owning the connected socket whose own end is `local` and whose
 * other end is `remote`, as `table` shows it; -1 when it does not.
 */
int connectedSocketOwner(const QByteArray &table, const QHostAddress &localAddress, quint16 localPort,
                         const QHostAddress &remoteAddress, quint16 remotePort);

/**
 * The user id of the peer of a connection accepted at `ours` from `peer`, on
 * any address (every 127.0.0.0/8 address, ::1, IPv4 seen through IPv6); -1 when
 * neither table shows it, which a caller takes as a stranger.
 */
int peerOwner(const SocketTableReader &read, const QHostAddress &peerAddress, quint16 peerPort,
              const QHostAddress &ourAddress, quint16 ourPort);

/**
 * The user id of a socket listening on `port` where a local client connecting
 * to localhost would reach it (a loopback address or every address, IPv4 or
 * IPv6); -1 when there is none.
 */
int listeningPortOwner(const SocketTableReader &read, quint16 port);

/** The account's login name ("www-data"), or its number when it has none. */
QString accountName(int uid);
/** The user id of a login name, -1 when there is no such account. */
int accountId(const QString &name);
