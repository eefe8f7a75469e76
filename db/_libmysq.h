#pragma once

#include "db/packedrows.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

/**
 * The binding to the MySQL client library (MariaDB Connector/C): the only unit
 * that includes mysql.h.
 *
 * The console's connection record `MySQLConn` is a static MYSQL owned here and
 * used only by the database worker thread (db/dbworker.h): every function below
 * except mysqlKillQuery() must be called on that thread. The record is prepared
 * (mysql_init) before its first use and again after every close, so that a
 * call on a record that was never opened, whose open failed or that was closed
 * never touches freed memory.
 *
 * Texts go to the library as UTF-8 (the connection's character set is
 * utf8mb4); texts that come back are decoded by textFromServer().
 */

/** What an open needs: the four connection texts and the connect time-out. */
struct ConnectRequest
{
    QByteArray host;
    QByteArray user;
    QByteArray password;
    QByteArray database;
    int timeoutSeconds = 10;
};

struct ConnectOutcome
{
    bool opened = false;
    bool databaseSelected = false;
    QString error;         // of the open when it failed, else of the selection
    quint64 threadId = 0;  // the server's id of the connection (for KILL QUERY)
};

/** The outcome of one statement, read whole on the worker thread. */
struct StatementOutcome
{
    bool hasResult = false;         // the statement gave a result set
    std::vector<bool> binaryColumns; // one per field: values shown as 0x… hexadecimal
    /** Row 0 the field names, then the rows in server order (a NULL kept as a null cell). */
    std::shared_ptr<PackedRows> rows;
    quint64 affectedRows = 0;       // statements without a result set
    quint64 insertId = 0;           // 0 when none was made
    unsigned errorNumber = 0;
    QString error;                  // empty on success
    bool connectionLost = false;    // the record was closed after a lost connection
};

/** Prepares the library; called once on the user-interface thread before any worker call. */
void mysqlLibraryStart();

/**
 * mysql_real_connect(host, user, password), no database, port 0, no socket, no
 * flags, with the connect time-out; then mysql_select_db when the open succeeded.
 */
ConnectOutcome mysqlOpen(const ConnectRequest &request);
/** mysql_close, then mysql_init, so that the record is ready for the next open. */
void mysqlClose();
/**
 * Sends the statement (any length, any bytes) and reads its result set row by
 * row (mysql_use_result) into packed rows. A lost connection (2006, 2013, 2055)
 * closes the record.
 */
StatementOutcome mysqlRun(const QByteArray &statement);
/**
 * KILL QUERY `threadId` over a short-lived connection of its own with the same
 * parameters; any thread may call it. Returns the error message, empty on success.
 */
QString mysqlKillQuery(const ConnectRequest &request, quint64 threadId);
