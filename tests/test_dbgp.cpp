// The debugger's connection without a window: the DBGp packets, a real Xdebug
// behind `php -S` stepping through a page of three files, and a fake peer of
// the test's own for what a real one rarely does (no init, garbage, a huge
// value, a cut in the middle of an answer).
#include "debug/breakpointfile.h"
#include "debug/dbgplistener.h"
#include "debug/dbgpprotocol.h"
#include "debug/dbgpsession.h"
#include "debug/debugger.h"
#include "debug/xdebugsetup.h"
#include "preview/phpserver.h"
#include "base/ports.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include "support/coremain.h"

#include <unistd.h>

namespace {

QByteArray packet(const QByteArray &xml)
{
    return QByteArray::number(xml.size()) + '\0' + xml + '\0';
}

QByteArray initXml(const QString &ideKey)
{
    return "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n<init xmlns=\"urn:debugger_protocol_v1\" "
           "fileuri=\"file:///w/a%20b.php\" language=\"PHP\" protocol_version=\"1.0\" appid=\"1\" idekey=\""
        + ideKey.toUtf8() + "\"><engine version=\"3.2.0\"><![CDATA[Xdebug]]></engine></init>";
}

TEST(DbgpPackets, StreamIsCutIntoPacketsAndBadStreamsAreRefused)
{
    const struct
    {
        const char *name;
        QList<QByteArray> chunks;
        QList<QByteArray> packets;
        DbgpPacketReader::Status last;
    } cases[] = {
        {"two packets in one read", {packet("<a/>") + packet("<b/>")}, {"<a/>", "<b/>"}, DbgpPacketReader::Status::NeedMore},
        {"one packet byte by byte", {"4", QByteArray(1, '\0'), "<a", "/>", QByteArray(1, '\0')}, {"<a/>"}, DbgpPacketReader::Status::NeedMore},
        {"length not a number", {QByteArray("4x", 2) + '\0' + "<a/>" + '\0'}, {}, DbgpPacketReader::Status::Malformed},
        {"no terminating NUL", {QByteArray("2") + '\0' + "<a/>"}, {}, DbgpPacketReader::Status::Malformed},
        {"endless length digits", {"123456789012345678"}, {}, DbgpPacketReader::Status::Malformed},
        {"length beyond the limit", {QByteArray("2000000") + '\0'}, {}, DbgpPacketReader::Status::TooLarge},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DbgpPacketReader reader(1000000);
        QList<QByteArray> got;
        DbgpPacketReader::Status status = DbgpPacketReader::Status::NeedMore;
        for (const QByteArray &chunk : c.chunks) {
            reader.append(chunk);
            QByteArray p;
            while ((status = reader.next(&p)) == DbgpPacketReader::Status::Packet)
                got << p;
        }
        EXPECT_EQ(got, c.packets);
        EXPECT_EQ(status, c.last);
    }
}

TEST(DbgpPackets, CommandsQuoteTheirArgumentsAndPathsRoundTrip)
{
    EXPECT_EQ(dbgpCommand(QStringLiteral("property_get"), 7, {QStringLiteral("-n"), QStringLiteral("$a['x y']")}),
              QByteArray("property_get -i 7 -n \"$a['x y']\"") + '\0');
    EXPECT_EQ(dbgpCommand(QStringLiteral("eval"), 8, {}, "$a == \"é\""),
              QByteArray("eval -i 8 -- ") + QByteArray("$a == \"é\"").toBase64() + '\0');
    EXPECT_EQ(dbgpCommand(QStringLiteral("x"), 1, {QStringLiteral("a\"b\\c")}), QByteArray("x -i 1 \"a\\\"b\\\\c\"") + '\0');
    for (const char *path : {"/w/a b/c.php", "/w/été/#1%.php", "/w/plain.php"}) {
        SCOPED_TRACE(path);
        const QString p = QString::fromUtf8(path);
        EXPECT_TRUE(dbgpFileUri(p).startsWith(QLatin1String("file:///")));
        EXPECT_FALSE(dbgpFileUri(p).contains(QLatin1Char(' ')));
        EXPECT_EQ(dbgpLocalPath(dbgpFileUri(p)), p);
    }
}

TEST(DbgpPackets, AnswersAreReadIntoPropertiesFramesAndStops)
{
    DbgpNode node;
    QString error;
    ASSERT_TRUE(parseDbgpXml(
        "<response xmlns=\"urn:debugger_protocol_v1\" xmlns:xdebug=\"https://xdebug.org/dbgp/xdebug\" command=\"context_get\">"
        "<property name=\"$s\" fullname=\"$s\" type=\"string\" size=\"10\" encoding=\"base64\"><![CDATA[w6l0w6k=]]></property>"
        "<property name=\"$a\" fullname=\"$a\" type=\"array\" children=\"1\" numchildren=\"250\" page=\"0\" pagesize=\"100\"/>"
        "<property name=\"$o\" fullname=\"$o\" type=\"object\" classname=\"Cart\" children=\"0\" numchildren=\"0\"/>"
        "</response>", &node, &error)) << error.toStdString();
    const std::vector<DbgpProperty> props = dbgpProperties(node);
    ASSERT_EQ(props.size(), 3u);
    EXPECT_EQ(props[0].value, QStringLiteral("été"));
    EXPECT_TRUE(props[0].isShortened());
    EXPECT_EQ(props[1].childCount, 250);
    EXPECT_TRUE(props[1].hasChildren);
    EXPECT_EQ(props[2].className, QStringLiteral("Cart"));

    ASSERT_TRUE(parseDbgpXml("<response status=\"break\"><xdebug:message xmlns:xdebug=\"x\" filename=\"file:///w/a.php\" "
                             "lineno=\"7\" exception=\"Warning\"><![CDATA[Undefined variable $u]]></xdebug:message></response>",
                             &node, &error));
    const DbgpStop stop = dbgpStop(node);
    EXPECT_EQ(stop.file, QStringLiteral("/w/a.php"));
    EXPECT_EQ(stop.line, 7);
    EXPECT_EQ(stop.exception, QStringLiteral("Warning"));

    for (const char *bad : {"<a><b></a>", "", "not xml", "<a>&undefined;</a>"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(parseDbgpXml(bad, &node, &error));
        EXPECT_FALSE(error.isEmpty());
    }
    // Nesting a hostile peer could use to exhaust the stack.
    EXPECT_FALSE(parseDbgpXml(QByteArray("<a>").repeated(100000), &node, &error));
}

TEST(XdebugSetup, ProbeOutputAndServerArguments)
{
    EXPECT_EQ(xdebugAvailability("loaded"), XdebugAvailability::Loaded);
    EXPECT_EQ(xdebugAvailability("PHP Warning: x\nloadable\n"), XdebugAvailability::Loadable);
    EXPECT_EQ(xdebugAvailability("missing"), XdebugAvailability::Missing);
    EXPECT_EQ(xdebugAvailability(""), XdebugAvailability::Missing);
    const QStringList loaded = xdebugServerArguments(XdebugAvailability::Loaded, 9100);
    EXPECT_FALSE(loaded.join(QLatin1Char(' ')).contains(QLatin1String("zend_extension")));
    EXPECT_TRUE(xdebugServerArguments(XdebugAvailability::Loadable, 9100).contains(QStringLiteral("zend_extension=xdebug.so")));
    // The key never shows on php's command line, which every user can read.
    EXPECT_TRUE(loaded.contains(QStringLiteral("xdebug.trigger_value=${ONDREL_XDEBUG_KEY}")));
    EXPECT_TRUE(loaded.contains(QStringLiteral("xdebug.client_port=9100")));
    EXPECT_EQ(probeXdebug(QStringLiteral("/nonexistent/php")), XdebugAvailability::Missing);
    // The test machine has php-xdebug (scripts/setup.sh installs it).
    EXPECT_NE(probeXdebug(phpExecutable()), XdebugAvailability::Missing);
}

TEST(BreakpointFile, KeepsLinesAndConditionsAndSkipsWhatDoesNotRead)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ondrel.pts"));
    const std::vector<DebugBreakpoint> written{
        {QStringLiteral("/w/a b/été.php"), 12, {}},
        {QStringLiteral("/w/c.php"), 1, QStringLiteral("$i == 3\t&& $x\n> 2")},
    };
    ASSERT_TRUE(writeBreakpoints(path, written));
    const std::vector<DebugBreakpoint> read = readBreakpoints(path);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0], written[0]);
    EXPECT_EQ(read[1].condition, QStringLiteral("$i == 3 && $x > 2")); // one line per breakpoint
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("x\t/w/d.php\n0\t/w/d.php\n3\trelative.php\n7\n12\t/w/a b/\xc3\xa9t\xc3\xa9.php\n");
    file.close();
    EXPECT_EQ(readBreakpoints(path).size(), 2u);
    EXPECT_TRUE(readBreakpoints(dir.filePath(QStringLiteral("none"))).empty());
    EXPECT_FALSE(writeBreakpoints(dir.filePath(QStringLiteral("no/such/folder/f")), written));
}

