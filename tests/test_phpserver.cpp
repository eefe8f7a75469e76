// Ondrel's own PHP server and what reads PHP's output: the log lines, error
// places, `php -l`, the URL paths it serves, and the status line's plain text.
#include "support/coremain.h"

#include "preview/phpserver.h"
#include "preview/statustext.h"
#include "files/urlrules.h"
#include "support/phpserver.h"
#include "support/privilege.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

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
        {"[Mon Dec  7 11:48:36 2026] PHP   1. {main}() /a.php:0", ServerLineKind::Error, ServerLineKind::Error},
        {"[Mon Dec  7 11:48:36 2026] PHP   1. {main}() /a.php:0", ServerLineKind::Request, ServerLineKind::Other},
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

TEST(ServedPaths, APinnedPageIsServedWithTheFileEditedFromTheFolderHoldingBoth)
{
    const struct
    {
        const char *racine, *page, *edited, *root;
        bool covers;
    } cases[] = {
        {"", "/srv/site/index.php", "/srv/site/inc/db.php", "/srv/site", true},
        {"", "/srv/site/pages/a.php", "/srv/site/inc/db.php", "/srv/site", true},
        {"", "/srv/site/pages/a.php", "/srv/sitex/db.php", "/srv", true},         // "sitex" is not "site/"
        {"", "/srv/site/index.php", "/etc/passwd", "/", false},                   // nothing but "/" in common
        {"", "/home/u/a/index.php", "/home/u/b/db.php", "/home/u", false},        // nothing but home in common
        {"/home/u", "/home/u/a/index.php", "/home/u/b/db.php", "/home/u", true},  // unless "Racine" says so
        {"/srv/site", "/srv/site/pages/a.php", "/srv/site/inc/db.php", "/srv/site", true},
        {"/srv/site/pages", "/srv/site/pages/a.php", "/srv/site/inc/db.php", "/srv/site", true},
        {"", "/srv/site/index.php", "", "/srv/site", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.page) + " / " + c.edited + " / " + c.racine);
        const QString racine = QString::fromUtf8(c.racine), page = QString::fromUtf8(c.page);
        const QString edited = QString::fromUtf8(c.edited);
        EXPECT_EQ(pinnedPageCovers(racine, page, edited, QStringLiteral("/home/u")), c.covers);
        if (!edited.isEmpty()) {
            EXPECT_EQ(pinnedServerRoot(racine, page, edited), QString::fromUtf8(c.root));
        }
    }
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

TEST(StatusText, AFailedLoadIsToldInFrenchWhateverTheEngineSays)
{
    const QString url = QStringLiteral("http://127.0.0.1:8123/page.php");
    const struct
    {
        LoadErrorDomain domain;
        int code;
        const char *text;
    } cases[] = {
        {LoadErrorDomain::Http, 403, "le serveur a répondu 403 (accès refusé)"},
        {LoadErrorDomain::Http, 404, "le serveur a répondu 404 (page introuvable)"},
        {LoadErrorDomain::Http, 418, "le serveur a répondu 418 (requête refusée)"},
        {LoadErrorDomain::Http, 599, "le serveur a répondu 599 (erreur du serveur)"},
        {LoadErrorDomain::Connection, -324, "réponse vide du serveur"},
        {LoadErrorDomain::Connection, -999, "erreur -999"},
        {LoadErrorDomain::Certificate, -202, "certificat du serveur refusé (erreur -202)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(loadFailureText(c.domain, c.code, url),
                  QStringLiteral("Échec du chargement de %1 : %2").arg(url, QString::fromUtf8(c.text)));
    }
}

