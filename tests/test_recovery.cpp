// The journal of unsaved text and the copies that keep a file safe: a journal is told
// from a live writer's by its lock, not by a process id that may be alive again; it
// says what its file was, so a newer file is known; and a file written in place finds
// a place for its old content when the cache folder cannot be written.
#include "support/coremain.h"

#include "files/linediff.h"
#include "io/fileidentity.h"
#include "io/readfile.h"
#include "io/recovery.h"
#include "io/savefile.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray readBytes(const QString &path)
{
    return readWholeFile(path, kMaxFileBytes).bytes;
}

/** Sets an environment variable for one test and puts the old value back. */
struct EnvScope
{
    EnvScope(const char *name, const QString &value) : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_before(qgetenv(name))
    {
        qputenv(name, QFile::encodeName(value));
    }
    ~EnvScope()
    {
        if (m_had)
            qputenv(m_name, m_before);
        else
            qunsetenv(m_name);
    }
    const char *m_name;
    bool m_had;
    QByteArray m_before;
};

/** A test's own recovery folder. */
struct CacheScope
{
    QTemporaryDir dir;
    EnvScope env{"XDG_CACHE_HOME", dir.path()};
};

FileIdentity identityOfBytes(const QByteArray &bytes)
{
    FileIdentity identity;
    identity.known = true;
    identity.stamp.size = bytes.size();
    identity.hash = contentHash(bytes);
    return identity;
}

// --- What a journal says of its file, and whether that file changed since ---------------

struct ChangeCase
{
    const char *name;
    const char *base;     // the file when the text was taken; nullptr: there was none
    const char *disk;     // the file now; nullptr: gone
    bool oldJournal;      // written by a version that did not record the file
    bool writtenAfter;    // (old journals) the file was written after the journal
    bool changed;
};

class Change : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(Change, IsToldFromWhatTheJournalRecorded)
{
    const ChangeCase &c = GetParam();
    const FileIdentity base = c.base ? identityOfBytes(c.base) : FileIdentity{};
    const QByteArray bytes = c.oldJournal // as the version before wrote them: no lock, no base
        ? QByteArray("ONDREL-JOURNAL 1\npid=123\nboot=b\npath=%2Fsite%2Ff1.php\n\ntyped\r\n")
        : journalBytes(QStringLiteral("/site/f1.php"), "typed\r\n", base);
    Journal journal;
    ASSERT_TRUE(parseJournal(bytes, &journal));
    EXPECT_EQ(journal.path, QStringLiteral("/site/f1.php"));
    EXPECT_EQ(journal.text, QByteArray("typed\r\n"));
    EXPECT_EQ(journal.hasBase, !c.oldJournal);
    EXPECT_EQ(journal.locked, !c.oldJournal);
    FileIdentity disk = c.disk ? identityOfBytes(c.disk) : FileIdentity{};
    journal.writtenNs = 1000;
    disk.stamp.mtimeNs = c.writtenAfter ? 2000 : 500;
    EXPECT_EQ(fileChangedSince(journal, disk), c.changed);
}

INSTANTIATE_TEST_SUITE_P(Rows, Change, ::testing::Values(
    ChangeCase{"SameFile", "saved\n", "saved\n", false, true, false},
    ChangeCase{"NewerFile", "saved\n", "newer\n", false, false, true},
    ChangeCase{"SameSizeOtherBytes", "saved\n", "SAVED\n", false, false, true},
    ChangeCase{"FileMadeSince", nullptr, "newer\n", false, false, true},
    ChangeCase{"StillNoFile", nullptr, nullptr, false, false, false},
    ChangeCase{"FileGoneSince", "saved\n", nullptr, false, false, false},
    ChangeCase{"OldJournalFileWrittenBefore", nullptr, "saved\n", true, false, false},
    ChangeCase{"OldJournalFileWrittenAfter", nullptr, "newer\n", true, true, true}),
    [](const auto &info) { return std::string(info.param.name); });

// --- A live writer is told by its lock ---------------------------------------------------

TEST(JournalLock, AJournalIsOfferedOnceItsWriterEndsThoughItsProcessIdLives)
{
    CacheScope cache;
    const QString file = QStringLiteral("/site/f1.php");
    {
        JournalWriter writer;
        ASSERT_TRUE(writer.writeNow(file, "typed\r\n", FileIdentity{}));
        ASSERT_TRUE(writer.writeNow(file, "typed more\r\n", FileIdentity{})); // a new file, locked again
        EXPECT_TRUE(leftJournals().isEmpty()) << "a journal whose writer runs was offered";
    } // the writer ends without removing it, as a killed run does; this process, its pid, lives on
    const QList<Journal> left = leftJournals();
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(left[0].path, file);
    EXPECT_EQ(left[0].pid, qint64(::getpid()));
    EXPECT_EQ(left[0].text, QByteArray("typed more\r\n"));
    EXPECT_EQ(QDir(recoveryFolder()).entryList(QDir::Files), QStringList{QFileInfo(journalPathFor(file)).fileName()});
}

