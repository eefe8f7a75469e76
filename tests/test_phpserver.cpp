// Ondrel's own PHP server and what reads PHP's output: the log lines, error
// places, `php -l`, the URL paths it serves, and the status line's plain text.
#include "support/qtmain.h"
#include "support/testsupport.h"

#include "preview/phpserver.h"
#include "preview/statustext.h"
#include "files/urlrules.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <csignal>

namespace {

TEST(ServerLog, LinesAreSortedByKindAndTracesFollowTheirError)
{
    struct Case
    {
        const char *line;
        ServerLineKind previous;
        ServerLineKind kind;
    } const cases[] = {
        {"[Mon Dec  7 11:48:36 2026] 127.0.0.1:38154 [200]: GET /sub/a.php?x=1", ServerLineKind::Other, ServerLineKind::Request},
        {"[Mon Dec  7 11:48:36 2026] 127.0.0.1:38154 [404]: GET /nope.php - No such file", ServerLineKind::Other, ServerLineKind::Request},
        {"[Mon Dec  7 11:48:36 2026] PHP Parse error:  syntax error in /a.php on line 2", ServerLineKind::Request, ServerLineKind::Error},
        {"[Mon Dec  7 11:48:36 2026] PHP Warning:  Undefined variable $x in /a.php on line 1", ServerLineKind::Other, ServerLineKind::Error},
        {"Stack trace:", ServerLineKind::Error, ServerLineKind::Error},
        {"  thrown in /a.php on line 1", ServerLineKind::Error, ServerLineKind::Error},
        {"[Mon Dec  7 11:48:35 2026] PHP 8.2.36 Development Server (http://127.0.0.1:1) started", ServerLineKind::Other, ServerLineKind::Other},
        {"[Mon Dec  7 11:48:36 2026] 127.0.0.1:38154 Accepted", ServerLineKind::Other, ServerLineKind::Noise},
        {"[Mon Dec  7 11:48:36 2026] 127.0.0.1:38154 Closing", ServerLineKind::Request, ServerLineKind::Noise},
        {"Directory /x does not exist.", ServerLineKind::Noise, ServerLineKind::Other},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(serverLineKind(QString::fromUtf8(c.line), c.previous), c.kind);
    }
}

TEST(ServerLog, ErrorPlacesAndLintResults)
{
    const struct
    {
        const char *text;
        const char *file;
        int line;
    } places[] = {
        {"PHP Parse error:  syntax error, unexpected \"}\" in /w/my site/a.php on line 12", "/w/my site/a.php", 12},
        {"PHP Fatal error:  Uncaught Exception: boom in /w/ex.php:3", "/w/ex.php", 3},
        {"127.0.0.1:1 [200]: GET /bad.php - syntax error in /w/bad.php on line 2", "/w/bad.php", 2},
        {"127.0.0.1:1 [200]: GET /a.php", "", 0},
    };
    for (const auto &p : places) {
        SCOPED_TRACE(p.text);
        const PhpErrorPlace place = phpErrorPlace(QString::fromUtf8(p.text));
        EXPECT_EQ(place.file, QString::fromUtf8(p.file));
        EXPECT_EQ(place.line, p.line);
    }

    EXPECT_TRUE(lintResult(0, "No syntax errors detected in a.php\n").clean);
    const LintResult parse = lintResult(255, "PHP Parse error:  syntax error, unexpected variable \"$y\" in /w/b.php on line 2\n"
                                             "Errors parsing /w/b.php\n");
    EXPECT_FALSE(parse.clean);
    EXPECT_EQ(parse.line, 2);
    EXPECT_EQ(parse.message, QStringLiteral("syntax error, unexpected variable \"$y\""));
    const LintResult unreadable = lintResult(1, "Could not open input file: /w/none.php\n");
    EXPECT_FALSE(unreadable.clean);
    EXPECT_EQ(unreadable.line, 0);
    EXPECT_EQ(unreadable.message, QStringLiteral("Could not open input file: /w/none.php"));
}

TEST(ServedPaths, PathBelowTheRootWithEncodedSegments)
{
    const struct
    {
        const char *root, *file, *path;
    } cases[] = {
        {"/srv/site", "/srv/site/wp-includes/formatting.php", "wp-includes/formatting.php"},
        {"/srv/site/", "/srv/site/index.php", "index.php"},
        {"/srv/site", "/srv/site/mes pages/été#1?.php", "mes%20pages/%C3%A9t%C3%A9%231%3F.php"},
        {"/srv/site", "/srv/site/../other/a.php", ""},
        {"/srv/site", "/srv/sitex/a.php", ""},
        {"/srv/site", "/srv/site", ""},
        {"/", "/a/b.php", "a/b.php"},
        {"", "/a/b.php", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(servedPath(QString::fromUtf8(c.root), QString::fromUtf8(c.file)), QString::fromUtf8(c.path));
    }
    EXPECT_EQ(serverRoot(QStringLiteral("/srv/site"), QStringLiteral("/srv/site/a/b.php")), QStringLiteral("/srv/site"));
    EXPECT_EQ(serverRoot(QString(), QStringLiteral("/srv/site/a/b.php")), QStringLiteral("/srv/site/a"));
    // A file outside "Racine" is served from its own folder.
    EXPECT_EQ(serverRoot(QStringLiteral("/srv/site"), QStringLiteral("/home/u/b.php")), QStringLiteral("/home/u"));
    EXPECT_EQ(serverRoot(QString(), QStringLiteral("/b.php")), QStringLiteral("/"));
}

TEST(StatusText, OnlyPlainTextReachesTheStatusLine)
{
    const struct
    {
        const char *in, *out;
    } cases[] = {
        {"<strong jscontent=\"hostName\"></strong> a refusé la connexion", "a refusé la connexion"},
        {"$i18n{errorCode} ERR_CONNECTION_REFUSED {{ details }}", "ERR_CONNECTION_REFUSED"},
        {"a &lt;b&gt; &amp; &#233;t&#xE9; &nbsp; c", "a <b> & été c"},
        {"Terminé", "Terminé"},
        {"coupé <span class=", "coupé span class="},
        {"http://127.0.0.1:8000/a.php?x=1&y=2", "http://127.0.0.1:8000/a.php?x=1&y=2"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(plainStatusText(QString::fromUtf8(c.in)), QString::fromUtf8(c.out));
    }
}

bool get(int port, const QByteArray &target, QByteArray *body = nullptr)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    if (!socket.waitForConnected(5000))
        return false;
    socket.write("GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray answer;
    while (socket.waitForReadyRead(5000))
        answer += socket.readAll();
    answer += socket.readAll();
    if (body)
        *body = answer.mid(answer.indexOf("\r\n\r\n") + 4);
    return answer.startsWith("HTTP/1.");
}

TEST(BuiltinServer, ServesTheRootLogsRequestsAndErrorsAndGoesWithItsOwner)
{
    TempFolder site;
    site.write(QStringLiteral("sub/page.php"), "<?php echo 'ok ' . $_GET['a'];");
    site.write(QStringLiteral("bad.php"), "<?php echo 1\n$x = ;\n");
    auto server = std::make_unique<BuiltinServer>();
    QSignalSpy ready(server.get(), &BuiltinServer::ready);
    ASSERT_TRUE(server->start(site.path({})));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->isReady(); }, 15000));
    EXPECT_EQ(ready.count(), 1);
    EXPECT_GE(server->port(), 1024);
    EXPECT_LT(server->port(), 32768);

