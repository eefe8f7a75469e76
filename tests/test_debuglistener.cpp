// Who may reach the debugger's listener: the kernel's socket tables read for
// every loopback address, fake owners for the decisions, a real second account
// where the test may become one, the caps on waiting connections and their
// first packet, and a port another program holds.
#include "debug/dbgplistener.h"
#include "debug/dbgpsession.h"
#include "debug/socketowner.h"
#include "base/ports.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "support/coremain.h"
#include "support/privilege.h"

#include <memory>
#include <unistd.h>

namespace {

QByteArray packet(const QByteArray &xml)
{
    return QByteArray::number(xml.size()) + '\0' + xml + '\0';
}

QByteArray initPacket(const QString &ideKey)
{
    return packet("<?xml version=\"1.0\"?><init xmlns=\"urn:debugger_protocol_v1\" fileuri=\"file:///w/a.php\" "
                  "language=\"PHP\" protocol_version=\"1.0\" appid=\"1\" idekey=\"" + ideKey.toUtf8() + "\"/>");
}

const QByteArray kHeader = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";

QByteArray row(const QByteArray &local, const QByteArray &remote, const QByteArray &state, int uid)
{
    return "   0: " + local + ' ' + remote + ' ' + state + " 00000000:00000000 00:00000000 00000000 " + QByteArray::number(uid)
        + "        0 12345 1 0000000000000000 20 4 30 10 -1\n";
}

/** The real tables with every socket's owner replaced by `uid`: the machine as another account's would look. */
SocketTableReader ownedBy(int uid)
{
    return [uid](const QString &path) {
        QByteArray out;
        const QList<QByteArray> lines = kernelSocketTables()(path).split('\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QList<QByteArray> fields = lines.at(i).simplified().split(' ');
            if (i > 0 && fields.size() > 7)
                fields[7] = QByteArray::number(uid);
            out += fields.join(' ') + '\n';
        }
        return out;
    };
}

int otherUid()
{
    return int(::getuid()) == 4242 ? 4343 : 4242;
}

/** A connection to `port` at `to`, made from `from`. */
std::unique_ptr<QTcpSocket> connectFrom(const QHostAddress &from, const QHostAddress &to, int port)
{
    auto socket = std::make_unique<QTcpSocket>();
    EXPECT_TRUE(socket->bind(from, 0)) << from.toString().toStdString();
    socket->connectToHost(to, quint16(port));
    EXPECT_TRUE(socket->waitForConnected(5000)) << from.toString().toStdString();
    return socket;
}

bool closedByListener(QTcpSocket &socket)
{
    return QTest::qWaitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 10000);
}

} // namespace

