// Stop signals sent to a real process: unsaved text is kept and the window
// closes without waiting on its question; a second signal always ends it.
#include "support/faultprocess.h"
#include "support/qtmain.h"
#include "support/testsupport.h"

#include <QDir>
#include <QTest>

#include <csignal>

namespace {

TEST(StopSignals, UnsavedTextIsCopiedAndTheWindowClosesWithoutAsking)
{
    for (int signal : {SIGTERM, SIGINT}) {
        TempFolder folder;
        TempFolder cache; // each round its own journals: a journal left would be offered back at start
        qputenv("XDG_CACHE_HOME", cache.path(QString()).toLocal8Bit());
        const QByteArray original = "<?php echo 'avant';\r\n";
        const QString page = folder.write(QStringLiteral("page.php"), original);
        FaultProcess child;
        ASSERT_TRUE(child.start(QStringLiteral(ONDREL_FAULT_CHILD), {"stop-unsaved", folder.path(QString()), page}));
        ::kill(pid_t(child.pid()), signal);
        ASSERT_TRUE(child.finish(60000)) << signal << child.output().toStdString(); // status 0, no question waited on

        EXPECT_EQ(folder.read(QStringLiteral("page.php")), original); // never saved without asking
        const QStringList copies = QDir(folder.path(QString())).entryList({QStringLiteral("ondrel-non-enregistre-*-page.php")});
        ASSERT_EQ(copies.size(), 1) << signal;
        EXPECT_EQ(folder.read(copies.first()), "unsaved " + original);
        EXPECT_TRUE(child.output().contains(QFile::encodeName(folder.path(copies.first()))));
        EXPECT_TRUE(QFileInfo::exists(folder.path(QStringLiteral("ondrel.ini")))); // the side files are written too
        // The crash journal holds the text too, for the next start to offer it back.
        // (PHP's signature cache may lie beside it.)
        EXPECT_EQ(QDir(cache.path(QStringLiteral("ondrel"))).entryList({QStringLiteral("*.journal")}, QDir::Files).size(), 1) << signal;
    }
}

TEST(StopSignals, ASecondSignalEndsAProcessWhoseWindowIsFrozen)
{
    TempFolder folder;
    FaultProcess child;
    ASSERT_TRUE(child.start(QStringLiteral(ONDREL_FAULT_CHILD), {"stop-frozen", folder.path(QString())}));
    ::kill(pid_t(child.pid()), SIGTERM);
    QTest::qWait(300);
    ASSERT_EQ(::kill(pid_t(child.pid()), 0), 0); // the first one waits for the event loop
    ::kill(pid_t(child.pid()), SIGTERM);
    EXPECT_FALSE(child.finish(30000)); // ended, by the signal
    EXPECT_NE(::kill(pid_t(child.pid()), 0), 0);
}

} // namespace

ONDREL_QT_TEST_MAIN
