// Ondrel's own MariaDB server, run for real: made at first use, reached only
// through its socket, shared between windows, restarted after a crash.
#include "db/builtindatabase.h"
#include "db/sqldump.h"
#include "support/coremain.h"
#include "support/privilege.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

namespace {

/** Runs a program; its exit code, with stdout and stderr in `output`. */
int run(const QString &program, const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForFinished(60000);
    if (output)
        *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QStringList clientArguments(const QString &socket, const QString &sql)
{
    return {QStringLiteral("--no-defaults"), QStringLiteral("--batch"), QStringLiteral("--skip-column-names"),
            QStringLiteral("--socket=") + socket, QStringLiteral("-uroot"), QStringLiteral("-e"), sql};
}

/** Runs SQL as root through the socket; its output, or "error: …" when the client failed. */
QByteArray sqlThrough(const QString &socket, const QString &sql)
{
    QByteArray output;
    const int code = run(QStringLiteral("mariadb"), clientArguments(socket, sql), &output);
    return code == 0 ? output.trimmed() : "error: " + output.trimmed();
}

/** Waits for the outcome of a start: true when ready() came, with the created database in `created`. */
bool waitReady(BuiltinDatabase &db, QString *created = nullptr, QString *failure = nullptr)
{
    QSignalSpy ready(&db, &BuiltinDatabase::ready);
    QSignalSpy failed(&db, &BuiltinDatabase::failed);
    if (db.isReady())
        return true;
    if (!QTest::qWaitFor([&] { return !ready.isEmpty() || !failed.isEmpty(); }, 120000))
        return false;
    if (created && !ready.isEmpty())
        *created = ready.first().first().toString();
    if (failure && !failed.isEmpty())
        *failure = failed.first().first().toString();
    return !ready.isEmpty();
}

/**
 * One data folder made for the whole program (a first use takes seconds), in a
 * folder other accounts may enter, so that only the runtime folder's own mode
 * keeps them from the socket.
 */
class BuiltinDatabaseTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        root = new QTemporaryDir;
        ::chmod(QFile::encodeName(root->path()).constData(), 0755);
    }
    static void TearDownTestSuite()
    {
        delete root;
        root = nullptr;
    }
    static BuiltinDatabasePaths shared()
    {
        return BuiltinDatabasePaths::under(root->filePath(QStringLiteral("data/ondrel/mariadb")),
                                           root->filePath(QStringLiteral("run/ondrel")));
    }
    static QTemporaryDir *root;
};
QTemporaryDir *BuiltinDatabaseTest::root = nullptr;

} // namespace

