// The atomic save's modes: a new file gets the mode asked less the process's umask,
// and reading that umask never changes it, whatever other threads create meanwhile.
#include "support/coremain.h"

#include "io/savefile.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <atomic>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// Every umask() call of the process comes here (the executable's definition comes
// before the C library's), so a test can tell whether a save set the umask.
static std::atomic<int> umaskCalls{0};
extern "C" mode_t umask(mode_t mask)
{
    ++umaskCalls;
    return static_cast<mode_t>(::syscall(SYS_umask, mask));
}

namespace {

mode_t modeOf(const QString &path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

/** Sets the umask for one test and puts the old one back. */
struct UmaskScope
{
    explicit UmaskScope(mode_t mask) : before(::umask(mask)) {}
    ~UmaskScope() { ::umask(before); }
    mode_t before;
};

struct NewFileMode
{
    mode_t umask;
    mode_t asked;
    mode_t expected;
};

class NewFile : public ::testing::TestWithParam<NewFileMode> {};

TEST_P(NewFile, GetsTheModeAskedLessTheUmask)
{
    const NewFileMode &c = GetParam();
    UmaskScope scope(c.umask);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("new.txt"));
    const int callsBefore = umaskCalls;
    ASSERT_TRUE(replaceFileAtomically(path, "x", c.asked));
    EXPECT_EQ(umaskCalls, callsBefore) << "the save set the umask, if only for a moment";
    EXPECT_EQ(modeOf(path), c.expected);
    EXPECT_EQ(::umask(c.umask), c.umask); // left as it was
}

INSTANTIATE_TEST_SUITE_P(Rows, NewFile, ::testing::Values(
    NewFileMode{022, 0666, 0644},
    NewFileMode{027, 0666, 0640},
    NewFileMode{077, 0666, 0600},
    NewFileMode{002, 0666, 0664},
    NewFileMode{000, 0600, 0600},
    NewFileMode{022, 0600, 0600}));

// Saves on two threads (the journal writer's and the window's) while a third creates
// files of its own: none of those may ever be created under a umask of 0.
TEST(Umask, SavesOnOtherThreadsNeverOpenItForAMoment)
{
    UmaskScope scope(022);
    // In memory where there is a memory file system: thousands of saves then take a moment.
    QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm/ondrel-umask-XXXXXX")
                                                                          : QString());
    std::atomic<bool> saving{true};
    std::atomic<int> created{0}, worldWritable{0};
    std::thread creator([&] {
        const QByteArray probe = QFile::encodeName(dir.filePath(QStringLiteral("probe")));
        while (saving) {
            const int fd = ::open(probe.constData(), O_CREAT | O_EXCL | O_WRONLY, 0666);
            if (fd < 0)
                continue;
            struct stat st {};
            ::fstat(fd, &st);
            if (st.st_mode & 0022)
                ++worldWritable;
            ++created;
            ::close(fd);
            ::unlink(probe.constData());
        }
    });
    auto saveMany = [&](const QString &prefix) {
        for (int i = 0; i < 1500; ++i)
            replaceFileAtomically(dir.filePath(prefix + QString::number(i % 8)), "text", 0666);
    };
    std::thread other(saveMany, QStringLiteral("other"));
    saveMany(QStringLiteral("own"));
    other.join();
    saving = false;
    creator.join();
    ASSERT_GT(created, 0);
    EXPECT_EQ(worldWritable, 0);
    EXPECT_EQ(::umask(022), 022u);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(modeOf(dir.filePath(QStringLiteral("own%1").arg(i))), 0644u);
}

} // namespace

ONDREL_CORE_TEST_MAIN
