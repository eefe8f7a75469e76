// The servers the tests start for themselves: one that cannot start says why on
// the test output, with the last lines of its own log, instead of a bare failure.
#include "support/phpserver.h"
#include "support/qtmain.h"
#include "support/testsupport.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <stdexcept>

namespace {

TEST(TestServers, PhpServerThatCannotStartThrowsWithItsOwnLastLines)
{
    TempFolder folder;
    const QString missing = folder.path(QStringLiteral("not-there"));
    try {
        PhpServer server(missing);
        FAIL() << "php -S started on a folder that does not exist";
    } catch (const std::runtime_error &error) {
        const QString message = QString::fromStdString(error.what());
        EXPECT_TRUE(message.contains(QStringLiteral("does not accept connections"))) << error.what();
        // PHP's own words about the folder, not just ours.
        EXPECT_TRUE(message.contains(QStringLiteral("Directory %1 does not exist").arg(missing))) << error.what();
    }
}

// tests/servers/mariadb.sh with stand-ins for the MariaDB programs earlier in PATH,
// each failing the way a broken machine makes them fail.
TEST(TestServers, MariadbThatCannotStartPrintsTheEndOfItsLog)
{
    struct Case
    {
        const char *what;
        QByteArray installDb; // the stand-in mariadb-install-db
        QByteArray server;    // the stand-in mariadbd
        QString expected;     // on standard error
    } const cases[] = {
        {"install fails",
         "#!/bin/sh\necho 'Neither host x nor localhost could be looked up with resolveip'\nexit 1\n", "",
         QStringLiteral("Neither host x nor localhost could be looked up with resolveip")},
        {"server exits",
         "#!/bin/sh\nfor a; do case $a in --datadir=*) mkdir -p \"${a#--datadir=}/mysql\";; esac; done\n",
         "#!/bin/sh\nfor a; do case $a in --log-error=*) log=${a#--log-error=};; esac; done\n"
         "echo '[ERROR] Can not set up the undo tablespaces' >>\"$log\"\nexit 1\n",
         QStringLiteral("[ERROR] Can not set up the undo tablespaces")},
    };
    for (const Case &c : cases) {
        TempFolder folder;
        for (const auto &[name, text] : {std::pair{"mariadb-install-db", c.installDb}, std::pair{"mariadbd", c.server}}) {
            if (text.isEmpty())
                continue;
            const QString path = folder.write(QStringLiteral("bin/%1").arg(QLatin1String(name)), text);
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        QProcess script;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PATH"), folder.path(QStringLiteral("bin")) + u':' + env.value(QStringLiteral("PATH")));
        script.setProcessEnvironment(env);
        script.start(QStringLiteral("bash"), {qEnvironmentVariable("ONDREL_TEST_SCRIPTS") + QStringLiteral("/mariadb.sh"),
                                              QStringLiteral("start"), folder.path(QStringLiteral("server"))});
        ASSERT_TRUE(script.waitForFinished(60000)) << c.what;
        const QString err = QString::fromUtf8(script.readAllStandardError());
        EXPECT_NE(script.exitCode(), 0) << c.what;
        EXPECT_TRUE(err.contains(c.expected)) << c.what << ": " << err.toStdString();
    }
}

} // namespace

ONDREL_QT_TEST_MAIN
