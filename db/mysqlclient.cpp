#include "db/mysqlclient.h"

#include "db/consoletext.h"

#include <mysql.h>
#include <errmsg.h>

#include <QElapsedTimer>

#include <algorithm>
#include <cstring>
#include <mutex>

#include <sys/socket.h>

namespace {

/** The connection record of the whole program; the library never allocates or frees it. */
MYSQL MySQLConn;

/**
 * The open connection's socket, for mysqlAbortConnection() on another thread;
 * -1 while none is open. The lock keeps the socket from being closed (and its
 * number reused) while it is shut down.
 */
std::mutex socketLock;
int openSocket = -1;

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

QString errorOf(MYSQL *conn)
{
    const char *message = mysql_error(conn);
    return textFromServer(QByteArrayView(message, qsizetype(std::strlen(message))));
}

bool isLost(unsigned error)
{
    return error == CR_SERVER_GONE_ERROR || error == CR_SERVER_LOST || error == CR_SERVER_LOST_EXTENDED;
}

/** Values of the binary character set that are not numbers or dates: shown as hexadecimal. */
bool isBinary(const MYSQL_FIELD &field)
{
    constexpr unsigned kBinaryCharset = 63;
    switch (field.type) {
    case MYSQL_TYPE_BIT:
    case MYSQL_TYPE_GEOMETRY:
        return true;
    case MYSQL_TYPE_STRING:
    case MYSQL_TYPE_VAR_STRING:
    case MYSQL_TYPE_VARCHAR:
    case MYSQL_TYPE_BLOB:
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
        return field.charsetnr == kBinaryCharset;
    default:
        return false;
    }
}

/**
 * How the library reaches the server: a socket path means that socket, and a
 * typed port means TCP, also to "localhost" (which alone means the socket).
 */
void setProtocol(MYSQL *conn, const ConnectRequest &request)
{
    unsigned protocol = MYSQL_PROTOCOL_DEFAULT;
    if (!request.socket.isEmpty())
        protocol = MYSQL_PROTOCOL_SOCKET;
    else if (request.port != 0)
        protocol = MYSQL_PROTOCOL_TCP;
    mysql_options(conn, MYSQL_OPT_PROTOCOL, &protocol);
}

void setOptions(MYSQL *conn, int timeoutSeconds)
{
    // A failed open clears the record's options, so they are given before each one.
    mysql_options(conn, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    const unsigned timeout = unsigned(std::max(timeoutSeconds, 1));
    mysql_options(conn, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
}

bool throughSocket(const ConnectRequest &request)
{
    return goesThroughSocket(QString::fromUtf8(request.host), request.port, QString::fromUtf8(request.socket));
}

/**
 * The TLS the request asks for, over TCP only. "Preferred" and "required" both
 * ask the library for TLS (MYSQL_OPT_SSL_ENFORCE), which falls back to the clear
 * when the server offers none; mysqlOpen refuses that fallback for "required".
 * "Verified" also has the library check the certificate and the host name,
 * and refuses a server without TLS itself.
 */
void setTls(MYSQL *conn, const ConnectRequest &request)
{
    if (request.tls == TlsMode::None || throughSocket(request))
        return; // a fresh record asks for no TLS
    const my_bool yes = 1;
    mysql_optionsv(conn, MYSQL_OPT_SSL_ENFORCE, &yes);
    if (request.tls == TlsMode::Verified) {
        mysql_optionsv(conn, MYSQL_OPT_SSL_VERIFY_SERVER_CERT, &yes);
        if (!request.caFile.isEmpty())
            mysql_optionsv(conn, MYSQL_OPT_SSL_CA, request.caFile.constData());
    }
}

/** Whether the open connection is what the request's TLS asks for. */
bool tlsAsAsked(MYSQL *conn, const ConnectRequest &request)
{
    if (request.tls != TlsMode::Required && request.tls != TlsMode::Verified)
        return true;
    return throughSocket(request) || mysql_get_ssl_cipher(conn) != nullptr;
}

ResultSet readResult(MYSQL_RES *result)
{
    ResultSet set;
    const unsigned count = mysql_num_fields(result);
    const MYSQL_FIELD *fields = mysql_fetch_fields(result);
    set.binaryColumns.resize(count);
    std::vector<QByteArrayView> values(count);
    for (unsigned k = 0; k < count; ++k) {
        values[k] = QByteArrayView(fields[k].name ? fields[k].name : "", qsizetype(fields[k].name_length));
        set.binaryColumns[k] = isBinary(fields[k]);
    }
    set.rows = std::make_shared<PackedRows>();
    set.rows->appendRow(values);
    while (const MYSQL_ROW row = mysql_fetch_row(result)) {
        const unsigned long *lengths = mysql_fetch_lengths(result);
        for (unsigned k = 0; k < count; ++k) // a NULL stays a null view; zero bytes are kept
            values[k] = row[k] ? QByteArrayView(row[k], qsizetype(lengths[k])) : QByteArrayView();
        set.rows->appendRow(values);
    }
    return set;
}

/**
 * Reads every part of the statement's answer: each result set, and the status
 * of each part without one (a CALL ends with one). Stops at the first error;
 * the server sends nothing after it.
 */
void readAnswer(MYSQL *conn, StatementOutcome &outcome)
{
    for (;;) {
        if (MYSQL_RES *result = mysql_use_result(conn)) {
            outcome.results.push_back(readResult(result));
            mysql_free_result(result);
        } else if (mysql_field_count(conn) == 0) {
            outcome.affectedRows = mysql_affected_rows(conn);
            outcome.insertId = mysql_insert_id(conn);
        }
        if (mysql_errno(conn) != 0 || mysql_next_result(conn) != 0)
            return; // an error (also one met while rows came in), or no part left
    }
}

} // namespace

void mysqlLibraryStart()
{
    static const bool started = (mysql_library_init(0, nullptr, nullptr) == 0);
    Q_UNUSED(started);
}

ConnectOutcome mysqlOpen(const ConnectRequest &request)
{
    MYSQL *conn = record();
    ConnectOutcome outcome;
    outcome.throughSocket = throughSocket(request);
    if (request.tls == TlsMode::Verified && !outcome.throughSocket) {
        // The library's own word for a missing file is "No such file or directory".
        outcome.tlsError = caFileProblem(QString::fromUtf8(request.caFile));
        if (!outcome.tlsError.isEmpty()) {
            outcome.error = outcome.tlsError;
            return outcome;
        }
    }
    setOptions(conn, request.timeoutSeconds);
    setProtocol(conn, request);
    setTls(conn, request);
    mysql_real_connect(conn, cText(request.host), cText(request.user), cText(request.password), nullptr, request.port,
                       request.socket.isEmpty() ? nullptr : request.socket.constData(),
                       CLIENT_MULTI_STATEMENTS); // "SELECT …; SELECT …" typed at once: each result set shown
    if (mysql_errno(conn) != 0) {
        outcome.error = errorOf(conn);
        outcome.tlsError = tlsFailureMessage(request.tls, mysql_errno(conn), outcome.error);
        mysqlClose(); // the next open starts from a prepared record
        return outcome;
    }
    if (!tlsAsAsked(conn, request)) { // the server offered no TLS: closed before any statement goes
        outcome.error = outcome.tlsError = tlsNotOfferedMessage();
        mysqlClose();
        return outcome;
    }
    if (const char *cipher = mysql_get_ssl_cipher(conn))
        outcome.tlsCipher = QString::fromLatin1(cipher);
    {
        const std::lock_guard<std::mutex> lock(socketLock);
        openSocket = int(mysql_get_socket(conn));
    }
    outcome.opened = true;
    outcome.threadId = mysql_thread_id(conn);
    outcome.databaseSelected = mysql_select_db(conn, cText(request.database)) == 0;
    if (!outcome.databaseSelected)
        outcome.error = errorOf(conn);
    return outcome;
}

void mysqlClose()
{
    const std::lock_guard<std::mutex> lock(socketLock);
    openSocket = -1;
    mysql_close(record());
    mysql_init(&MySQLConn);
}

void mysqlAbortConnection()
{
    const std::lock_guard<std::mutex> lock(socketLock);
    if (openSocket >= 0)
        ::shutdown(openSocket, SHUT_RDWR); // the socket stays open until mysqlClose closes it
}

StatementOutcome mysqlRun(const QByteArray &statement)
{
    MYSQL *conn = record();
    StatementOutcome outcome;
    QElapsedTimer clock;
    clock.start();
    if (mysql_real_query(conn, statement.constData(), static_cast<unsigned long>(statement.size())) == 0)
        readAnswer(conn, outcome);
    outcome.elapsedMs = clock.elapsed();
    outcome.errorNumber = mysql_errno(conn); // also an error met while the rows came in
    if (outcome.errorNumber != 0)
        outcome.error = errorOf(conn);
    if (isLost(outcome.errorNumber)) {
        mysqlClose();
        outcome.connectionLost = true;
    }
    return outcome;
}

KillOutcome mysqlKillQuery(const ConnectRequest &request, quint64 threadId)
{
    KillOutcome outcome;
    MYSQL conn;
    if (!mysql_init(&conn)) {
        outcome.error = QStringLiteral("mysql_init");
        return outcome;
    }
    setOptions(&conn, request.timeoutSeconds);
    setProtocol(&conn, request);
    setTls(&conn, request); // a server that requires TLS takes the KILL over TLS only
    const unsigned timeout = unsigned(std::max(request.timeoutSeconds, 1));
    mysql_options(&conn, MYSQL_OPT_READ_TIMEOUT, &timeout);
    mysql_options(&conn, MYSQL_OPT_WRITE_TIMEOUT, &timeout);
    if (mysql_real_connect(&conn, cText(request.host), cText(request.user), cText(request.password), nullptr,
                           request.port, request.socket.isEmpty() ? nullptr : request.socket.constData(), 0)) {
        outcome.connected = true;
        const QByteArray kill = "KILL QUERY " + QByteArray::number(threadId);
        if (mysql_real_query(&conn, kill.constData(), static_cast<unsigned long>(kill.size())) != 0)
            outcome.error = errorOf(&conn);
    } else {
        outcome.error = errorOf(&conn);
    }
    mysql_close(&conn);
    return outcome;
}
