#include "dbserver.h"

#include "app/main.h"
#include "pages/databasepage.h"
#include "widgets/widgets.h"
#include "db/dbconsole.h"
#include "db/simplecombo.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <cstdio>
#include <cstdlib>

namespace {

QString fileText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

QString scriptPath()
{
    const QByteArray scripts = qgetenv("ONDREL_TEST_SCRIPTS");
    return QDir(QString::fromLocal8Bit(scripts)).filePath(QStringLiteral("mariadb.sh"));
}

} // namespace

bool DbServer::read(const QString &folder)
{
    dir = folder;
    port = fileText(QDir(folder).filePath(QStringLiteral("port"))).toInt();
    socket = fileText(QDir(folder).filePath(QStringLiteral("socket")));
    password = fileText(QDir(folder).filePath(QStringLiteral("password")));
    return port > 0 && !socket.isEmpty() && !password.isEmpty();
}

QByteArray DbServer::sql(const QString &statements) const
{
    QProcess client;
    client.start(QStringLiteral("mariadb"),
                 {QStringLiteral("--no-defaults"), QStringLiteral("--batch"), QStringLiteral("--default-character-set=utf8mb4"),
                  QStringLiteral("-uroot"),
                  QStringLiteral("-p") + password, QStringLiteral("--socket=") + socket,
                  QStringLiteral("ondrel_test"), QStringLiteral("-e"), statements});
    client.waitForFinished(60000);
    if (client.exitCode() != 0)
        std::fprintf(stderr, "mariadb client: %s\n", client.readAllStandardError().constData());
    return client.readAllStandardOutput();
}

qint64 DbServer::pid() const
{
    return fileText(QDir(dir).filePath(QStringLiteral("pid"))).toLongLong();
}

const DbServer &DbServer::fixture()
{
    static const DbServer server = [] {
        DbServer s;
        const QString folder = QString::fromLocal8Bit(qgetenv("ONDREL_MARIADB_DIR"));
        if (folder.isEmpty() || !s.read(folder)) {
            std::fprintf(stderr, "The MariaDB test server is not running (ONDREL_MARIADB_DIR=%s);"
                                 " run the test through CTest.\n",
                         qPrintable(folder));
            std::abort();
        }
        useForLibrary(s);
        return s;
    }();
    return server;
}

void DbServer::useForLibrary(const DbServer &server)
{
    // The library reads these once, at its first initialisation.
    qputenv("MYSQL_TCP_PORT", QByteArray::number(server.port));
    qputenv("MYSQL_UNIX_PORT", server.socket.toLocal8Bit());
}

bool DbServer::runScript(const QString &action, const QString &folder)
{
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedChannels);
    script.start(QStringLiteral("bash"), {scriptPath(), action, folder});
    return script.waitForFinished(180000) && script.exitStatus() == QProcess::NormalExit
           && script.exitCode() == 0;
}

void waitForConsole(DatabasePage &page)
{
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page.console()->isBusy(); }, 60000)) << "the database console is still busy";
}

void openConnection(DatabasePage &page, const DbServer &server, const QString &database)
{
    page.host->setText(QStringLiteral("127.0.0.1"));
    page.user->setText(QStringLiteral("root"));
    page.pass->setText(server.password);
    page.base->setText(database);
    page.sbConnected->click();
    waitForConsole(page);
}

void closeConnection(DatabasePage &page)
{
    if (page.console()->isConnected())
        page.sbConnected->click();
}

void runStatement(DatabasePage &page, const QString &statement)
{
    page.cb->editLine()->setText(statement);
    QTest::keyClick(page.cb->editLine(), Qt::Key_Return);
    waitForConsole(page);
}

void waitForConsole(TfmMain &window)
{
    waitForConsole(*window.databasePage);
}

void openConnection(TfmMain &window, const DbServer &server, const QString &database)
{
    openConnection(*window.databasePage, server, database);
}

void closeConnection(TfmMain &window)
{
    closeConnection(*window.databasePage);
}

void runStatement(TfmMain &window, const QString &statement)
{
    runStatement(*window.databasePage, statement);
}

void DbWindowTest::SetUp()
{
    server = &DbServer::fixture();
    window = makeWindow(folder.dir.path());
    window->databasePage->cb->clear();
}

void DbWindowTest::TearDown()
{
    ModalWatcher watcher;
    if (window->databasePage->cbTempo->isChecked())
        window->databasePage->cbTempo->click();
    closeConnection(*window);
}