TEST(BuiltinServer, TheKeysFolderOfAServerKilledOutrightGoesAtTheNextStart)
{
    TempFolder temp;
    const auto folder = [&](const char *name) { return temp.path(QString::fromLatin1(name)); };
    const auto age = [&](const char *name) {
        const QByteArray path = QFile::encodeName(folder(name));
        const struct timespec old[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
        ::utimensat(AT_FDCWD, path.constData(), old, 0);
    };
    const struct
    {
        const char *name;
        bool lockFile, held, old, kept;
    } cases[] = {
        {"ondrel-apercu-dead", true, false, true, false},
        {"ondrel-apercu-live", true, true, true, true},
        {"ondrel-apercu-nolockold", false, false, true, false},
        {"ondrel-apercu-nolockyoung", false, false, false, true},
        {"autre-dossier", true, false, true, true},
    };
    std::vector<int> held;
    for (const auto &c : cases) {
        ASSERT_TRUE(QDir().mkpath(folder(c.name)));
        writeFile(folder(c.name) + QStringLiteral("/routeur.php"), "<?php // key");
        if (c.lockFile) {
            const int fd = ::open(QFile::encodeName(folder(c.name) + QStringLiteral("/verrou")).constData(), O_RDWR | O_CREAT, 0600);
            ASSERT_GE(fd, 0);
            if (c.held) {
                ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
                held.push_back(fd);
            } else {
                ::close(fd);
            }
        }
        if (c.old)
            age(c.name);
    }
    writeFile(folder("ondrel-apercu-file"), "not a folder");
    EXPECT_EQ(removeLeftRouterFolders(temp.path({})), 2);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(QFileInfo(folder(c.name)).isDir(), c.kept);
    }
    EXPECT_TRUE(QFileInfo(folder("ondrel-apercu-file")).isFile());
    for (int fd : held)
        ::close(fd);

    // A running server's own folder stays through another's start; its end takes it away.
    QString routerFolder;
    {
        BuiltinServer server;
        ASSERT_TRUE(server.start(temp.path({})));
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.isReady(); }, 15000));
        const QStringList ours = QDir::temp().entryList({QStringLiteral("ondrel-apercu-*")}, QDir::Dirs);
        ASSERT_FALSE(ours.isEmpty());
        removeLeftRouterFolders(QDir::tempPath());
        for (const QString &name : ours)
            if (QFileInfo(QDir::temp().filePath(name) + QStringLiteral("/routeur.php")).exists())
                routerFolder = QDir::temp().filePath(name);
        EXPECT_FALSE(routerFolder.isEmpty());
    }
    EXPECT_FALSE(QFileInfo::exists(routerFolder));
}

/**
 * One HTTP/1.0 request to 127.0.0.1:`port` with the extra header lines `headers`
 * ("Name: value\r\n" each); the answer's status code, 0 when none came.
 */
int request(int port, const QByteArray &target, const QByteArray &headers, QByteArray *body = nullptr)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    if (!socket.waitForConnected(5000))
        return 0;
    socket.write("GET " + target + " HTTP/1.0\r\n" + headers + "\r\n");
    QByteArray answer;
    while (socket.waitForReadyRead(5000))
        answer += socket.readAll();
    answer += socket.readAll();
    if (body)
        *body = answer.mid(answer.indexOf("\r\n\r\n") + 4);
    return answer.startsWith("HTTP/1.") ? answer.mid(9, 3).toInt() : 0;
}

/** The headers the preview browser sends to `server`: its Host and its key. */
QByteArray asThePreview(BuiltinServer &server)
{
    return "Host: 127.0.0.1:" + QByteArray::number(server.port()) + "\r\n" + kServerKeyHeader + ": " + server.key()
        + "\r\n";
}

/** A request as the preview browser makes it; whether an answer came. */
bool get(BuiltinServer &server, const QByteArray &target, QByteArray *body = nullptr)
{
    return request(server.port(), target, asThePreview(server), body) != 0;
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
    ASSERT_TRUE(get(*server, "/sub/page.php?a=1", &body));
    EXPECT_EQ(body, QByteArray("ok 1"));
    ASSERT_TRUE(get(*server, "/bad.php", &body));
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
    ASSERT_TRUE(get(*server, "/page.php?a=2", &body));
    EXPECT_EQ(body, QByteArray("ok 2"));

    const qint64 pid = server->processId();
    EXPECT_EQ(::getpgid(pid_t(pid)), pid_t(pid)); // a process group of its own
    server.reset();
    EXPECT_FALSE(processAlive(pid));
}

