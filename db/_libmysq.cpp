#include "db/_libmysq.h"

#include "db/consoletext.h"

#include <mysql.h>

#include <cstring>

namespace {

/** The connection record of the whole program; the library never allocates or frees it. */
MYSQL MySQLConn;

/** The record, prepared by mysql_init before its first use. */
MYSQL *record()
{
    static const bool prepared = (mysql_init(&MySQLConn) != nullptr);
    Q_UNUSED(prepared);
    return &MySQLConn;
}

/** A NUL-terminated text for the library; an empty text is an empty string, never null. */
const char *cText(const QByteArray &text)
{
    return text.isNull() ? "" : text.constData();
}

} // namespace

void mysqlConnect(const QByteArray &host, const QByteArray &user, const QByteArray &password)
{
    MYSQL *conn = record();
    // A failed open clears the record's options, so the character set is given before each one.
    mysql_options(conn, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    mysql_real_connect(conn, cText(host), cText(user), cText(password), nullptr, 0, nullptr, 0);
}

int mysqlSelectDb(const QByteArray &database)
{
    return mysql_select_db(record(), cText(database));
}

void mysqlClose()
{
    mysql_close(record());
    mysql_init(&MySQLConn);
}

unsigned mysqlErrno()
{
    return mysql_errno(record());
}

QString mysqlError()
{
    const char *message = mysql_error(record());
    return textFromServer(QByteArrayView(message, qsizetype(std::strlen(message))));
}

void mysqlQuery(const QByteArray &statement)
{
    mysql_query(record(), cText(statement));
}

MySqlResult *mysqlStoreResult()
{
    return mysql_store_result(record());
}

quint64 mysqlNumRows(MySqlResult *result)
{
    return mysql_num_rows(result);
}

unsigned mysqlNumFields(MySqlResult *result)
{
    return mysql_num_fields(result);
}

bool mysqlFetchFieldName(MySqlResult *result, QString &name)
{
    const MYSQL_FIELD *field = mysql_fetch_field(result);
    if (!field)
        return false;
    name = textFromServer(QByteArrayView(field->name, qsizetype(field->name_length)));
    return true;
}

bool mysqlFetchRow(MySqlResult *result, std::vector<QByteArrayView> &values)
{
    const MYSQL_ROW row = mysql_fetch_row(result);
    if (!row)
        return false;
    const unsigned long *lengths = mysql_fetch_lengths(result);
    const unsigned count = mysql_num_fields(result);
    values.resize(count);
    for (unsigned k = 0; k < count; ++k) {
        if (!row[k]) {
            values[k] = QByteArrayView(); // SQL NULL
            continue;
        }
        const auto *zero = static_cast<const char *>(std::memchr(row[k], 0, lengths[k]));
        values[k] = QByteArrayView(row[k], zero ? zero - row[k] : qsizetype(lengths[k]));
    }
    return true;
}

void mysqlFreeResult(MySqlResult *result)
{
    mysql_free_result(result);
}
