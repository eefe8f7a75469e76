#pragma once

#include <QString>

/**
 * Where the MySQL server is, read from the "Host" text as the user typed it
 * (the text itself is stored unchanged):
 *
 * - "db.example", "127.0.0.1", "::1", empty: that host, the library's port;
 * - "host:3307", "[::1]:3307": that host and port, over TCP (also "localhost",
 *   which alone means the local socket);
 * - "/run/mysqld/mysqld.sock": that Unix socket, on host "localhost".
 *
 * A port must be a decimal number from 1 to 65535; anything else gives a French
 * `error` and nothing to connect to.
 */
struct ServerAddress
{
    QString host;       // for the library: a name or an address (an IPv6 one without brackets)
    unsigned port = 0;  // 0: the library's default
    QString socket;     // a Unix socket path, or empty
    bool tcp = false;   // a port was typed: TCP even to "localhost"
    QString error;      // why the text cannot be read; empty when it can
};

ServerAddress serverAddress(const QString &hostText);
