// Reading where the server is from the "Host" text: a name, host:port, [IPv6]:port, a socket path.
#include "support/qtmain.h"
#include "support/testsupport.h"

#include "db/serveraddress.h"

namespace {

struct AddressCase
{
    const char *typed;
    const char *host;
    unsigned port;
    const char *socket;
    bool tcp;
    bool error;
};

TEST(ServerAddress, HostTextsAsTyped)
{
    const AddressCase cases[] = {
        {"", "", 0, "", false, false},
        {"localhost", "localhost", 0, "", false, false},
        {"db.example", "db.example", 0, "", false, false},
        {"127.0.0.1:23306", "127.0.0.1", 23306, "", true, false},
        {"localhost:3307", "localhost", 3307, "", true, false}, // TCP, not the socket
        {":3307", "", 3307, "", true, false},
        {"[::1]:23306", "::1", 23306, "", true, false},
        {"[::1]", "::1", 0, "", false, false},
        {"::1", "::1", 0, "", false, false},
        {"fe80::1:2", "fe80::1:2", 0, "", false, false},
        {"/run/mysqld/mysqld.sock", "localhost", 0, "/run/mysqld/mysqld.sock", false, false},
        {"/tmp/a:b.sock", "localhost", 0, "/tmp/a:b.sock", false, false},
        {"host:", "", 0, "", false, true},
        {"host:abc", "", 0, "", false, true},
        {"host:0", "", 0, "", false, true},
        {"host:65536", "", 0, "", false, true},
        {"host:+80", "", 0, "", false, true},
        {"host: 80", "", 0, "", false, true},
        {"[::1", "", 0, "", false, true},
        {"[::1]x", "", 0, "", false, true},
        {"[::1]:99999", "", 0, "", false, true},
    };
    for (const AddressCase &c : cases) {
        const ServerAddress address = serverAddress(QString::fromUtf8(c.typed));
        EXPECT_EQ(address.host, QString::fromUtf8(c.host)) << c.typed;
        EXPECT_EQ(address.port, c.port) << c.typed;
        EXPECT_EQ(address.socket, QString::fromUtf8(c.socket)) << c.typed;
        EXPECT_EQ(address.tcp, c.tcp) << c.typed;
        EXPECT_EQ(!address.error.isEmpty(), c.error) << c.typed << ": " << qPrintable(address.error);
        if (c.error) {
            EXPECT_TRUE(address.error.contains(QString::fromUtf8(c.typed))) << qPrintable(address.error);
        }
    }
}

} // namespace

ONDREL_QT_TEST_MAIN
