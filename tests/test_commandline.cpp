// The command line, without a display, and launches of the real program handing
// their files to the running window.
#include "support/qtmain.h"
#include "support/testsupport.h"

#include "app/commandline.h"
#include "app/handover.h"
#include "app/instance.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const QString kHere = QStringLiteral("/ici");

TEST(CommandLine, ArgumentsGiveTheLaunch)
{
    using A = CommandLine::Action;
    struct Case
    {
        QStringList arguments;
        A action;
        bool newInstance;
        QStringList files;
    };
    const QList<Case> cases = {
        {{}, A::Run, false, {}},
        {{"--help"}, A::Help, false, {}},
        {{"-h", "page.php"}, A::Help, false, {}},
        {{"--version"}, A::Version, false, {}},
        {{"-v"}, A::Version, false, {}},
        {{"page.php", "/srv/b.php"}, A::Run, false, {"/ici/page.php", "/srv/b.php"}},
        {{"../site/./a.php"}, A::Run, false, {"/site/a.php"}},
        {{"--nouvelle-instance", "/srv"}, A::Run, true, {"/srv"}},
        {{"file:///srv/mon%20site/a.php"}, A::Run, false, {"/srv/mon site/a.php"}},
        {{"--", "-bizarre.php"}, A::Run, false, {"/ici/-bizarre.php"}},
        // Qt's own options and the web engine's arguments are left to them.
        {{"-platform", "offscreen", "-style=fusion", "-reverse", "a.php"}, A::Run, false, {"/ici/a.php"}},
        {{"a.php", "--webEngineArgs", "--remote-debugging-port=9222"}, A::Run, false, {"/ici/a.php"}},
        {{"--inconnue"}, A::Error, false, {}},
        {{"-x", "a.php"}, A::Error, false, {}},
    };
    for (const Case &c : cases) {
        const CommandLine line = parseCommandLine(QStringList{"ondrel"} + c.arguments, kHere);
        const std::string shown = c.arguments.join(u' ').toStdString();
        EXPECT_EQ(line.action, c.action) << shown;
        EXPECT_EQ(line.newInstance, c.newInstance) << shown;
        EXPECT_EQ(line.files, c.files) << shown;
        EXPECT_EQ(line.error.isEmpty(), c.action != A::Error) << shown;
    }
    EXPECT_EQ(parseCommandLine({"ondrel", "--inconnue"}, kHere).error, QStringLiteral("option inconnue « --inconnue »"));
}

QString readme()
{
    return QString::fromUtf8(readFile(QStringLiteral(ONDREL_README)));
}

TEST(CommandLine, TheManualPageGivesEveryOptionOfTheHelp)
{
    const QString page = manualPage(QStringLiteral("2026-12-07"), readme());
    const QStringList options = {"-h, --help", "-v, --version", "--nouvelle-instance"};
    for (const QString &option : options) {
        EXPECT_TRUE(helpText().contains(option)) << option.toStdString();
        EXPECT_TRUE(page.contains(QString(option).replace(u'-', QStringLiteral("\\-")))) << option.toStdString();
    }
    EXPECT_TRUE(page.startsWith(QStringLiteral(".TH ONDREL 1 \"2026-12-07\"")));
}

TEST(ManualPage, MarkdownCellsBecomeRoff)
{
    const QList<QPair<QString, QString>> cases = {
        {"**F9** (with any modifier)", "\\fBF9\\fR (with any modifier)"},
        {"**Ctrl+F**, **Ctrl+H**", "\\fBCtrl+F\\fR, \\fBCtrl+H\\fR"},
        {"`php -S 127.0.0.1:PORT` on a free port", "\\fBphp \\-S 127.0.0.1:PORT\\fR on a free port"},
        {"**Racine** or `~/.config/ondrel/`", "\\fBRacine\\fR or \\fB~/.config/ondrel/\\fR"},
        {"a back\\slash and a-hyphen", "a back\\eslash and a-hyphen"},
        {".htaccess first", "\\&.htaccess first"},
        {"'quoted", "\\&'quoted"},
        {"**never closed", "\\fBnever closed\\fR"},
        {"`**` stays", "\\fB**\\fR stays"},
    };
    for (const auto &[markdown, roff] : cases)
        EXPECT_EQ(markdownToRoff(markdown), roff) << markdown.toStdString();
}