    QByteArray body;
    ASSERT_TRUE(get(server->port(), "/sub/page.php?a=1", &body));
    EXPECT_EQ(body, QByteArray("ok 1"));
    ASSERT_TRUE(get(server->port(), "/bad.php", &body));
    EXPECT_TRUE(body.contains("Parse error")); // shown in the page
    auto logged = [&](ServerLineKind kind, const QString &part) {
        return QTest::qWaitFor([&] {
            for (const auto &line : server->log())
                if (line.kind == kind && line.text.contains(part))
                    return true;
            return false;
        }, 5000);
    };
    EXPECT_TRUE(logged(ServerLineKind::Request, QStringLiteral("GET /sub/page.php?a=1")));
    EXPECT_TRUE(logged(ServerLineKind::Error, QStringLiteral("PHP Parse error:")));

    // The same root: nothing restarts. Another root: a new php on the same port.
    const qint64 first = server->processId();
    ASSERT_TRUE(server->start(site.path({})));
    EXPECT_EQ(server->processId(), first);
    const int port = server->port();
    ASSERT_TRUE(server->start(site.path(QStringLiteral("sub"))));
    EXPECT_FALSE(processAlive(first));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server->isReady(); }, 15000));
    EXPECT_EQ(server->port(), port);
    ASSERT_TRUE(get(server->port(), "/page.php?a=2", &body));
    EXPECT_EQ(body, QByteArray("ok 2"));

    const qint64 pid = server->processId();
    EXPECT_EQ(::getpgid(pid_t(pid)), pid_t(pid)); // a process group of its own
    server.reset();
    EXPECT_FALSE(processAlive(pid));
}