struct OldJournalCase
{
    const char *name;
    bool writerAlive;
    bool otherBoot;
    bool offered;
};

class OldJournal : public ::testing::TestWithParam<OldJournalCase> {};

// Journals of the version before the lock are still read: by their process id and boot.
TEST_P(OldJournal, IsOfferedWhenItsProcessIsGone)
{
    const OldJournalCase &c = GetParam();
    CacheScope cache;
    pid_t pid = ::getpid();
    if (!c.writerAlive) {
        pid = ::fork();
        if (pid == 0)
            ::_exit(0);
        ::waitpid(pid, nullptr, 0);
    }
    const QByteArray boot = c.otherBoot ? QByteArray("00000000-0000-0000-0000-000000000000")
                                        : readBytes(QStringLiteral("/proc/sys/kernel/random/boot_id")).trimmed();
    writeBytes(journalPathFor(QStringLiteral("/site/old.php")),
               "ONDREL-JOURNAL 1\npid=" + QByteArray::number(pid) + "\nboot=" + boot
                   + "\npath=%2Fsite%2Fold.php\n\nold text\r\n");
    const QList<Journal> left = leftJournals();
    ASSERT_EQ(left.size(), c.offered ? 1 : 0);
    if (c.offered) {
        EXPECT_EQ(left[0].text, QByteArray("old text\r\n"));
        EXPECT_FALSE(left[0].hasBase);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, OldJournal, ::testing::Values(
    OldJournalCase{"ProcessGone", false, false, true},
    OldJournalCase{"ProcessAlive", true, false, false},
    OldJournalCase{"MachineRestartedSince", true, true, true}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(JournalLock, AWriteCutShortIsSweptAndALiveOneIsNot)
{
    CacheScope cache;
    JournalWriter writer;
    ASSERT_TRUE(writer.writeNow(QStringLiteral("/site/live.php"), "live\r\n", FileIdentity{}));
    const QString dead = journalPathFor(QStringLiteral("/site/dead.php")) + QStringLiteral(".tmp-AbC123");
    writeBytes(dead, "ONDREL-JOURNAL 1\npid=1\n"); // no lock: its process ended mid-write
    EXPECT_TRUE(leftJournals().isEmpty());
    EXPECT_FALSE(QFile::exists(dead));
    EXPECT_TRUE(QFile::exists(journalPathFor(QStringLiteral("/site/live.php"))));
}

TEST(JournalLock, AnUnwritableCacheIsToldOnceInFrench)
{
    QTemporaryDir dir;
    writeBytes(dir.filePath(QStringLiteral("plain")), "a file, not a folder");
    EnvScope env("XDG_CACHE_HOME", dir.filePath(QStringLiteral("plain/cache"))); // fails for root too
    JournalWriter writer;
    QSignalSpy told(&writer, &JournalWriter::cannotWrite);
    EXPECT_FALSE(writer.writeNow(QStringLiteral("/site/f1.php"), "a", FileIdentity{}));
    writer.schedule(QStringLiteral("/site/f1.php"), "ab", FileIdentity{});
    writer.wait();
    ASSERT_EQ(told.count(), 1);
    const QString notice = told.at(0).at(0).toString();
    EXPECT_TRUE(notice.startsWith(QStringLiteral("Le texte non enregistré n'est pas conservé"))) << notice.toStdString();
    EXPECT_TRUE(notice.contains(dir.filePath(QStringLiteral("plain/cache/ondrel")))) << notice.toStdString();
}

// --- The name of a recovered text kept beside its newer file -------------------------------

TEST(RecoveredCopy, IsNamedBesideTheFileAndNeverTakesAnExistingName)
{
    QTemporaryDir dir;
    const struct
    {
        const char *file;
        const char *existing; // already there beside it
        const char *copy;
    } rows[] = {
        {"page.php", "", "page (récupéré).php"},
        {"page.php", "page (récupéré).php", "page (récupéré 2).php"},
        {"archive.tar.gz", "", "archive.tar (récupéré).gz"},
        {".htaccess", "", ".htaccess (récupéré)"},
        {"Makefile", "", "Makefile (récupéré)"},
    };
    for (const auto &row : rows) {
        if (*row.existing)
            writeBytes(dir.filePath(QString::fromUtf8(row.existing)), "x");
        EXPECT_EQ(recoveredCopyPath(dir.filePath(QString::fromUtf8(row.file))), dir.filePath(QString::fromUtf8(row.copy)))
            << row.file;
    }
}

// --- What "Comparer" shows ------------------------------------------------------------------

TEST(LineDifferences, ShowTheChangedLinesWithTheirNeighbours)
{
    const struct
    {
        const char *name;
        QByteArray before;
        QByteArray after;
        const char *shown;
    } rows[] = {
        {"Same", "a\nb\n", "a\nb\n", ""},
        {"OnlyTheLineBreaksDiffer", "a\nb\n", "a\r\nb\r\n", ""},
        {"OneLineChanged", "a\nb\nc\n", "a\nB\nc\n", "  a\n- b\n+ B\n  c"},
        {"LineAdded", "a\nc\n", "a\nb\nc\n", "  a\n+ b\n  c"},
        {"FarLinesLeftOut", "1\n2\n3\n4\n5\n6\n7\n", "1\n2\n3\n4\n5\n6\nX\n", "…\n  5\n  6\n- 7\n+ X"},
        {"TwoChangesApart", "x\n1\n2\n3\n4\n5\n6\ny\n", "X\n1\n2\n3\n4\n5\n6\nY\n",
         "- x\n+ X\n  1\n  2\n…\n  5\n  6\n- y\n+ Y"},
        {"AllNew", "", "a\n", "+ a"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(lineDifferences(row.before, row.after), QString::fromUtf8(row.shown)) << row.name;
}

TEST(LineDifferences, AHugeChangeIsShownWholeInsteadOfMatchedLineByLine)
{
    QByteArray before, after;
    for (int i = 0; i < 5000; ++i) {
        before += "old " + QByteArray::number(i) + '\n';
        after += "new " + QByteArray::number(i) + '\n';
    }
    const QStringList lines = lineDifferences(before, after).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 10000);
    EXPECT_EQ(lines.first(), QStringLiteral("- old 0"));
    EXPECT_EQ(lines.last(), QStringLiteral("+ new 4999"));
}

// --- A file written in place when the cache folder cannot be written -------------------------

struct PlaceCase
{
    const char *name;
    bool cacheBroken;
    bool runtimeBroken;
    bool besideBlocked; // a folder where the copy beside the file would go
    bool allowed;       // the user agreed to a write with no copy
    bool saved;
    bool runtimeUsed;   // the copy went to $XDG_RUNTIME_DIR/ondrel/, made for it, ours alone
};

class SafeCopy : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(SafeCopy, AHardLinkedFileFindsAPlaceForItsOldContentOrIsNotWrittenUnasked)
{
    const PlaceCase &c = GetParam();
    QTemporaryDir dir;
    writeBytes(dir.filePath(QStringLiteral("plain")), "a file, not a folder");
    const QString broken = dir.filePath(QStringLiteral("plain/sub")); // fails for root too
    QTemporaryDir goodCache, goodRuntime;
    EnvScope cache("XDG_CACHE_HOME", c.cacheBroken ? broken : goodCache.path());
    EnvScope runtime("XDG_RUNTIME_DIR", c.runtimeBroken ? broken : goodRuntime.path());
    const QString file = dir.filePath(QStringLiteral("site/f1.php"));
    const QString link = dir.filePath(QStringLiteral("site/other.php"));
    writeBytes(file, "old\n");
    ASSERT_EQ(::link(QFile::encodeName(file).constData(), QFile::encodeName(link).constData()), 0);
    const QString beside = dir.filePath(QStringLiteral("site/.f1.php.ondrel-ancien"));
    if (c.besideBlocked) {
        ASSERT_TRUE(QDir().mkpath(beside));
    }

    QString why;
    bool noSafeCopy = false;
    EXPECT_EQ(replaceFileAtomically(file, "new\n", 0666, &why, {c.allowed, &noSafeCopy}), c.saved) << why.toStdString();
    EXPECT_EQ(noSafeCopy, !c.saved);
    EXPECT_EQ(readBytes(link), QByteArray(c.saved ? "new\n" : "old\n")); // the links still share one file
    if (!c.saved) {
        EXPECT_TRUE(why.startsWith(QStringLiteral("Copie de sécurité impossible"))) << why.toStdString();
    }
    // The copy is gone once the write is done, wherever it was.
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("site"))).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("f1.php"), QStringLiteral("other.php")}));
    const QString runtimeFolder = goodRuntime.filePath(QStringLiteral("ondrel"));
    ASSERT_EQ(QFileInfo::exists(runtimeFolder), c.runtimeUsed);
    if (c.runtimeUsed) {
        EXPECT_EQ(QDir(runtimeFolder).entryList(QDir::Files), QStringList());
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(runtimeFolder).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, SafeCopy, ::testing::Values(
    PlaceCase{"CacheWritable", false, true, true, false, true, false},
    PlaceCase{"BesideTheFile", true, true, false, false, true, false},
    PlaceCase{"InTheRuntimeFolder", true, false, true, false, true, true},
    PlaceCase{"NowhereRefused", true, true, true, false, false, false},
    PlaceCase{"NowhereAllowedByTheUser", true, true, true, true, true, false}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace

ONDREL_CORE_TEST_MAIN
