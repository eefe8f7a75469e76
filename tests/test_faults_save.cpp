// Saves that cannot complete or that meet unusual files: a full disk (a child process
// with a file-size limit), a path that is a symbolic link, a file owned by another
// user and a read-only file. Nothing old is lost, links stay links, owner and mode
// stay as they were, and the user is told in French what failed.
#include "support/qtmain.h"

#include "base/errors.h"
#include "app/main.h"
#include "pages/databasepage.h"
#include "widgets/widgets.h"
#include "db/simplecombo.h"
#include "editor/richedit.h"
#include "files/editedfile.h"
#include "settings/profile.h"
#include "support/faultprocess.h"
#include "support/faults.h"
#include "support/testsupport.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kChild = QStringLiteral(ONDREL_FAULT_CHILD);

struct stat statOf(const QString &path, bool follow = true)
{
    struct stat st {};
    const QByteArray p = QFile::encodeName(path);
    (follow ? ::stat(p.constData(), &st) : ::lstat(p.constData(), &st));
    return st;
}

// --- A full disk ---------------------------------------------------------------

struct EditedFileLimit
{
    const char *name;
    qsizetype oldSize; // 0: no file yet
    qsizetype newSize;
    qint64 limit;      // bytes a file may hold
    bool preview;      // saved by opening the preview page rather than by the editor itself
};

class FullDiskEditedFile : public ::testing::TestWithParam<EditedFileLimit> {};