TEST(SocketTables, AddressesAreWrittenAsTheKernelWritesThem)
{
    const struct
    {
        const char *address;
        quint16 port;
        const char *written;
    } cases[] = {
        {"127.0.0.1", 8011, "0100007F:1F4B"},
        {"127.0.0.2", 80, "0200007F:0050"},
        {"127.1.2.3", 9003, "0302017F:232B"},
        {"::1", 9003, "00000000000000000000000001000000:232B"},
        {"::ffff:127.0.0.2", 1, "0000000000000000FFFF00000200007F:0001"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(socketTableAddress(QHostAddress(QString::fromLatin1(c.address)), c.port), QByteArray(c.written));
    }
}

TEST(SocketTables, ThePeerOfAConnectionAndTheHolderOfAPortAreFound)
{
    // The peer's own socket is the line whose local end is the peer; the accepted one (the
    // listener's end) and a listening socket on the same ports are someone else's.
    const QByteArray tcp = kHeader + row("0100007F:232B", "00000000:0000", "0A", 0)
        + row("0100007F:232B", "0200007F:A000", "01", 0) + row("0200007F:A000", "0100007F:232B", "01", 33)
        + row("0100007F:B000", "0100007F:232B", "01", 1000) + row("00000000:0050", "00000000:0000", "0A", 0);
    const QByteArray tcp6 = kHeader + row("00000000000000000000000001000000:C000", "00000000000000000000000001000000:232B", "01", 44)
        + row("0000000000000000FFFF00000300007F:D000", "0000000000000000FFFF00000100007F:232B", "01", 55)
        + row("00000000000000000000000001000000:2328", "00000000000000000000000000000000:0000", "0A", 66)
        + row("00000000000000000000000000000000:1F90", "00000000000000000000000000000000:0000", "0A", 77)
        + row("00000000000000000000000001000001:1F91", "00000000000000000000000000000000:0000", "0A", 88);
    const SocketTableReader read = [&](const QString &path) { return path.endsWith(u'6') ? tcp6 : tcp; };
    const QHostAddress us(QStringLiteral("127.0.0.1"));
    const struct
    {
        const char *peer;
        quint16 peerPort;
        const char *ours;
        int owner;
    } peers[] = {
        {"127.0.0.2", 0xA000, "127.0.0.1", 33},
        {"127.0.0.1", 0xB000, "127.0.0.1", 1000},
        {"::1", 0xC000, "::1", 44},
        {"127.0.0.3", 0xD000, "127.0.0.1", 55}, // an IPv6 socket's connection to 127.0.0.1
        {"127.0.0.2", 0xA001, "127.0.0.1", -1},  // not in the table: nobody's, never ours
        {"127.0.0.1", 0x232B, "127.0.0.2", -1},  // nothing connects these two ends
    };
    for (const auto &p : peers) {
        SCOPED_TRACE(p.peer);
        EXPECT_EQ(peerOwner(read, QHostAddress(QString::fromLatin1(p.peer)), p.peerPort,
                            QHostAddress(QString::fromLatin1(p.ours)), 9003),
                  p.owner);
    }
    const struct
    {
        quint16 port;
        int owner;
    } ports[] = {{9003, 0}, {80, 0}, {9000, 66}, {8080, 77}, {8081, -1}, {0xA000, -1}};
    for (const auto &p : ports) {
        SCOPED_TRACE(p.port);
        EXPECT_EQ(listeningPortOwner(read, p.port), p.owner);
    }
    EXPECT_EQ(peerOwner([](const QString &) { return QByteArray(); }, us, 1, us, 2), -1);
}

/** A listener on a free port and what it said. */
struct Listening
{
    DbgpListener listener;
    QSignalSpy refused{&listener, &DbgpListener::refused};
    QList<DbgpSession *> sessions;
    explicit Listening(DbgpListener::PortChoice choice = DbgpListener::PortChoice::ThisOrFree)
    {
        EXPECT_TRUE(listener.listen(freeLoopbackPort(), choice));
        QObject::connect(&listener, &DbgpListener::sessionStarted, [this](DbgpSession *s) { sessions << s; });
    }
    bool refusedWith(const char *words)
    {
        if (!QTest::qWaitFor([this] { return !refused.isEmpty(); }, 10000))
            return false;
        return refused.takeFirst().at(0).toString().contains(QString::fromUtf8(words));
    }
};

TEST(DbgpListener, EveryLoopbackPeerIsCheckedAgainstTheUsersAccount)
{
    const struct
    {
        const char *from;
        const char *to;
    } addresses[] = {{"127.0.0.1", "127.0.0.1"}, {"127.0.0.2", "127.0.0.1"}, {"127.9.8.7", "127.0.0.1"}, {"::1", "::1"}};
    for (const auto &a : addresses) {
        SCOPED_TRACE(a.from);
        {
            SCOPED_TRACE("the user's own account: a session");
            Listening l(DbgpListener::PortChoice::ThisOnly);
            auto peer = connectFrom(QHostAddress(QString::fromLatin1(a.from)), QHostAddress(QString::fromLatin1(a.to)),
                                    l.listener.port());
            peer->write(initPacket(l.listener.ideKey()));
            EXPECT_TRUE(QTest::qWaitFor([&] { return l.sessions.size() == 1; }, 10000));
            EXPECT_TRUE(l.refused.isEmpty());
        }
        {
            SCOPED_TRACE("another account, even with the key: closed at once");
            Listening l(DbgpListener::PortChoice::ThisOnly);
            l.listener.setSocketTableReader(ownedBy(otherUid()));
            auto peer = connectFrom(QHostAddress(QString::fromLatin1(a.from)), QHostAddress(QString::fromLatin1(a.to)),
                                    l.listener.port());
            peer->write(initPacket(l.listener.ideKey()));
            EXPECT_TRUE(closedByListener(*peer));
            EXPECT_TRUE(l.refusedWith("autre utilisateur"));
            EXPECT_TRUE(l.sessions.isEmpty());
        }
        {
            SCOPED_TRACE("a peer the tables do not show: closed");
            Listening l(DbgpListener::PortChoice::ThisOnly);
            l.listener.setSocketTableReader([](const QString &) { return kHeader; });
            auto peer = connectFrom(QHostAddress(QString::fromLatin1(a.from)), QHostAddress(QString::fromLatin1(a.to)),
                                    l.listener.port());
            EXPECT_TRUE(closedByListener(*peer));
            EXPECT_TRUE(l.refusedWith("pas pu être vérifié"));
        }
    }
}

TEST(DbgpListener, ARealSecondAccountIsRefusedFromAnyLoopbackAddress)
{
    if (!canSwitchAccounts())
        ONDREL_SKIP_WITHOUT("no second account: not root, and sudo asks for a password or is missing");
    for (const char *from : {"127.0.0.1", "127.0.0.2"}) {
        SCOPED_TRACE(from);
        Listening l;
        // php as the other account connects from `from`, sends the right key and waits to be closed.
        const QString script = QStringLiteral(
            "$s = stream_socket_client('tcp://127.0.0.1:%1', $e, $m, 5, STREAM_CLIENT_CONNECT,"
            " stream_context_create(['socket' => ['bindto' => '%2:0']]));"
            "if (!$s) { echo 'no connection'; exit(1); }"
            "fwrite($s, base64_decode('%3')); stream_set_timeout($s, 10);"
            "$r = fread($s, 100); echo stream_get_meta_data($s)['timed_out'] ? 'open' : ($r ? 'answered' : 'closed');")
                                   .arg(l.listener.port())
                                   .arg(QLatin1String(from))
                                   .arg(QString::fromLatin1(initPacket(l.listener.ideKey()).toBase64()));
        const QStringList command = asNobody({QStringLiteral("php"), QStringLiteral("-r"), script});
        QProcess php;
        php.start(command.first(), command.mid(1));
        ASSERT_TRUE(QTest::qWaitFor([&] { return php.state() == QProcess::NotRunning; }, 20000));
        EXPECT_EQ(php.readAllStandardOutput(), QByteArray("closed")) << php.readAllStandardError().toStdString();
        EXPECT_TRUE(l.refusedWith("autre utilisateur"));
        EXPECT_TRUE(l.sessions.isEmpty());
    }
}

TEST(DbgpListener, OversizedAndNumerousConnectionsAreCutShort)
{
    const struct
    {
        const char *name;
        QByteArray send;
        const char *reason;
    } oversized[] = {
        {"a 60 MB init announced", QByteArray("62914560") + '\0' + QByteArray(1024 * 1024, 'x'), "trop grande"},
        {"an init just over the cap", packet("<init idekey=\"" + QByteArray(DbgpListener::kMaxInitBytes, 'k') + "\"/>"), "trop grande"},
        {"bytes without a length", QByteArray(4 * 1024 * 1024, '7'), "illisible"},
    };
    for (const auto &c : oversized) {
        SCOPED_TRACE(c.name);
        Listening l;
        auto peer = connectFrom(QHostAddress::LocalHost, QHostAddress::LocalHost, l.listener.port());
        peer->write(c.send);
        EXPECT_TRUE(closedByListener(*peer));
        EXPECT_TRUE(l.refusedWith(c.reason));
        EXPECT_TRUE(l.sessions.isEmpty());
    }

    // Connections that send nothing hold a place until their init time-out; the
    // ones beyond the cap are closed at once, and a place freed is taken again.
    Listening l;
    l.listener.setInitTimeout(60000);
    std::vector<std::unique_ptr<QTcpSocket>> silent;
    for (int i = 0; i < DbgpListener::kMaxWaiting; ++i)
        silent.push_back(connectFrom(QHostAddress::LocalHost, QHostAddress::LocalHost, l.listener.port()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return l.listener.waitingCount() == DbgpListener::kMaxWaiting; }, 10000));
    auto extra = connectFrom(QHostAddress::LocalHost, QHostAddress::LocalHost, l.listener.port());
    EXPECT_TRUE(closedByListener(*extra));
    EXPECT_TRUE(l.refusedWith("trop de connexions"));
    EXPECT_EQ(l.listener.waitingCount(), DbgpListener::kMaxWaiting);
    silent.front()->write(initPacket(l.listener.ideKey()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return l.sessions.size() == 1; }, 10000));
    EXPECT_EQ(l.listener.waitingCount(), DbgpListener::kMaxWaiting - 1);
    auto next = connectFrom(QHostAddress::LocalHost, QHostAddress::LocalHost, l.listener.port());
    next->write(initPacket(l.listener.ideKey()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return l.sessions.size() == 2; }, 10000));
}