TEST(ManualPage, TheTableIsTheFirstOneUnderItsHeading)
{
    const QString markdown = QStringLiteral(
        "## A\n\n| k | v |\n|---|---|\n| a1 | in A |\n\n"
        "## B\n\nText before.\n\n| Key | Effect |\n|:--|--:|\n| `a|b` | pipe in code |\n|  **x**  | two |\n\n"
        "| other | table |\n|---|---|\n| no | no |\n\n"
        "### Below B\n\n## C\n\nNo table here.\n\n## D\n\n| d | d |\n|---|---|\n| d1 | in D |\n");
    EXPECT_EQ(markdownTable(markdown, QStringLiteral("## A")), (QList<QStringList>{{"a1", "in A"}}));
    EXPECT_EQ(markdownTable(markdown, QStringLiteral("## B")),
              (QList<QStringList>{{"`a|b`", "pipe in code"}, {"**x**", "two"}}));
    EXPECT_TRUE(markdownTable(markdown, QStringLiteral("## C")).isEmpty()); // not the table of "## D"
    EXPECT_TRUE(markdownTable(markdown, QStringLiteral("## E")).isEmpty());
}

TEST(ManualPage, KeysServerFieldsAndEnvironmentAreTheReadmesTables)
{
    const QString text = readme();
    const QString page = manualPage(QStringLiteral("2026-12-07"), text);
    const QList<QPair<QString, QString>> sections = {
        {"## Keys and mouse", ".SH TOUCHES ET SOURIS\n"},
        {"## Pointing Ondrel at your servers", ".SH \"SERVEUR PHP INTÉGRÉ ET RACINE\"\n"},
        {"## Environment", ".SH ENVIRONNEMENT\n"},
    };
    for (const auto &[heading, section] : sections) {
        const qsizetype at = page.indexOf(section);
        ASSERT_GE(at, 0) << section.toStdString();
        const QString body = page.mid(at, page.indexOf(QStringLiteral("\n.SH "), at + 1) - at);
        const QList<QStringList> rows = markdownTable(text, heading);
        ASSERT_GE(rows.size(), 5) << heading.toStdString();
        for (const QStringList &row : rows) {
            for (const QString &cell : row)
                EXPECT_TRUE(body.contains(markdownToRoff(cell))) << section.toStdString() << cell.toStdString();
        }
    }
    for (const char *shown : {"\\fBF10\\fR", "\\fBCtrl+S\\fR", "\\fBCtrl+G\\fR", "\\fBShift+F3\\fR",
                              "\\fBRacine\\fR", "\\fBMYSQL_TCP_PORT\\fR", "\\fBMYSQL_UNIX_PORT\\fR",
                              "\\fBXDG_CONFIG_HOME\\fR", "\\fBXDG_RUNTIME_DIR\\fR"})
        EXPECT_TRUE(page.contains(QLatin1String(shown))) << shown;
    // A README without one of the tables gives no page, so the build stops.
    QString withoutEnvironment = text;
    withoutEnvironment.replace(QStringLiteral("## Environment"), QStringLiteral("## Environnement"));
    EXPECT_TRUE(manualPage(QStringLiteral("2026-12-07"), withoutEnvironment).isEmpty());
}

TEST(HandOver, MessagesAreReadWholeOrNotAtAll)
{
    const QStringList files = {"/srv/a.php", "/srv/dossier é"};
    const QByteArray message = handOverMessage(files);
    const ReceivedHandOver whole = readHandOverMessage(message);
    EXPECT_EQ(whole.state, ReceivedHandOver::Complete);
    EXPECT_EQ(whole.files, files);
    EXPECT_EQ(readHandOverMessage(handOverMessage({})).state, ReceivedHandOver::Complete);
    for (qsizetype cut : {qsizetype(0), qsizetype(5), qsizetype(14), qsizetype(20), message.size() - 1})
        EXPECT_EQ(readHandOverMessage(message.left(cut)).state, ReceivedHandOver::Incomplete) << cut;
    EXPECT_EQ(readHandOverMessage("GET / HTTP/1.1\r\n").state, ReceivedHandOver::Invalid);
    EXPECT_EQ(readHandOverMessage(QByteArray(2 << 20, 'o')).state, ReceivedHandOver::Invalid);
}