// php reads its configuration once: after an ini file is added or edited, the next
// start() on the same root restarts it and says why; with nothing changed it stays.
TEST(BuiltinServer, RestartsWhenPhpsConfigurationChanges)
{
    TempFolder site, ini;
    site.write(QStringLiteral("p.php"), "<?php echo ini_get('precision'), ' ', ini_get('memory_limit');");
    ini.write(QStringLiteral("a.ini"), "precision=7\n");
    BuiltinServer server;
    server.setExtraEnvironment(QStringLiteral("PHP_INI_SCAN_DIR"), ini.path({}));
    struct Step
    {
        const char *file; // written before the start; none: nothing changes
        const char *text;
        bool restarts;
        const char *page;
    };
    const Step steps[] = {
        {nullptr, "", true, "7 -1"}, // the first start (the command line has no limit)
        {nullptr, "", false, "7 -1"},
        {"b.ini", "memory_limit=77M\n", true, "7 77M"}, // a file comes into the folder
        {"a.ini", "precision=9\n", true, "9 77M"},      // a file read is edited
    };
    qint64 pid = 0;
    for (const Step &step : steps) {
        SCOPED_TRACE(step.page);
        if (step.file) {
            QTest::qWait(20); // a date that differs from the last write's
            ini.write(QString::fromLatin1(step.file), step.text);
        }
        const auto notes = std::count_if(server.log().begin(), server.log().end(), [](const auto &line) {
            return line.text.contains(QStringLiteral("La configuration de PHP a changé"));
        });
        ASSERT_TRUE(server.start(site.path({})));
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.isReady(); }, 15000));
        EXPECT_EQ(server.processId() != pid, step.restarts);
        pid = server.processId();
        QByteArray body;
        ASSERT_TRUE(get(server, "/p.php", &body));
        EXPECT_EQ(body, QByteArray(step.page));
        const auto after = std::count_if(server.log().begin(), server.log().end(), [](const auto &line) {
            return line.text.contains(QStringLiteral("La configuration de PHP a changé"));
        });
        EXPECT_EQ(after - notes, step.restarts && step.file ? 1 : 0);
    }
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
    ASSERT_TRUE(get(server, "/p.php", &body));
    EXPECT_EQ(body, QByteArray("v1"));
    writeDated("<?php echo 'v2';", QDateTime::currentDateTime());
    ASSERT_TRUE(get(server, "/p.php", &body));
    EXPECT_EQ(body, QByteArray("v2"));
}

TEST(BuiltinServer, TheRouterIsKeptCompiledFromTheFirstRequest)
{
    // Without it, php compiles the router again for each request of the server's
    // first seconds. Asked right after the start, from a page, through the router.
    TempFolder site;
    site.write(QStringLiteral("cache.php"),
               "<?php $s = opcache_get_status(true);\n"
               "foreach (array_keys($s['scripts'] ?? []) as $f) if (basename($f) === 'routeur.php') echo 'kept';");
    BuiltinServer server;
    ASSERT_TRUE(server.start(site.path({})));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.isReady(); }, 15000));
    QByteArray body;
    for (int i = 0; i < 3; ++i) // a worker compiles it at its first request; four workers
        ASSERT_TRUE(get(server, "/cache.php", &body));
    EXPECT_EQ(body, QByteArray("kept"));
}

TEST(BuiltinServer, KeepsOnlyTheLastThousandLines)
{
    TempFolder site;
    site.write(QStringLiteral("w.php"), "<?php for ($i = 0; $i < 300; ++$i) trigger_error(\"n$i\", E_USER_WARNING);");
    BuiltinServer server;
    ASSERT_TRUE(server.start(site.path({})));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.isReady(); }, 15000));
    for (int i = 0; i < 4; ++i) { // the log is read between requests, as the window's event loop does
        ASSERT_TRUE(get(server, "/w.php"));
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
    EXPECT_TRUE(get(server, "/a.php"));
}