TEST(DbgpListener, AnotherAccountsWebServerDebugsOnlyOnceTheUserAllowsIt)
{
    const int www = otherUid();
    const struct
    {
        const char *name;
        bool ask, rightKey, allow;
        int sessions;
        const char *refusal; // empty: none
    } cases[] = {
        {"Ondrel's own server: refused without a question", false, true, false, 0, "autre utilisateur"},
        {"the user's server, a stranger's key", true, false, false, 0, "ne vient pas d'une page"},
        {"the user's server, allowed", true, true, true, 1, ""},
        {"the user's server, refused", true, true, false, 0, "que vous n'avez pas autorisé"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Listening l;
        l.listener.setSocketTableReader(ownedBy(www));
        l.listener.setAskAboutOtherAccounts(c.ask);
        QSignalSpy asked(&l.listener, &DbgpListener::accountApprovalNeeded);
        auto peer = connectFrom(QHostAddress::LocalHost, QHostAddress::LocalHost, l.listener.port());
        peer->write(initPacket(c.rightKey ? l.listener.ideKey() : QStringLiteral("guess")));
        if (c.ask && c.rightKey) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return asked.size() == 1; }, 10000));
            EXPECT_EQ(asked.at(0).at(0).toInt(), www);
            EXPECT_EQ(asked.at(0).at(1).toString(), accountName(www));
            if (c.allow)
                l.listener.allowAccount(www);
            else
                l.listener.refuseAccount(www);
        }
        if (*c.refusal) {
            EXPECT_TRUE(closedByListener(*peer));
            EXPECT_TRUE(l.refusedWith(c.refusal));
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return l.sessions.size() == c.sessions; }, 10000));
        if (c.allow) {
            SCOPED_TRACE("once allowed, the account's next page is taken without a question");
            auto again = connectFrom(QHostAddress::LocalHost, QHostAddress::LocalHost, l.listener.port());
            again->write(initPacket(l.listener.ideKey()));
            EXPECT_TRUE(QTest::qWaitFor([&] { return l.sessions.size() == 2; }, 10000));
            EXPECT_EQ(asked.size(), 1);
            EXPECT_EQ(l.listener.allowedAccounts(), QList<int>{www});
        }
    }
}