/** A peer of the test's own, connected to a listener. */
struct FakePeer
{
    QTcpSocket socket;
    explicit FakePeer(int port)
    {
        socket.connectToHost(QHostAddress::LocalHost, quint16(port));
        EXPECT_TRUE(socket.waitForConnected(5000));
    }
    /** The next command the client sent, without its NUL; empty on time-out. */
    QByteArray command()
    {
        const bool complete = QTest::qWaitFor([this] { return (m_in += socket.readAll()).contains('\0'); }, 5000);
        EXPECT_TRUE(complete);
        const qsizetype nul = m_in.indexOf('\0');
        if (nul < 0)
            return {};
        const QByteArray c = m_in.left(nul);
        m_in.remove(0, nul + 1);
        return c;
    }
    static QByteArray transaction(const QByteArray &command)
    {
        const QList<QByteArray> words = command.split(' ');
        const qsizetype i = words.indexOf("-i");
        return i >= 0 && i + 1 < words.size() ? words.at(i + 1) : QByteArray();
    }
    bool closedByOtherSide()
    {
        return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::UnconnectedState; }, 5000);
    }
    QByteArray m_in;
};

TEST(DbgpListener, StrangersAndBrokenPeersAreDroppedWithoutWaiting)
{
    DbgpListener listener;
    ASSERT_TRUE(listener.listen(pickLoopbackPort()));
    listener.setInitTimeout(300);
    QSignalSpy refused(&listener, &DbgpListener::refused);
    int started = 0;
    QObject::connect(&listener, &DbgpListener::sessionStarted, [&started] { ++started; });
    const struct
    {
        const char *name;
        QByteArray send;
        const char *reason;
    } cases[] = {
        {"never sends init", {}, "init"},
        {"wrong IDE key", packet(initXml(QStringLiteral("someone-else"))), "refusée"},
        {"malformed XML", packet("<init idekey=\"x\"><engine></init>"), "illisible"},
        {"garbage length", QByteArray("GET / HTTP/1.0\r\n\r\n"), "illisible"},
        {"another first packet", packet("<response/>"), "init"},
        {"huge declared length", QByteArray("999999999999") + '\0', "trop grande"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        refused.clear();
        FakePeer peer(listener.port());
        peer.socket.write(c.send);
        ASSERT_TRUE(peer.closedByOtherSide());
        ASSERT_TRUE(QTest::qWaitFor([&] { return refused.size() == 1; }, 5000));
        EXPECT_TRUE(refused.at(0).at(0).toString().contains(QString::fromUtf8(c.reason)))
            << refused.at(0).at(0).toString().toStdString();
    }
    EXPECT_EQ(started, 0);

    // The kernel's table names this very user as the peer of a connection.
    FakePeer own(listener.port());
    EXPECT_EQ(peerOwner(kernelSocketTables(), own.socket.localAddress(), own.socket.localPort(), own.socket.peerAddress(),
                        own.socket.peerPort()),
              int(::getuid()));
}

TEST(DbgpListener, BusyPortGivesAnotherOne)
{
    DbgpListener first;
    ASSERT_TRUE(first.listen(pickLoopbackPort()));
    DbgpListener second;
    ASSERT_TRUE(second.listen(first.port()));
    EXPECT_NE(second.port(), first.port());
    EXPECT_GT(second.port(), 0);
    EXPECT_NE(first.ideKey(), second.ideKey());
    EXPECT_EQ(first.ideKey().size(), 32);
}

/** A checked session with the fake peer, paused after init. */
struct FakeSession
{
    DbgpListener listener;
    std::unique_ptr<FakePeer> peer;
    QPointer<DbgpSession> session;
    FakeSession()
    {
        EXPECT_TRUE(listener.listen(pickLoopbackPort()));
        listener.setReplyTimeout(10000); // the case that tests it sets its own
        QObject::connect(&listener, &DbgpListener::sessionStarted, [this](DbgpSession *s) { session = s; });
        peer = std::make_unique<FakePeer>(listener.port());
        peer->socket.write(packet(initXml(listener.ideKey())));
        EXPECT_TRUE(QTest::qWaitFor([this] { return !session.isNull(); }, 5000));
    }
    void answer(const QByteArray &command, const QByteArray &body, const QByteArray &attributes = {})
    {
        peer->socket.write(packet("<response xmlns=\"urn:debugger_protocol_v1\" command=\"x\" transaction_id=\""
                                  + FakePeer::transaction(command) + "\" " + attributes + ">" + body + "</response>"));
    }
};

TEST(DbgpSession, HugeValuesArriveWholeAndCutsEndTheSession)
{
    {
        SCOPED_TRACE("a 5 MB string value");
        FakeSession f;
        ASSERT_TRUE(f.session);
        EXPECT_EQ(f.session->startFile(), QStringLiteral("/w/a b.php"));
        QString value;
        f.session->send(QStringLiteral("property_value"), {QStringLiteral("-n"), QStringLiteral("$big")},
                        [&](const DbgpSession::Reply &r) { value = r.node.decodedText(); });
        const QByteArray big(5 * 1024 * 1024, 'x');
        f.answer(f.peer->command(), "<![CDATA[" + big.toBase64() + "]]>", "encoding=\"base64\"");
        ASSERT_TRUE(QTest::qWaitFor([&] { return !value.isEmpty(); }, 10000));
        EXPECT_EQ(value.size(), big.size());
    }
    const struct
    {
        const char *name;
        std::function<void(FakeSession &, const QByteArray &command)> peerDoes;
        const char *reason;
    } cases[] = {
        {"disconnect in the middle of an answer",
         [](FakeSession &f, const QByteArray &) {
             f.peer->socket.write(QByteArray("500") + '\0' + "<response");
             f.peer->socket.flush();
             f.peer->socket.disconnectFromHost();
         },
         "au milieu"},
        {"disconnect before answering", [](FakeSession &f, const QByteArray &) { f.peer->socket.disconnectFromHost(); }, "avant sa réponse"},
        {"never answers", [](FakeSession &, const QByteArray &) {}, "ne répond plus"},
        {"answers with broken XML", [](FakeSession &f, const QByteArray &c) { f.answer(c, "<property>"); }, "illisible"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        FakeSession f;
        ASSERT_TRUE(f.session);
        QSignalSpy ended(f.session.data(), &DbgpSession::ended);
        int calls = 0;
        DbgpSession::Reply got;
        got.ok = true;
        f.session->setReplyTimeout(300);
        f.session->send(QStringLiteral("context_get"), {}, [&](const DbgpSession::Reply &r) { ++calls; got = r; });
        c.peerDoes(f, f.peer->command());
        ASSERT_TRUE(QTest::qWaitFor([&] { return ended.size() == 1; }, 5000));
        EXPECT_TRUE(ended.at(0).at(0).toString().contains(QString::fromUtf8(c.reason))) << ended.at(0).at(0).toString().toStdString();
        EXPECT_EQ(calls, 1);
        EXPECT_FALSE(got.ok);
        EXPECT_EQ(f.session->state(), DbgpSession::State::Ended);
        EXPECT_EQ(f.session->send(QStringLiteral("stack_get"), {}), -1);
    }
}

} // namespace

ONDREL_CORE_TEST_MAIN