TEST(BuiltinServer, APageSavedRightAfterItWasServedIsServedNew)
{
    TempFolder site;
    const QString page = site.path(QStringLiteral("p.php"));
    auto writeDated = [&](const QByteArray &text, const QDateTime &when) {
        site.write(QStringLiteral("p.tmp"), text);
        QFile file(site.path(QStringLiteral("p.tmp")));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(when, QFileDevice::FileModificationTime));
        file.close();
        QFile::remove(page);
        ASSERT_TRUE(QFile::rename(site.path(QStringLiteral("p.tmp")), page)); // as a safe save replaces it
    };
    // Old enough for PHP to keep it compiled.
    writeDated("<?php echo 'v1';", QDateTime::currentDateTime().addSecs(-10));
    BuiltinServer server;
    ASSERT_TRUE(server.start(site.path({})));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.isReady(); }, 15000));
    QByteArray body;
    ASSERT_TRUE(get(server.port(), "/p.php", &body));
    EXPECT_EQ(body, QByteArray("v1"));
    writeDated("<?php echo 'v2';", QDateTime::currentDateTime());
    ASSERT_TRUE(get(server.port(), "/p.php", &body));
    EXPECT_EQ(body, QByteArray("v2"));
}

TEST(BuiltinServer, KeepsOnlyTheLastThousandLines)
{
    TempFolder site;
    site.write(QStringLiteral("w.php"), "<?php for ($i = 0; $i < 300; ++$i) trigger_error(\"n$i\", E_USER_WARNING);");
    BuiltinServer server;
    ASSERT_TRUE(server.start(site.path({})));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.isReady(); }, 15000));
    for (int i = 0; i < 4; ++i) { // the log is read between requests, as the window's event loop does
        ASSERT_TRUE(get(server.port(), "/w.php"));
        QTest::qWait(50);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.log().back().text.contains(QStringLiteral("GET /w.php")) && server.log().size() == 1000; }, 10000));
    EXPECT_EQ(server.log().front().kind, ServerLineKind::Error); // the start line and the first warnings went
    EXPECT_FALSE(server.log().front().text.contains(QStringLiteral("started")));
}

TEST(BuiltinServer, APortTakenMeanwhileGivesAnotherAndTellsTheNewOrigin)
{
    TempFolder site;
    site.write(QStringLiteral("a.php"), "<?php echo 'a';");
    BuiltinServer server;
    QTcpServer squatter; // takes the port the server picked, as another program might
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, quint16(server.port())));
    const QString taken = server.origin();
    QSignalSpy moved(&server, &BuiltinServer::originChanged);
    ASSERT_TRUE(server.start(site.path({})));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.isReady(); }, 15000));
    ASSERT_EQ(moved.count(), 1);
    EXPECT_EQ(moved[0][0].toString(), taken);
    EXPECT_EQ(moved[0][1].toString(), server.origin());
    EXPECT_NE(server.origin(), taken);
    EXPECT_TRUE(get(server.port(), "/a.php"));
}

TEST(BuiltinServer, AMissingRootFails)
{
    BuiltinServer server;
    QSignalSpy failed(&server, &BuiltinServer::failed);
    ASSERT_TRUE(server.start(QStringLiteral("/nulle/part")));
    ASSERT_TRUE(failed.wait(15000));
    EXPECT_EQ(failed[0][0].toString(),
              QStringLiteral("Le serveur PHP intégré n'a pas démarré : Directory /nulle/part does not exist."));
}

} // namespace

ONDREL_QT_TEST_MAIN