TEST(DbgpListener, APortHeldByAnotherProgramIsNamedAndNotTakenForTheUsersServer)
{
    for (const QHostAddress &squatted : {QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6),
                                         QHostAddress(QHostAddress::Any)}) {
        SCOPED_TRACE(squatted.toString().toStdString());
        QTcpServer squatter;
        ASSERT_TRUE(squatter.listen(squatted, quint16(freeLoopbackPort())));
        const int port = squatter.serverPort();
        DbgpListener listener;
        EXPECT_FALSE(listener.listen(port, DbgpListener::PortChoice::ThisOnly));
        EXPECT_FALSE(listener.isListening());
        listener.setSocketTableReader(ownedBy(accountId(QStringLiteral("daemon"))));
        EXPECT_EQ(listener.takenPortMessage(port),
                  QStringLiteral("Le port %1 est pris par un autre programme (compte daemon) : le débogage est arrêté").arg(port));
        // Ondrel's own server is told the port, on 127.0.0.1: another free one does.
        EXPECT_TRUE(listener.listen(port, DbgpListener::PortChoice::ThisOrFree));
        if (squatted != QHostAddress(QHostAddress::LocalHostIPv6))
            EXPECT_NE(listener.port(), port);
    }
}

TEST(DbgpListener, APortHeldByARealSecondAccountNamesIt)
{
    if (!canSwitchAccounts())
        ONDREL_SKIP_WITHOUT("no second account: not root, and sudo asks for a password or is missing");
    const int port = freeLoopbackPort();
    const QStringList command = asNobody({QStringLiteral("php"), QStringLiteral("-r"),
        QStringLiteral("$s = stream_socket_server('tcp://127.0.0.1:%1'); echo 'up'; sleep(30);").arg(port)});
    QProcess squatter;
    squatter.start(command.first(), command.mid(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return squatter.readAllStandardOutput() == "up" || squatter.state() == QProcess::NotRunning; }, 20000));
    DbgpListener listener;
    EXPECT_FALSE(listener.listen(port, DbgpListener::PortChoice::ThisOnly));
    EXPECT_EQ(listener.takenPortMessage(port),
              QStringLiteral("Le port %1 est pris par un autre programme (compte nobody) : le débogage est arrêté").arg(port));
    squatter.kill();
    squatter.waitForFinished(5000);
}

ONDREL_CORE_TEST_MAIN