TEST(BuiltinDatabaseNames, FirstDatabaseIsNamedAfterTheSiteFolder)
{
    const struct
    {
        const char *folder;
        const char *name;
    } cases[] = {
        {"/home/anne/www/boutique", "boutique"},
        {"/home/anne/www/boutique/", "boutique"},
        {"/home/anne/mon site-2", "mon_site_2"},
        {"/srv/Café Crème", "Cafe_Creme"},
        {"/srv/a`b'c;d", "a_b_c_d"}, // nothing that could end a quoted name in SQL
        {"/srv/2024", "site"},
        {"/srv/---", "site"},
        {"/", "site"},
        {"", "site"},
        {"/srv/日本", "site"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(firstDatabaseName(QString::fromUtf8(c.folder)), QString::fromUtf8(c.name)) << c.folder;
    EXPECT_EQ(firstDatabaseName(QStringLiteral("/srv/") + QString(80, u'x')).size(), 64);
}

TEST(BuiltinDatabaseNames, OnlyANewerSeriesMakesTheDataFolderNewer)
{
    const struct
    {
        const char *data;
        const char *server;
        bool newer;
    } cases[] = {
        {"10.11.19-MariaDB", "mariadbd  Ver 10.11.19-MariaDB-0+deb12u1 for debian-linux-gnu", false},
        {"10.11.20-MariaDB", "mariadbd  Ver 10.11.19-MariaDB-0+deb12u1", false}, // same series
        {"10.6.4-MariaDB", "mariadbd  Ver 10.11.19-MariaDB", false},
        {"11.4.2-MariaDB", "mariadbd  Ver 10.11.19-MariaDB", true},
        {"10.12.0-MariaDB", "mariadbd  Ver 10.11.19-MariaDB", true},
        {"", "mariadbd  Ver 10.11.19-MariaDB", false},
        {"11.4.2-MariaDB", "garbage", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(dataFolderIsNewer(QString::fromUtf8(c.data), QString::fromUtf8(c.server)), c.newer) << c.data;
}

TEST(SqlDump, TheFirstErrorOfAnImportKeepsItsLine)
{
    const struct
    {
        const char *output;
        int line;
        const char *message;
    } cases[] = {
        {"ERROR 1064 (42000) at line 3: You have an error in your SQL syntax; check the manual near 'TABLE' at line 1\n",
         3, "You have an error in your SQL syntax; check the manual near 'TABLE' at line 1"},
        {"ERROR 1146 (42S02) at line 12 in file: 'a.sql': Table 'site.t' doesn't exist", 12, "Table 'site.t' doesn't exist"},
        {"mariadb: Deprecated program name.\nERROR 1062 (23000) at line 7: Duplicate entry '1'", 7, "Duplicate entry '1'"},
        {"ERROR 2002 (HY000): Can't connect to local server through socket '/x' (2)", 0,
         "ERROR 2002 (HY000): Can't connect to local server through socket '/x' (2)"},
    };
    for (const auto &c : cases) {
        const ImportError error = importError(c.output);
        EXPECT_EQ(error.line, c.line) << c.output;
        EXPECT_EQ(error.message, QString::fromUtf8(c.message)) << c.output;
    }
}

TEST(SqlDump, TheOptionFileKeepsAnyPasswordWhole)
{
    const struct
    {
        const char *password;
        const char *line;
    } cases[] = {
        {"", "password=\"\"\n"},
        {"s3cret#x", "password=\"s3cret#x\"\n"},          // a "#" inside quotes is no comment
        {"a\\b", "password=\"a\\\\b\"\n"},              // a backslash is escaped
        {"dit \"oui\"", "password='dit \"oui\"'\n"},      // double quotes inside single ones
        {"l1\nl2", "password=\"l1l2\"\n"},                // no line break can end the option early
    };
    for (const auto &c : cases) {
        const QByteArray file = clientOptionFile({QStringLiteral("localhost"), {}, QStringLiteral("root"),
                                                  QString::fromUtf8(c.password), {}});
        EXPECT_TRUE(file.contains(c.line)) << file.constData();
        EXPECT_FALSE(file.contains("host=")) << file.constData(); // localhost is the socket
    }
}

TEST(SqlDump, TheOptionFileAsksForTheConsolesTlsOverTcpOnly)
{
    const struct
    {
        const char *host;
        unsigned port;
        const char *socket;
        TlsMode tls;
        const char *ca;
        const char *expected; // the lines after the connection's, before the character set
    } cases[] = {
        {"db.exemple", 0, "", TlsMode::None, "", ""},
        {"db.exemple", 0, "", TlsMode::Preferred, "", "ssl\n"},
        {"db.exemple", 0, "", TlsMode::Required, "/ca.pem", "ssl\n"},
        {"db.exemple", 0, "", TlsMode::Verified, "", "ssl\nssl-verify-server-cert\n"},
        {"db.exemple", 0, "", TlsMode::Verified, "/etc/mon ca.pem", "ssl\nssl-verify-server-cert\nssl-ca=\"/etc/mon ca.pem\"\n"},
        {"localhost", 3307, "", TlsMode::Required, "", "ssl\n"},
        {"localhost", 0, "", TlsMode::Verified, "/ca.pem", ""},           // the socket: never TLS
        {"localhost", 0, "/run/o.sock", TlsMode::Required, "", ""},
    };
    for (const auto &c : cases) {
        const ClientAccess access{QString::fromUtf8(c.host), QString::fromUtf8(c.socket), QStringLiteral("root"), {}, {},
                                  c.port, c.tls, QString::fromUtf8(c.ca)};
        const QByteArray file = clientOptionFile(access);
        const qsizetype end = file.indexOf("default-character-set=");
        const qsizetype start = file.indexOf("ssl");
        const QByteArray tls = start < 0 || start > end ? QByteArray() : file.mid(start, end - start);
        EXPECT_EQ(tls, QByteArray(c.expected)) << c.host << ':' << c.port << '\n' << file.constData();
    }
}

TEST_F(BuiltinDatabaseTest, FirstUseMakesTheDataFolderAndItsFirstDatabaseWithNoTcpPort)
{
    BuiltinDatabase db(shared());
    ASSERT_TRUE(db.start(QStringLiteral("/home/anne/Mon Site")));
    QString created, failure;
    ASSERT_TRUE(waitReady(db, &created, &failure)) << failure.toStdString();
    EXPECT_EQ(created, QStringLiteral("Mon_Site"));
    EXPECT_FALSE(db.shared());
    EXPECT_FALSE(QFileInfo::exists(shared().dataFolder + QStringLiteral(".installation")));
    struct stat info;
    ASSERT_EQ(::stat(QFile::encodeName(shared().runtimeFolder).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    EXPECT_EQ(sqlThrough(db.paths().socket, QStringLiteral("SHOW DATABASES LIKE 'Mon_Site'")), "Mon_Site");
    // Only root of the socket remains: none reachable over TCP with an empty password.
    EXPECT_EQ(sqlThrough(db.paths().socket, QStringLiteral("SELECT GROUP_CONCAT(Host) FROM mysql.global_priv WHERE User='root'")),
              "localhost");
    QByteArray listening;
    ASSERT_EQ(run(QStringLiteral("ss"), {QStringLiteral("-ltnpH")}, &listening), 0);
    EXPECT_FALSE(listening.contains(QStringLiteral("pid=%1,").arg(db.processId()).toUtf8())) << listening.constData();

    db.stop();
    EXPECT_FALSE(db.socketAnswers());
    EXPECT_EQ(db.processId(), 0);
}

TEST_F(BuiltinDatabaseTest, AnotherWindowUsesTheRunningServerAndAStrangerIsRefused)
{
    BuiltinDatabase first(shared());
    ASSERT_TRUE(first.start());
    ASSERT_TRUE(waitReady(first));
    BuiltinDatabase second(shared());
    ASSERT_TRUE(second.start());
    QString created;
    ASSERT_TRUE(waitReady(second, &created));
    EXPECT_TRUE(second.shared());
    EXPECT_EQ(second.processId(), 0);
    EXPECT_TRUE(created.isEmpty()); // an existing data folder: nothing created
    second.stop(); // not its server: it stays
    EXPECT_TRUE(first.socketAnswers());

    // The same client, as the owner and as another account: only the owner gets in.
    EXPECT_EQ(sqlThrough(first.paths().socket, QStringLiteral("SELECT 1")), "1");
    const QStringList stranger =
        asNobody(QStringList{QStringLiteral("mariadb")} + clientArguments(first.paths().socket, QStringLiteral("SELECT 1")));
    if (stranger.isEmpty())
        ONDREL_SKIP_WITHOUT("another account on the server's socket: neither root nor sudo -n");
    QByteArray refused;
    const int code = run(stranger.first(), stranger.mid(1), &refused);
    EXPECT_NE(code, 0);
    EXPECT_TRUE(refused.contains("Permission denied") || refused.contains("(13)")) << refused.constData();
}

TEST_F(BuiltinDatabaseTest, ACrashIsReportedAndTheServerStartsAgain)
{
    BuiltinDatabase db(shared());
    ASSERT_TRUE(db.start());
    ASSERT_TRUE(waitReady(db));
    EXPECT_EQ(sqlThrough(db.paths().socket, QStringLiteral("CREATE DATABASE IF NOT EXISTS essai; CREATE TABLE IF NOT EXISTS essai.t (n INT); "
                                                            "INSERT INTO essai.t VALUES (7)")),
              "");
    QSignalSpy crashed(&db, &BuiltinDatabase::crashed);
    const qint64 pid = db.processId();
    ASSERT_GT(pid, 0);
    ::kill(pid_t(pid), SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !crashed.isEmpty(); }, 30000));
    EXPECT_EQ(db.state(), BuiltinDatabase::State::Crashed);
    ASSERT_TRUE(db.start());
    ASSERT_TRUE(waitReady(db));
    EXPECT_EQ(sqlThrough(db.paths().socket, QStringLiteral("SELECT n FROM essai.t")), "7");
}

TEST(BuiltinDatabaseFolders, AFolderItCannotUseIsReportedAndKept)
{
    const struct
    {
        const char *file;
        const char *content;
        const char *message;
    } cases[] = {
        {"mysql_upgrade_info", "99.1.0-MariaDB", "plus récente"},
        {"notes.txt", "mes notes", "n'est pas un dossier de données"},
    };
    for (const auto &c : cases) {
        QTemporaryDir root;
        const auto paths = BuiltinDatabasePaths::under(root.filePath(QStringLiteral("mariadb")), root.filePath(QStringLiteral("run")));
        QDir().mkpath(paths.dataFolder + (QByteArray(c.file) == "notes.txt" ? QString() : QStringLiteral("/mysql")));
        QFile file(paths.dataFolder + u'/' + QLatin1String(c.file));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.content);
        file.close();
        BuiltinDatabase db(paths);
        ASSERT_TRUE(db.start());
        QString failure;
        EXPECT_FALSE(waitReady(db, nullptr, &failure));
        EXPECT_TRUE(failure.contains(QString::fromUtf8(c.message))) << failure.toStdString();
        EXPECT_EQ(db.state(), BuiltinDatabase::State::Failed);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray(c.content));
        EXPECT_FALSE(db.socketAnswers());
    }
}

ONDREL_CORE_TEST_MAIN

TEST(BuiltinDatabaseSetting, AnUntickedBoxIsKeptAsAChoiceOnlyWhenAServerWasThere)
{
    const struct
    {
        bool ticked, serverInstalled;
        const char *saved;
    } cases[] = {
        {true, true, "1"},
        {true, false, "1"}, // ticked without a server: the user's wish, kept for when one comes
        {false, true, "0"},
        {false, false, ""}, // nothing chosen: offered again once a server is installed
    };
    for (const auto &c : cases)
        EXPECT_EQ(builtinDatabaseSetting(c.ticked, c.serverInstalled), QString::fromUtf8(c.saved))
            << c.ticked << c.serverInstalled;
}