TEST(BuiltinServer, ASleepingPageDoesNotHoldUpTheOthersAndWorkersLogAsOne)
{
    EXPECT_EQ(withoutWorkerPrefix(QStringLiteral("[4242] [Mon Dec  7 20:51:50 2026] 127.0.0.1:1 [200]: GET /a.php")),
              QStringLiteral("[Mon Dec  7 20:51:50 2026] 127.0.0.1:1 [200]: GET /a.php"));
    EXPECT_EQ(withoutWorkerPrefix(QStringLiteral("[4242] no date")), QStringLiteral("[4242] no date"));
    TempFolder site;
    site.write(QStringLiteral("sleep.php"), "<?php sleep(3); echo 'awake';");
    site.write(QStringLiteral("warn.php"), "<?php\necho $undefined;\n");
    BuiltinServer server;
    ASSERT_TRUE(server.start(site.path({})));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.isReady(); }, 15000));
    QTcpSocket sleeper;
    sleeper.connectToHost(QStringLiteral("127.0.0.1"), quint16(server.port()));
    ASSERT_TRUE(sleeper.waitForConnected(5000));
    sleeper.write("GET /sleep.php HTTP/1.0\r\n" + asThePreview(server) + "\r\n");
    ASSERT_TRUE(sleeper.waitForBytesWritten(5000));
    QByteArray body;
    ASSERT_TRUE(get(server, "/warn.php", &body)); // answered while the other page sleeps
    EXPECT_EQ(sleeper.bytesAvailable(), 0);
    EXPECT_EQ(sleeper.state(), QAbstractSocket::ConnectedState);
    // Several workers write the log: each line is read as one server's would be.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        for (const auto &line : server.log())
            if (line.kind == ServerLineKind::Error && phpErrorPlace(line.text).line == 2)
                return phpErrorPlace(line.text).file.endsWith(QLatin1String("warn.php"));
        return false;
    }, 5000));
    int starts = 0;
    for (const auto &line : server.log()) {
        starts += line.text.contains(QLatin1String(") started"));
        EXPECT_FALSE(line.text.startsWith(QLatin1String("[") ) && line.text.at(1).isDigit() && line.text.contains(QLatin1String("] [")))
            << line.text.toStdString();
    }
    EXPECT_EQ(starts, 1);
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

/** `argv` run as another account (nobody), as a stranger on the same machine would; its standard output. */
QByteArray asStranger(const QStringList &argv, int *exitCode = nullptr)
{
    const QStringList command = asNobody(argv);
    QProcess process;
    process.start(command.first(), command.mid(1));
    process.waitForFinished(20000);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}