struct Result
{
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QString out, err;
};

/**
 * A copy of the program (executable, window module and preview module) in a folder of
 * its own, so that its side files are written there, with its own runtime folder. The
 * preview module goes too: without it beside the copy, the window would look for it at
 * its installed place and load another build's module, or none.
 */
class Launches : public ::testing::Test
{
protected:
    TempFolder folder;
    QString exe = folder.path(QStringLiteral("ondrel"));
    QString runtime = folder.path(QStringLiteral("run"));

    void SetUp() override
    {
        ASSERT_TRUE(QFile::copy(QStringLiteral(ONDREL_PROGRAM), exe));
        ASSERT_TRUE(QFile::copy(QStringLiteral(ONDREL_WINDOW_MODULE_FILE), folder.path(QStringLiteral("ondrel-fenetre.so"))));
        ASSERT_TRUE(QFile::copy(QStringLiteral(ONDREL_PREVIEW_MODULE_FILE), folder.path(QStringLiteral("ondrel-apercu.so"))));
        ASSERT_TRUE(QDir().mkpath(runtime));
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    QProcessEnvironment environment(bool display) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        if (display)
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        return env;
    }

    void start(QProcess &process, const QStringList &arguments) const
    {
        process.setProcessEnvironment(environment(true));
        process.setWorkingDirectory(folder.path(QString()));
        process.start(exe, arguments);
        ASSERT_TRUE(process.waitForStarted(30000));
    }

    Result run(const QStringList &arguments, bool display = true, int ms = 30000) const
    {
        QProcess process;
        process.setProcessEnvironment(environment(display));
        process.setWorkingDirectory(folder.path(QString()));
        process.start(exe, arguments);
        Result result;
        if (!process.waitForFinished(ms)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.exitCode = process.exitCode();
        result.exitStatus = process.exitStatus();
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    /** Waits until a window of this copy serves its socket. */
    bool serving() const
    {
        return QTest::qWaitFor([this] {
            const QStringList sockets = QDir(runtime).entryList({QStringLiteral("ondrel-*.sock")}, QDir::System);
            return sockets.size() == 1 && windowListens(QDir(runtime).filePath(sockets.first()));
        }, 60000);
    }

    /** SIGTERM, then the exit status of a normal end (-1 when it does not end normally within a minute). */
    static int stop(QProcess &process)
    {
        ::kill(pid_t(process.processId()), SIGTERM);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        return process.exitCode();
    }

    QString storedFile() const
    {
        return QString::fromUtf8(folder.read(QStringLiteral("ondrel.ini"))).section(QStringLiteral("Fichier="), 1).section(u'\r', 0, 0);
    }
};

TEST_F(Launches, HelpVersionAndMistakesAreAnsweredWithoutADisplay)
{
    struct Case
    {
        QStringList arguments;
        int exitCode;
        QString out;
        QString errStart;
    };
    const QList<Case> cases = {
        {{"--help"}, 0, helpText(), {}},
        {{"-h", "--nouvelle-instance"}, 0, helpText(), {}},
        {{"--version"}, 0, QStringLiteral("ondrel 2.1\n") + licenceLine() + u'\n', {}},
        {{"--inconnue", "a.php"}, 2, {}, QStringLiteral("ondrel : option inconnue « --inconnue »\nEssayez « ondrel --help »")},
    };
    for (const Case &c : cases) {
        const Result r = run(c.arguments, false);
        const std::string shown = c.arguments.join(u' ').toStdString();
        EXPECT_EQ(r.exitStatus, QProcess::NormalExit) << shown;
        EXPECT_EQ(r.exitCode, c.exitCode) << shown << r.err.toStdString();
        EXPECT_EQ(r.out, c.out) << shown;
        EXPECT_TRUE(r.err.startsWith(c.errStart)) << shown << r.err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(folder.path(QStringLiteral("ondrel.ini")))); // no window was opened
}

TEST_F(Launches, ASecondLaunchHandsItsFileToTheRunningWindow)
{
    const QString page = folder.write(QStringLiteral("site/page.php"), "<?php echo 1;\n");
    QProcess first;
    start(first, {});
    ASSERT_TRUE(serving());

    const Result second = run({QStringLiteral("site/page.php")}); // relative to the second launch's folder
    EXPECT_EQ(second.exitStatus, QProcess::NormalExit);
    EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);

    EXPECT_EQ(stop(first), 0) << first.readAllStandardError().toStdString();
    EXPECT_EQ(storedFile(), page);
    EXPECT_TRUE(folder.read(QStringLiteral("ondrel.ini")).contains("InitialDir=" + QFile::encodeName(folder.path("site")) + "\r\n"));
}

TEST_F(Launches, ThePageBesideTheEditorShowsWithoutOpenGL)
{
    // The copy as installed, its preview module beside it, headless with no display:
    // the web engine gets no OpenGL context. Kept from the last run, the page beside
    // the editor is loaded after the first paint, through the module loaded then; the
    // engine draws without the GPU and the program ends normally. The page itself
    // tells that it was asked for.
    const QString page = folder.write(QStringLiteral("site/page.php"),
                                      "<?php file_put_contents(__DIR__ . '/vue', 'oui'); echo 'Bonjour';\n");
    folder.write(QStringLiteral("ondrel.ini"), "[Params]\r\nApercuACote=1\r\nServeurIntegre=1\r\n");
    QProcess window;
    start(window, {page});
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(folder.path(QStringLiteral("site/vue"))); }, 60000))
        << window.readAllStandardError().toStdString();
    ASSERT_EQ(window.state(), QProcess::Running) << window.readAllStandardError().toStdString();
    EXPECT_EQ(stop(window), 0) << window.readAllStandardError().toStdString();
}

