#include "support/privilege.h"

#include <QFile>
#include <QProcess>

#include <unistd.h>

namespace {

/** Whether `argv` runs and exits with 0 within a few seconds. */
bool succeeds(const QStringList &argv)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(argv.first(), argv.mid(1));
    if (!process.waitForStarted(10000))
        return false;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(10000);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

const QStringList kSudo{QStringLiteral("sudo"), QStringLiteral("-n"), QStringLiteral("--")};

QStringList pidNamespacePrefix()
{
    const QStringList ownNamespace{QStringLiteral("unshare"), QStringLiteral("--pid"), QStringLiteral("--fork"),
                                   QStringLiteral("--kill-child")};
    if (runsAsRoot())
        return ownNamespace;
    // A user namespace mapping only this user: the same account, with the power to make a PID namespace.
    const QStringList asUser = QStringList{QStringLiteral("unshare"), QStringLiteral("--user"),
                                           QStringLiteral("--map-user=%1").arg(::getuid()),
                                           QStringLiteral("--map-group=%1").arg(::getgid())}
        + ownNamespace.mid(1);
    if (succeeds(asUser + QStringList{QStringLiteral("true")}))
        return asUser;
    return {};
}

} // namespace

bool runsAsRoot()
{
    return ::geteuid() == 0;
}

bool sudoAllowed()
{
    static const bool allowed = !runsAsRoot() && succeeds(kSudo + QStringList{QStringLiteral("true")});
    return allowed;
}

bool canSwitchAccounts()
{
    return runsAsRoot() || sudoAllowed();
}

QStringList asNobody(const QStringList &argv)
{
    const QStringList switched = QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=nobody"),
                                             QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups")}
        + argv;
    if (runsAsRoot())
        return switched;
    if (sudoAllowed())
        return kSudo + switched;
    return {};
}

QStringList inPidNamespace(const QStringList &argv)
{
    static const QStringList prefix = pidNamespacePrefix();
    return prefix.isEmpty() ? QStringList() : prefix + argv;
}

std::string notedSkip(const std::string &why)
{
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = test ? std::string(test->test_suite_name()) + '.' + test->name() : std::string("?");
    const QByteArray log = qgetenv("ONDREL_SKIP_LOG");
    if (!log.isEmpty()) {
        QFile file(QString::fromLocal8Bit(log));
        if (file.open(QIODevice::Append | QIODevice::Text))
            file.write(QByteArray::fromStdString(name + ": " + why + '\n'));
    }
    return "skipped, " + why;
}