TEST(BuiltinServer, AnswersOnlyThePreviewsKeyHostAndVisiblePaths)
{
    TempFolder site;
    site.write(QStringLiteral("x.txt"), "visible");
    site.write(QStringLiteral("sub/page.php"), "<?php echo 'page ', $_GET['q'] ?? '';");
    site.write(QStringLiteral(".ssh/id_ed25519"), "CLE PRIVEE");
    site.write(QStringLiteral(".config/ondrel/ondrel.ini"), "MotDePasse=secret");
    site.write(QStringLiteral("sub/.env"), "DB_PASSWORD=x");
    site.write(QStringLiteral("sub/.git/config"), "[core]");
    BuiltinServer server;
    ASSERT_TRUE(server.start(site.path({})));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.isReady(); }, 15000));
    const QByteArray port = QByteArray::number(server.port());
    const QByteArray key = QByteArray(kServerKeyHeader) + ": " + server.key() + "\r\n";
    const QByteArray host = "Host: 127.0.0.1:" + port + "\r\n";
    const struct
    {
        const char *what;
        QByteArray target, headers;
        int status;
        const char *body;
    } cases[] = {
        {"the preview", "/x.txt", host + key, 200, "visible"},
        {"a page with its query", "/sub/page.php?q=1", host + key, 200, "page 1"},
        {"localhost", "/x.txt", "Host: localhost:" + port + "\r\n" + key, 200, "visible"},
        {"no key", "/x.txt", host, 403, "ne répond qu'au navigateur intégré"},
        {"a wrong key", "/x.txt", host + kServerKeyHeader + ": " + QByteArray(64, 'a') + "\r\n", 403, "Accès refusé"},
        {"a key cut short", "/x.txt", host + kServerKeyHeader + ": " + server.key().left(63) + "\r\n", 403, "Accès refusé"},
        {"a rebinding name", "/x.txt", "Host: rebind.attacker.example:" + port + "\r\n" + key, 403, "Nom d'hôte refusé"},
        {"another port", "/x.txt", "Host: 127.0.0.1:80\r\n" + key, 403, "Nom d'hôte refusé"},
        {"no Host", "/x.txt", key, 403, "Nom d'hôte refusé"},
        {"a hidden folder", "/.ssh/id_ed25519", host + key, 403, "cachés"},
        {"settings below home", "/.config/ondrel/ondrel.ini", host + key, 403, "cachés"},
        {"a hidden file in a folder", "/sub/.env", host + key, 403, "cachés"},
        {"an encoded dot", "/%2essh/id_ed25519", host + key, 403, "cachés"},
        {"an encoded dot, upper case", "/%2Essh/id_ed25519", host + key, 403, "cachés"},
        {"an encoded escape", "/%252essh/id_ed25519", host + key, 403, "cachés"},
        {"an encoded slash", "/sub%2f.git%2fconfig", host + key, 403, "cachés"},
        {"a parent segment", "/sub/../.ssh/id_ed25519", host + key, 403, "cachés"},
        {"path info", "/sub/page.php/.ssh/id_ed25519", host + key, 403, "cachés"},
        {"a NUL byte", "/x.txt%00.php", host + key, 403, "cachés"},
        {"a dot in the query only", "/sub/page.php?q=.ssh", host + key, 200, "page .ssh"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QByteArray body;
        EXPECT_EQ(request(server.port(), c.target, c.headers, &body), c.status);
        EXPECT_TRUE(body.contains(c.body)) << body.toStdString();
        EXPECT_FALSE(body.contains("PRIVEE") || body.contains("secret") || body.contains("PASSWORD"));
    }

    // Another account on the machine: no key to send, and none to read where php keeps it.
    // Without a way to become another account, the file's and its folder's modes say the same.
    const bool stranger = canSwitchAccounts();
    int status = -1;
    if (stranger) {
        const QByteArray url = "http://127.0.0.1:" + port;
        EXPECT_EQ(asStranger({QStringLiteral("curl"), QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                              QStringLiteral("-w"), QStringLiteral("%{http_code}"), QString::fromUtf8(url + "/x.txt")},
                             &status),
                  QByteArray("403"));
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { // the refusal is in the log ("Journal du serveur")
            return std::any_of(server.log().begin(), server.log().end(), [](const BuiltinServer::LogLine &line) {
                return line.kind == ServerLineKind::Request && line.text.contains(QStringLiteral("[403]: GET /x.txt - Ce serveur"));
            });
        }, 5000));
    }
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(server.processId()));
    ASSERT_TRUE(cmdline.open(QIODevice::ReadOnly));
    const QList<QByteArray> argv = cmdline.readAll().split('\0');
    EXPECT_FALSE(argv.join(' ').contains(server.key()));
    const QByteArray router = argv.value(argv.size() - 2); // the last argument, before the final NUL
    ASSERT_TRUE(router.endsWith("routeur.php")) << argv.join(' ').toStdString();
    ASSERT_TRUE(readFile(QString::fromUtf8(router)).contains(server.key()));
    if (stranger) {
        EXPECT_EQ(asStranger({QStringLiteral("cat"), QString::fromUtf8(router)}, &status), QByteArray());
        EXPECT_NE(status, 0);
    } else {
        const QFileInfo file(QString::fromUtf8(router)), folder(file.absolutePath());
        EXPECT_EQ(file.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        EXPECT_EQ(folder.permissions() & (QFile::ExeGroup | QFile::ExeOther | QFile::ReadGroup | QFile::ReadOther),
                  QFile::Permissions());
        EXPECT_EQ(file.ownerId(), ::getuid());
        std::printf("%s\n", notedSkip("another account asking the server and reading its router: neither root nor sudo -n; the router's modes checked instead").c_str());
    }

    // A new start makes a new key: the old one opens nothing.
    const QByteArray oldKey = key;
    ASSERT_TRUE(server.start(site.path(QStringLiteral("sub"))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.isReady(); }, 15000));
    EXPECT_EQ(request(server.port(), "/page.php", host + oldKey), 403);
    EXPECT_EQ(request(server.port(), "/page.php", asThePreview(server)), 200);
}

