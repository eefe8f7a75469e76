// A child tied to Ondrel: in a process group of its own, and gone when the
// process that started it dies, however it dies. The process that dies is a
// second copy of this program, which starts the child and ends abruptly.
#include "support/coremain.h"

#include "base/childprocess.h"

#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

constexpr char kHelperVariable[] = "ONDREL_CHILD_TIE_HELPER"; // "tied" or "free"

/** Whether process `pid` is running: it exists and is not a zombie. */
bool isRunning(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype end = line.lastIndexOf(')'); // the name may hold spaces
    return end > 0 && line.mid(end + 2, 1) != "Z";
}

/** The helper copy: starts `sleep`, tied or not, prints its pid and dies without cleaning up. */
int runHelper(bool tie)
{
    QProcess sleeper;
    if (tie)
        tieToOndrel(sleeper);
    sleeper.start(QStringLiteral("sleep"), {QStringLiteral("120")});
    if (!sleeper.waitForStarted(10000))
        ::_exit(2);
    std::printf("%lld\n", static_cast<long long>(sleeper.processId()));
    std::fflush(stdout);
    ::_exit(0); // no destructor: QProcess would end the child itself
}

TEST(ChildTie, ATiedChildEndsWithItsParentAndAFreeOneLivesOn)
{
    struct Case
    {
        const char *mode;
        bool tied;
    };
    const Case cases[] = {{"tied", true}, {"free", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode);
        QProcess helper;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(kHelperVariable), QString::fromLatin1(c.mode));
        helper.setProcessEnvironment(environment);
        helper.start(QCoreApplication::applicationFilePath(), {});
        ASSERT_TRUE(helper.waitForFinished(30000));
        ASSERT_EQ(helper.exitCode(), 0);
        const qint64 child = helper.readAllStandardOutput().trimmed().toLongLong();
        ASSERT_GT(child, 0);

        // The helper is gone; a tied child follows it, a free one lives on.
        // A free child is given a short while only: it sleeps for minutes.
        const bool ended = QTest::qWaitFor([&] { return !isRunning(child); }, c.tied ? 20000 : 2000);
        if (!ended)
            ::kill(pid_t(child), SIGKILL);
        EXPECT_EQ(ended, c.tied);
    }
}

TEST(ChildTie, ATiedChildLeadsAGroupOfItsOwn)
{
    QProcess sleeper;
    tieToOndrel(sleeper);
    sleeper.start(QStringLiteral("sleep"), {QStringLiteral("120")});
    ASSERT_TRUE(sleeper.waitForStarted(10000));
    const pid_t pid = pid_t(sleeper.processId());
    EXPECT_EQ(::getpgid(pid), pid);
    EXPECT_NE(::getpgid(pid), ::getpgid(0));
    sleeper.kill();
    sleeper.waitForFinished(10000);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (const char *mode = std::getenv(kHelperVariable))
        return runHelper(std::strcmp(mode, "tied") == 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