TEST_F(Launches, AWindowThatWasKilledLeavesNoObstacle)
{
    QProcess killed;
    start(killed, {});
    ASSERT_TRUE(serving());
    killed.kill(); // its socket file stays behind
    killed.waitForFinished();

    const QString page = folder.write(QStringLiteral("page.php"), "<?php\n");
    QProcess next;
    start(next, {page}); // finds nobody listening, so opens its own window
    ASSERT_TRUE(serving());
    const Result handedOver = run({}); // comes to the front
    EXPECT_EQ(next.state(), QProcess::Running);
    EXPECT_EQ(handedOver.exitCode, 0);
    EXPECT_EQ(stop(next), 0);
    EXPECT_EQ(storedFile(), page);
}

TEST_F(Launches, SideFilesThatCannotBeWrittenAtTheEndGiveStatus1AndAMessage)
{
    ASSERT_TRUE(QDir().mkpath(folder.path(QStringLiteral("ondrel.ini")))); // a folder where the settings go
    QProcess window;
    start(window, {});
    ASSERT_TRUE(serving());
    EXPECT_EQ(stop(window), 1);
    const QString err = QString::fromUtf8(window.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("ondrel : Impossible d'écrire dans ") + folder.path(QStringLiteral("ondrel.ini"))))
        << err.toStdString();
}

/** A client of the instance socket that sends `bytes` and then holds its end open. */
struct RawClient
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    RawClient(const QString &path, const QByteArray &bytes)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(path);
        std::copy(native.cbegin(), native.cend(), address.sun_path);
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
            (void)::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
    }
    ~RawClient() { ::close(fd); }
    /** Whether the window closed this connection (end of file or reset). */
    bool dropped() const
    {
        char byte;
        const ssize_t n = ::recv(fd, &byte, 1, MSG_DONTWAIT);
        return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    }
};

/** A hand-over as a later launch makes it, on a thread of its own while this one runs the event loop. */
HandOver handOverMeanwhile(const QString &path, const QStringList &files)
{
    std::atomic<bool> done = false;
    HandOver result = HandOver::NoWindow;
    std::thread launch([&] {
        result = handOverToWindow(path, files, kHandOverAnswerMs);
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 2 * kHandOverAnswerMs)); // the answer has its own time-out
    launch.join();
    return result;
}

