#pragma once

#include "db/connectionsecurity.h"
#include "db/packedrows.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

/**
 * The binding to the MySQL client library (MariaDB Connector/C): the only unit
 * that includes mysql.h.
 *
 * The console's connection record `MySQLConn` is a static MYSQL owned here and
 * used only by the database worker thread (db/dbworker.h): every function below
 * except mysqlKillQuery() and mysqlAbortConnection() must be called on that
 * thread. The record is prepared (mysql_init) before its first use and again
 * after every close, so that a call on a record that was never opened, whose
 * open failed or that was closed never touches freed memory.
 *
 * Texts go to the library as UTF-8 (the connection's character set is
 * utf8mb4); texts that come back are decoded by textFromServer().
 */

/** What an open needs: where the server is, the three other connection texts and the connect time-out. */
struct ConnectRequest
{
    QByteArray host;       // a name or an address; empty or "localhost" for the local socket
    unsigned port = 0;     // 0: the library's default (MYSQL_TCP_PORT when set)
    QByteArray socket;     // a Unix socket path; empty: the library's default
    QByteArray user;
    QByteArray password;
    QByteArray database;
    int timeoutSeconds = 10;
    TlsMode tls = TlsMode::None; // not applied through a Unix socket
    QByteArray caFile;           // for TlsMode::Verified; empty: the system's authorities
};

struct ConnectOutcome
{
    bool opened = false;
    bool databaseSelected = false;
    QString error;         // of the open when it failed, else of the selection
    QString tlsError;      // in French, when the open failed because of TLS (error then holds the library's text)
    QString tlsCipher;     // the cipher of an encrypted connection; empty in the clear
    bool throughSocket = false; // made through a Unix socket, where TLS is not asked for
    quint64 threadId = 0;  // the server's id of the connection (for KILL QUERY)
};

/** One result set of a statement, read whole. */
struct ResultSet
{
    std::vector<bool> binaryColumns; // one per field: values shown as 0x… hexadecimal
    /** Row 0 the field names, then the rows in server order (a NULL kept as a null cell). */
    std::shared_ptr<PackedRows> rows;

    int columnCount() const { return int(binaryColumns.size()); }
    /** Data rows, the names not counted. */
    int rowCount() const { return rows ? rows->size() - 1 : 0; }
};

/** The outcome of one statement, read whole on the worker thread. */
struct StatementOutcome
{
    /**
     * Every result set the statement gave, in the server's order: one for a
     * SELECT, as many as the procedure made for a CALL, none for an UPDATE.
     * Nothing of the statement is left unread on the connection.
     */
    std::vector<ResultSet> results;
    bool hasResult() const { return !results.empty(); }
    quint64 affectedRows = 0;       // of the last part without a result set
    quint64 insertId = 0;           // 0 when none was made
    unsigned errorNumber = 0;
    QString error;                  // empty on success
    bool connectionLost = false;    // the record was closed after a lost connection
    qint64 elapsedMs = 0;           // from sending the statement to its last row read
};

/** What a KILL QUERY over a second connection gave. */
struct KillOutcome
{
    bool connected = false; // the second connection could be made
    QString error;          // empty when the server took the KILL
};

/** Prepares the library; called once on the user-interface thread before any worker call. */
void mysqlLibraryStart();

/**
 * mysql_real_connect(host, user, password), no database, the request's port and
 * socket, several statements allowed in one text, with the connect time-out and
 * the TLS the request asks for (never through a socket); then mysql_select_db
 * when the open succeeded. A required TLS that the server did not make, a CA
 * file that cannot be read or a failed handshake leave the record closed with
 * `tlsError` said.
 */
ConnectOutcome mysqlOpen(const ConnectRequest &request);
/** mysql_close, then mysql_init, so that the record is ready for the next open. */
void mysqlClose();
/**
 * Sends the statement (any length, any bytes) and reads every result set it
 * gives, row by row (mysql_use_result), into packed rows. A lost connection
 * (2006, 2013, 2055) closes the record.
 */
StatementOutcome mysqlRun(const QByteArray &statement);
/**
 * KILL QUERY `threadId` over a short-lived connection of its own with the same
 * parameters; any thread may call it.
 */
KillOutcome mysqlKillQuery(const ConnectRequest &request, quint64 threadId);
/**
 * Shuts the open connection's socket down, from any thread: a statement that
 * waits for the server ends at once with a lost connection (and the record is
 * then closed on the worker), and the server, finding its client gone, ends the
 * statement. Nothing happens when no connection is open.
 */
void mysqlAbortConnection();