TEST(BuiltinServer, PagesSeeTheRequestAsWithoutTheRouterButNotTheKey)
{
    TempFolder site;
    site.write(QStringLiteral("sub/info.php"),
               "<?php foreach (['SCRIPT_NAME', 'SCRIPT_FILENAME', 'PHP_SELF', 'PATH_INFO', 'REQUEST_URI', "
               "'QUERY_STRING', 'DOCUMENT_ROOT', 'REQUEST_METHOD'] as $k) echo $k, '=', $_SERVER[$k] ?? '-', \"\\n\";\n"
               "echo 'key=', json_encode(array_values(array_filter(array_keys($_SERVER), fn($k) => stripos($k, 'JETON') !== false))), \"\\n\";\n"
               "echo 'globals=', implode(',', array_filter(array_keys($GLOBALS), fn($k) => stripos($k, 'ondrel') !== false));");
    site.write(QStringLiteral("sub/index.html"), "<p>index</p>");
    site.write(QStringLiteral("sub/headers.php"),
               "<?php echo json_encode(getallheaders()), \"\\n\", json_encode(apache_request_headers());");
    BuiltinServer server;
    ASSERT_TRUE(server.start(site.path({})));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.isReady(); }, 15000));
    PhpServer plain(site.path({})); // php -S as it serves without Ondrel's router
    for (const QByteArray &target : {QByteArray("/sub/info.php/plus/loin?a=1&b=%C3%A9"), QByteArray("/sub/info.php"),
                                    QByteArray("/sub/"), QByteArray("/sub/rien.php")}) {
        SCOPED_TRACE(target.toStdString());
        QByteArray routed, direct;
        const int status = request(server.port(), target, asThePreview(server), &routed);
        EXPECT_EQ(status, request(plain.port(), target, "Host: 127.0.0.1\r\n", &direct));
        EXPECT_EQ(routed, direct);
    }
    // The headers as getallheaders() and apache_request_headers() give them: all but the key's.
    QByteArray headers;
    ASSERT_EQ(request(server.port(), "/sub/headers.php", asThePreview(server) + "X-Autre: valeur\r\n", &headers), 200);
    for (const QByteArray &line : headers.split('\n')) {
        SCOPED_TRACE(line.toStdString());
        EXPECT_TRUE(line.contains("\"X-Autre\":\"valeur\"") && line.contains("\"Host\":\"127.0.0.1:"));
        EXPECT_FALSE(line.toLower().contains("jeton") || line.contains(server.key()));
    }
    QByteArray body;
    ASSERT_EQ(request(server.port(), "/sub/info.php", asThePreview(server), &body), 200);
    EXPECT_TRUE(body.contains("SCRIPT_NAME=/sub/info.php\n")) << body.toStdString();
    EXPECT_TRUE(body.contains("key=[]\n")) << body.toStdString();
    EXPECT_TRUE(body.endsWith("globals=")) << body.toStdString();
    EXPECT_FALSE(body.contains(server.key()));
}

} // namespace

ONDREL_CORE_TEST_MAIN
