#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

/**
 * The binding to the MySQL client library (MariaDB Connector/C): the only unit
 * that includes mysql.h. Every call works on the one connection record
 * `MySQLConn`, a static MYSQL owned here. The record is prepared (mysql_init)
 * before its first use and again after every close, so that a statement sent
 * on a record that was never opened, whose open failed or that was closed
 * fails with the library's error message instead of touching freed memory.
 *
 * Texts go to the library as UTF-8 (the connection's character set is
 * utf8mb4); texts that come back are decoded by textFromServer().
 */

struct st_mysql_res;
using MySqlResult = st_mysql_res; // the library's MYSQL_RES

/** mysql_real_connect(host, user, password), no database, port 0, no socket, no flags. */
void mysqlConnect(const QByteArray &host, const QByteArray &user, const QByteArray &password);
/** mysql_select_db; 0 on success. */
int mysqlSelectDb(const QByteArray &database);
/** mysql_close, then mysql_init, so that the record is ready for the next open. */
void mysqlClose();
/** The record's error number (mysql_errno). */
unsigned mysqlErrno();
/** The record's error message (mysql_error), empty after a call that succeeded. */
QString mysqlError();

/** mysql_query; the status it returns is of no use to the console. */
void mysqlQuery(const QByteArray &statement);
/** The whole result set of the statement just sent, or null when it gave none. */
MySqlResult *mysqlStoreResult();
quint64 mysqlNumRows(MySqlResult *result);
unsigned mysqlNumFields(MySqlResult *result);
/** The name of the next field description; false after the last one. */
bool mysqlFetchFieldName(MySqlResult *result, QString &name);
/**
 * The values of the next row, as views into the result (valid until it is
 * freed): a NULL gives an empty value, a value holding a zero byte gives what
 * precedes its first zero byte. False when there is no further row.
 */
bool mysqlFetchRow(MySqlResult *result, std::vector<QByteArrayView> &values);
void mysqlFreeResult(MySqlResult *result);