TEST_P(FullDiskEditedFile, OldFileStaysWholeAndTheUserIsTold)
{
    const EditedFileLimit &c = GetParam();
    TempFolder folder;
    const QString file = folder.path(QStringLiteral("page.php"));
    const QByteArray old = faultContent('O', c.oldSize);
    if (c.oldSize > 0)
        writeFile(file, old);
    const mode_t mode = c.oldSize > 0 ? statOf(file).st_mode : 0;

    FaultProcess child;
    const QStringList arguments = c.preview
        ? QStringList{QStringLiteral("preview-once"), folder.dir.path(), file, QString::number(c.newSize), QString::number(c.limit)}
        : QStringList{QStringLiteral("edit-once"), file, QString::number(c.newSize), QString::number(c.limit)};
    ASSERT_TRUE(child.start(kChild, arguments)) << child.output().constData();
    ASSERT_TRUE(child.finish()) << child.output().constData();
    // The editor throws the message; the preview page shows it in the error box.
    const QString message = cannotCreateMessage(file, QStringLiteral("Disque plein"));
    EXPECT_EQ(child.messages(), QStringList{c.preview ? withFullStop(message) : message}) << child.output().constData();
    if (c.oldSize > 0) {
        EXPECT_EQ(readFile(file), old);
        EXPECT_EQ(statOf(file).st_mode, mode);
    } else {
        EXPECT_FALSE(QFileInfo::exists(file));
    }
    EXPECT_EQ(strayTemps(folder.dir.path()), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Limits, FullDiskEditedFile, ::testing::Values(
    EditedFileLimit{"NothingFits", 100000, 200000, 0, false},
    EditedFileLimit{"CutInTheMiddle", 1 << 20, 2 << 20, 1 << 20, false},
    EditedFileLimit{"OneByteShort", 5000, 5001, 5000, false},
    EditedFileLimit{"NewFileNeverAppears", 0, 1 << 20, 4096, false},
    EditedFileLimit{"PreviewCutInTheMiddle", 1 << 20, 2 << 20, 1 << 20, true},
    EditedFileLimit{"PreviewNewFileNeverAppears", 0, 1 << 20, 4096, true}),
    [](const auto &info) { return std::string(info.param.name); });

/** Side files of a window: keyword list (.php), settings (.ini) and history (.qry). */
const QStringList kSideNames{QStringLiteral("ondrel.php"), QStringLiteral("ondrel.ini"), QStringLiteral("ondrel.qry")};

struct SideFileLimit
{
    const char *name;
    int keywordLines;
    int historyLines;
    int iniNotes;         // lines of an unknown section that make the settings file large
    int failing;          // index in kSideNames of the file that does not fit
    bool settingsMessage; // "Impossible d'écrire…" rather than "Impossible de créer…"
};

class FullDiskSideFiles : public ::testing::TestWithParam<SideFileLimit> {};

TEST_P(FullDiskSideFiles, TheFileThatDoesNotFitIsKeptWholeAndTheOthersAreWritten)
{
    const SideFileLimit &c = GetParam();
    TempFolder folder;
    QByteArray ini = "[Params]\r\nSite=http://old/\r\n[Notes]\r\n";
    for (int n = 0; n < c.iniNotes; ++n)
        ini += "note" + QByteArray::number(n) + "=kept\r\n";
    const QList<QByteArray> old{faultLines('O', 3).join(QStringLiteral("\r\n")).toUtf8(), ini,
                                "SELECT 1\r\nSELECT 2\r\n"};
    for (int i = 0; i < kSideNames.size(); ++i)
        folder.write(kSideNames[i], old[i]);

    FaultProcess child;
    ASSERT_TRUE(child.start(kChild, {QStringLiteral("side-once"), folder.dir.path(), QString::number(c.keywordLines),
                                     QString::number(c.historyLines), QStringLiteral("N"), QStringLiteral("16384")}))
        << child.output().constData();
    ASSERT_TRUE(child.finish()) << child.output().constData();

    const QString failingPath = folder.path(kSideNames[c.failing]);
    const QString full = QStringLiteral("Disque plein");
    const QString message = c.settingsMessage ? cannotWriteMessage(failingPath, full) : cannotCreateMessage(failingPath, full);
    EXPECT_EQ(child.messages(), QStringList{withFullStop(message)}) << child.output().constData();
    // Each file is written on its own: only the failing one keeps its content.
    for (int i = 0; i < kSideNames.size(); ++i) {
        const QByteArray now = folder.read(kSideNames[i]);
        if (i != c.failing)
            EXPECT_NE(now, old[i]) << qPrintable(kSideNames[i]) << " was not written";
        else
            EXPECT_EQ(now, old[i]) << qPrintable(kSideNames[i]) << " changed";
    }
    if (c.failing != 1) {
        EXPECT_EQ(ProfileFile(folder.read(kSideNames[1])).readString(u"Params", u"Site"), QStringLiteral("http://site-N/"));
    }
    EXPECT_EQ(strayTemps(folder.dir.path()), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Limits, FullDiskSideFiles, ::testing::Values(
    SideFileLimit{"KeywordList", 2000, 2, 0, 0, false},
    SideFileLimit{"Settings", 2, 2, 2000, 1, true},
    SideFileLimit{"History", 2, 2000, 0, 2, false}),
    [](const auto &info) { return std::string(info.param.name); });

// --- Links, other owners, read-only files --------------------------------------------

enum class Kind { Link, OtherOwner, ReadOnly };
enum class Target { EditedFile, KeywordList, Settings, History };

struct OddFile
{
    const char *name;
    Kind kind;
    Target target;
};

class OddFiles : public ::testing::TestWithParam<OddFile> {};

constexpr uid_t kNobody = 65534;

TEST_P(OddFiles, LinksStayLinksOwnersAndModesStayReadOnlyFilesAreLeftAlone)
{
    const OddFile &c = GetParam();
    if (c.kind == Kind::OtherOwner && ::geteuid() != 0)
        GTEST_SKIP() << "giving a file to another user needs root";
    TempFolder folder;
    const QString site = folder.path(QStringLiteral("site"));
    const QString name = c.target == Target::EditedFile ? QStringLiteral("page.php")
                                                        : kSideNames[int(c.target) - 1];
    const QString path = QDir(site).filePath(name);
    // Old contents that the window reads without trouble.
    const QByteArray old = c.target == Target::Settings ? QByteArray("[Params]\r\nSite=http://old/\r\n")
                                                        : QByteArray("old 1\r\nold 2\r\n");
    // For a link, the real file lies in another folder, reached by a relative link.
    const QString real = c.kind == Kind::Link ? folder.path(QStringLiteral("real/") + name) : path;
    writeFile(real, old);
    QDir().mkpath(site);
    if (c.kind == Kind::Link) {
        ASSERT_EQ(::symlink(QFile::encodeName(QStringLiteral("../real/") + name).constData(),
                            QFile::encodeName(path).constData()), 0);
    }
    const QByteArray realBytes = QFile::encodeName(real);
    ::chmod(realBytes.constData(), c.kind == Kind::ReadOnly ? 0444 : 0640);
    if (c.kind == Kind::OtherOwner) {
        ASSERT_EQ(::chown(realBytes.constData(), kNobody, kNobody), 0);
    }
    const struct stat before = statOf(real);

    QStringList messages;
    if (c.target == Target::EditedFile) {
        RichEdit editor;
        EditedFile edited(&editor);
        edited.load(path);
        editor.setBytes("new 1\r\nnew 2\r\n");
        try {
            edited.write(path);
        } catch (const OndrelError &error) {
            messages << error.message();
        }
    } else {
        auto window = makeWindow(site); // shown: the keyword list is loaded, so it may be written back
        window->mAide->setPlainText(QStringLiteral("new 1\nnew 2"));
        window->databasePage->cb->list()->clear();
        window->databasePage->cb->list()->addItems({QStringLiteral("new 1"), QStringLiteral("new 2")});
        window->eSite->setText(QStringLiteral("http://new/"));
        ModalWatcher watcher;
        window.reset(); // shut-down
        for (const ModalWatcher::Box &box : watcher.boxes)
            messages << box.text;
    }

    const struct stat after = statOf(real);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    if (c.kind == Kind::Link) {
        EXPECT_TRUE(S_ISLNK(statOf(path, false).st_mode));
        EXPECT_EQ(QFile::symLinkTarget(path), QFileInfo(real).absoluteFilePath());
    }
    const QByteArray now = readFile(real);
    if (c.kind == Kind::ReadOnly) {
        EXPECT_EQ(now, old);
        const QString readOnly = QStringLiteral("Fichier en lecture seule");
        const QString expected = c.target == Target::EditedFile ? cannotCreateMessage(path, readOnly)
            : withFullStop(c.target == Target::Settings ? cannotWriteMessage(path, readOnly) : cannotCreateMessage(path, readOnly));
        EXPECT_EQ(messages, QStringList{expected});
    } else {
        EXPECT_EQ(messages, QStringList());
        if (c.target == Target::Settings)
            EXPECT_EQ(ProfileFile(now).readString(u"Params", u"Site"), QStringLiteral("http://new/"));
        else
            EXPECT_TRUE(now.startsWith("new 1")) << now.constData();
    }
    EXPECT_EQ(strayTemps(site), QStringList());
    EXPECT_EQ(strayTemps(QFileInfo(real).absolutePath()), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Files, OddFiles, ::testing::Values(
    OddFile{"EditedFileLink", Kind::Link, Target::EditedFile},
    OddFile{"EditedFileOtherOwner", Kind::OtherOwner, Target::EditedFile},
    OddFile{"EditedFileReadOnly", Kind::ReadOnly, Target::EditedFile},
    OddFile{"KeywordListLink", Kind::Link, Target::KeywordList},
    OddFile{"KeywordListOtherOwner", Kind::OtherOwner, Target::KeywordList},
    OddFile{"KeywordListReadOnly", Kind::ReadOnly, Target::KeywordList},
    OddFile{"SettingsLink", Kind::Link, Target::Settings},
    OddFile{"SettingsOtherOwner", Kind::OtherOwner, Target::Settings},
    OddFile{"SettingsReadOnly", Kind::ReadOnly, Target::Settings},
    OddFile{"HistoryLink", Kind::Link, Target::History},
    OddFile{"HistoryOtherOwner", Kind::OtherOwner, Target::History},
    OddFile{"HistoryReadOnly", Kind::ReadOnly, Target::History}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace

ONDREL_QT_TEST_MAIN
