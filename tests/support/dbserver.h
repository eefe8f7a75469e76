#pragma once

#include "testsupport.h"

#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>

#include <memory>

/**
 * A throwaway MariaDB server run by tests/servers/mariadb.sh: the one CTest
 * starts for the test_db* programs (fixture "mariadb", folder in
 * $ONDREL_MARIADB_DIR), or a private one a test starts itself.
 */
struct DbServer
{
    QString dir;
    int port = 0;
    QString socket;
    QString password;

    /** Reads port, socket and password from the server's folder; false when it is not running. */
    bool read(const QString &folder);
    /** Runs SQL as root on the database "ondrel_test" with the command-line client; returns its output. */
    QByteArray sql(const QString &statements) const;
    /** The server process id, from its pid file. */
    qint64 pid() const;

    /**
     * The server of the fixture. The first call also points the client library
     * at it (MYSQL_TCP_PORT, MYSQL_UNIX_PORT), which must happen before the
     * program's first call into the library. Aborts the test program when the
     * server is not there: a database test never skips.
     */
    static const DbServer &fixture();
    /** Points the client library at `server`; call before the first library call. */
    static void useForLibrary(const DbServer &server);
    /** Runs tests/servers/mariadb.sh start|stop on a folder; true on success. */
    static bool runScript(const QString &action, const QString &folder);
};

class DatabasePage;
class TfmMain;

/**
 * Waits until the database worker has nothing of the page's to do (an open or
 * a statement), replies shown; fails the test after 60 s.
 */
void waitForConsole(DatabasePage &page);
void waitForConsole(TfmMain &window);
/** Fills host (127.0.0.1), user (root), pass and base on the database page, clicks "Go" and waits for the outcome. */
void openConnection(DatabasePage &page, const DbServer &server, const QString &database = QStringLiteral("ondrel_test"));
void openConnection(TfmMain &window, const DbServer &server, const QString &database = QStringLiteral("ondrel_test"));
/** Clicks "Stop" when the page's connection is open. */
void closeConnection(DatabasePage &page);
void closeConnection(TfmMain &window);
/** Puts a statement in the query box's edit line, presses Enter there and waits for its outcome. */
void runStatement(DatabasePage &page, const QString &statement);
void runStatement(TfmMain &window, const QString &statement);

/**
 * A fresh window on the fixture's server for each test, with an empty query
 * history; afterwards the refresh is stopped and the connection closed.
 */
class DbWindowTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    const DbServer *server = nullptr;
    TempFolder folder;
    std::unique_ptr<TfmMain> window;
};