TEST(InstanceSocket, AFloodOfHalfMessagesIsDroppedAndHandOversStillArrive)
{
    TempFolder run;
    const QString path = run.path(QStringLiteral("ondrel-test.sock"));
    InstanceServer server(path);
    server.serve();
    ASSERT_TRUE(server.isServing());
    QSignalSpy handed(&server, &InstanceServer::filesHandedOver);
    // Before deliver() (the window is still being made): answered at once, kept for later.
    EXPECT_EQ(handOverMeanwhile(path, {QStringLiteral("/w/avant.php")}), HandOver::HandedOver);
    EXPECT_EQ(handed.count(), 0);
    server.deliver();
    ASSERT_TRUE(QTest::qWaitFor([&] { return handed.count() == 1; }, 5000));
    EXPECT_EQ(handed[0][0].toStringList(), QStringList{QStringLiteral("/w/avant.php")});

    const QByteArray half = handOverMessage({QStringLiteral("/w/moitié.php")}).left(10);
    std::vector<std::unique_ptr<RawClient>> flood;
    for (int i = 0; i < 300; ++i) {
        flood.push_back(std::make_unique<RawClient>(path, half));
        if (i % 50 == 0)
            QTest::qWait(10);
    }
    QTest::qWait(100);
    EXPECT_LE(server.clientCount(), InstanceServer::kMaxClients);
    // A launch in the middle of the flood still hands its file over.
    EXPECT_EQ(handOverMeanwhile(path, {QStringLiteral("/w/pendant.php")}), HandOver::HandedOver);
    ASSERT_TRUE(QTest::qWaitFor([&] { return handed.count() == 2; }, 5000));
    EXPECT_EQ(handed[1][0].toStringList(), QStringList{QStringLiteral("/w/pendant.php")});
    // None of the half messages is held past its second, and none made a hand-over.
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return server.clientCount() == 0
            && std::all_of(flood.begin(), flood.end(), [](const auto &client) { return client->dropped(); });
    }, 5000));
    EXPECT_EQ(handed.count(), 2);
}

TEST(InstanceSocket, OnlyItsOwnOrAStaleSocketFileIsEverRemoved)
{
    TempFolder run;
    // A file that is no socket is left alone, and nothing is served there.
    const QString file = run.write(QStringLiteral("fichier.sock"), "à garder");
    {
        InstanceServer server(file);
        server.serve();
        EXPECT_FALSE(server.isServing());
    }
    EXPECT_EQ(readFile(file), QByteArray("à garder"));

    // A socket left by a window that was killed is replaced.
    const QString path = run.path(QStringLiteral("ondrel-test.sock"));
    {
        RawClient unused(QString(), {});
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(path);
        std::copy(native.cbegin(), native.cend(), address.sun_path);
        ASSERT_EQ(::bind(unused.fd, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    } // closed, its file stays
    auto first = std::make_unique<InstanceServer>(path);
    first->serve();
    ASSERT_TRUE(first->isServing());
    EXPECT_TRUE(windowListens(path));

    // Another window took the path meanwhile (the file was deleted under the first):
    // the first one, ending, leaves the second one's socket in place.
    ASSERT_TRUE(QFile::remove(path));
    InstanceServer second(path);
    second.serve();
    ASSERT_TRUE(second.isServing());
    first.reset();
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_TRUE(windowListens(path));
}

TEST_F(Launches, AStartUpBoxDoesNotKeepASecondLaunchWaiting)
{
    QProcess first;
    start(first, {folder.path(QStringLiteral("absent/page.php"))}); // cannot be opened: an error box stays up
    ASSERT_TRUE(serving());
    const QString page = folder.write(QStringLiteral("page.php"), "<?php echo 1;");
    // Under the box, the hand-over is answered: the second launch ends instead of
    // waiting for the lock (10 s) and opening a second window.
    const Result second = run({page}, true, 8000);
    EXPECT_EQ(second.exitStatus, QProcess::NormalExit);
    EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
    EXPECT_EQ(stop(first), 0);
}

} // namespace

ONDREL_QT_TEST_MAIN
