// The edited file is never overwritten or changed behind the user's back, and
// unsaved text survives a crash. Real files on tmpfs (/dev/shm), real links, ACLs
// and attributes, an unprivileged child for the permission case, a killed child.
#include "support/qtmain.h"
#include "support/faultprocess.h"
#include "support/filepage.h"
#include "support/privilege.h"
#include "support/testsupport.h"

#include "base/errors.h"
#include "app/main.h"
#include "app/sessioncontroller.h"
#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "files/editedfile.h"
#include "files/browser.h"
#include "io/readfile.h"
#include "io/recovery.h"
#include "io/recoverypaths.h"
#include "preview/phpserver.h"
#include "preview/webbrowser.h"
#include "search/openfilebox.h"
#include "search/sitesearch.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kChild = QStringLiteral(ONDREL_FAULT_CHILD);

/** A folder on tmpfs, searchable by every user (the unprivileged child goes through it). */
struct ShmFolder
{
    QTemporaryDir dir{QStringLiteral("/dev/shm/ondrel-test-XXXXXX")};
    ShmFolder() { ::chmod(QFile::encodeName(dir.path()).constData(), 0755); }
    // Names that are not UTF-8 cannot be removed through QString paths.
    ~ShmFolder() { QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), dir.path()}); }
    QString path(const QString &name) const { return dir.filePath(name); }
};

struct stat statOf(const QString &path)
{
    struct stat st{};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

QByteArray run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(30000)) << program.toStdString();
    EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << ": " << p.readAll().toStdString();
    return p.readAll();
}

class FileInWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = makeWindow(sideFiles.path({}));
        window->eURL->setText(QStringLiteral("about:blank"));
    }

    void load(const QString &path)
    {
        window->session()->loadEditedFile(path);
        window->eFile->setText(path);
        window->showPage(window->tsEdit);
        window->M->setFocus();
    }

    /** F9 in the editor; true when the preview navigated. */
    bool preview()
    {
        window->showPage(window->tsEdit);
        window->M->setFocus();
        QTest::keyClick(window->M, Qt::Key_F9);
        return window->WB->engineStarted();
    }

    /** Types `text` at the start of `line`, one key event per character, as a keyboard sends them. */
    void typeAtLine(int line, const QString &text)
    {
        window->M->setSelStart(window->M->lineStartOffset(line));
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i).isHighSurrogate()) { // beyond the keyboard: an input method commits it
                QInputMethodEvent commit;
                commit.setCommitString(text.mid(i, 2));
                QApplication::sendEvent(window->M, &commit);
                ++i;
                continue;
            }
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text.mid(i, 1));
            QApplication::sendEvent(window->M, &press);
        }
    }

    TempFolder sideFiles;
    ShmFolder shm;
    std::unique_ptr<TfmMain> window;
};

// --- Rows 2, 3, 4, 13: a preview without an edit leaves the bytes as they were ------

struct UntouchedCase
{
    const char *name;
    QByteArray bytes;
    bool binary;
};

class Untouched : public FileInWindow, public ::testing::WithParamInterface<UntouchedCase> {};

TEST_P(Untouched, PreviewLeavesEveryByte)
{
    const UntouchedCase &c = GetParam();
    const QString file = shm.path(QStringLiteral("f.php"));
    writeFile(file, c.bytes);
    load(file);
    EXPECT_EQ(window->M->isReadOnly(), c.binary);
    ModalWatcher boxes;
    EXPECT_TRUE(preview());
    EXPECT_EQ(readFile(file), c.bytes);
    if (c.binary) {
        EXPECT_EQ(window->lNotice->text(), QStringLiteral("Fichier binaire : non enregistré"));
    }
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

QByteArray binaryProgram()
{
    return readFile(QStringLiteral("/bin/true"));
}

INSTANTIATE_TEST_SUITE_P(Rows, Untouched, ::testing::Values(
    UntouchedCase{"Binary", binaryProgram(), true},
    UntouchedCase{"Utf16", QByteArray("\xFF\xFEh\0i\0\n\0\r\0\n\0", 12), true},
    UntouchedCase{"NulInText", QByteArray("a\0b\r\nc\n", 7), true},
    UntouchedCase{"MixedBreaks", "un\r\ndeux\ntrois\rquatre\r\n\ncinq", false},
    UntouchedCase{"InvalidUtf8", "caf\xC3\xA9 et caf\xE9 \xFF\n", false},
    UntouchedCase{"Windows1252", "\x80 \x9C \x92 \x93\x94 \x81\x8D\n", false}),
    [](const auto &info) { return std::string(info.param.name); });

// --- Rows 4, 13, 14: edited text keeps each line's break and the file's encoding -----

TEST_F(FileInWindow, EditedMixedBreaksKeepTheirOwnAndNewLinesTakeTheFirst)
{
    const QString file = shm.path(QStringLiteral("m.php"));
    writeFile(file, "a\nb\r\nc\rd\n");
    load(file);
    typeAtLine(1, QStringLiteral("x"));
    QTest::keyClick(window->M, Qt::Key_Return); // splits "xb": the new break is the first style, LF
    typeAtLine(4, QStringLiteral("y"));         // "d"
    window->M->setSelStart(window->M->lineStartOffset(3)); // joins "b" and "c": "bc" ends as "c" did
    QTest::keyClick(window->M, Qt::Key_Backspace);
    ASSERT_TRUE(preview());
    EXPECT_EQ(readFile(file), QByteArray("a\nx\nbc\ryd\n"));
}

struct TypedCase
{
    const char *name;
    QByteArray before;
    QString typed;
    QByteArray after;
    bool refused;
};

class Typed : public FileInWindow, public ::testing::WithParamInterface<TypedCase> {};

TEST_P(Typed, IsWrittenInTheFilesEncoding)
{
    const TypedCase &c = GetParam();
    const QString file = shm.path(QStringLiteral("t.php"));
    writeFile(file, c.before);
    load(file);
    ModalWatcher boxes;
    typeAtLine(0, c.typed);
    EXPECT_EQ(window->lNotice->isVisibleTo(window.get()), c.refused) << window->lNotice->text().toStdString();
    ASSERT_TRUE(preview());
    EXPECT_EQ(readFile(file), c.after);
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Rows, Typed, ::testing::Values(
    TypedCase{"Windows1252Signs", "caf\xE9\n", QStringLiteral("€œ’“”"), "\x80\x9C\x92\x93\x94" "caf\xE9\n", false},
    TypedCase{"EmojiRefusedNotQuestionMark", "caf\xE9\n", QStringLiteral("a😀b"), "abcaf\xE9\n", true},
    TypedCase{"Utf8StaysUtf8", "caf\xC3\xA9\n", QStringLiteral("€"), "\xE2\x82\xAC" "caf\xC3\xA9\n", false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(FileInWindow, Windows1252CharactersAreShownAsThemselves)
{
    const QString file = shm.path(QStringLiteral("w.php"));
    writeFile(file, "\x80\x9C\x92\n");
    load(file);
    EXPECT_EQ(window->M->decode(window->M->lineText(0)), QStringLiteral("€œ’"));
}

TEST_F(FileInWindow, AnchorJumpSelectsAWholeCharacterAndTypingKeepsUtf8)
{
    const QString file = shm.path(QStringLiteral("u.php"));
    writeFile(file, "x\n\xC3\xA9t\xC3\xA9\n");
    load(file);
    window->M->setSelStart(window->M->lineStartOffset(1));
    window->SpeedButton8MouseUp(window->SpeedButton8, Qt::RightButton);
    window->SpeedButton8MouseUp(window->SpeedButton8, Qt::LeftButton);
    EXPECT_EQ(window->M->selLength(), 2);
    QTest::keyClicks(window->M, QStringLiteral("E"));
    EXPECT_EQ(window->M->caretPosition().y, 1);
    ASSERT_TRUE(preview());
    EXPECT_EQ(readFile(file), QByteArray("x\nEt\xC3\xA9\n"));
}

// --- Rows 1, 5, 6: what a preview may write, and where ---------------------------------

struct ChangedCase
{
    const char *name;
    const char *answer;
    bool navigates;
    QByteArray onDisk;   // the file after the preview
    QByteArray inEditor; // the editor's text after it
};

class ChangedOnDisk : public FileInWindow, public ::testing::WithParamInterface<ChangedCase> {};

TEST_P(ChangedOnDisk, AsksBeforeAnyWrite)
{
    const ChangedCase &c = GetParam();
    const QString file = shm.path(QStringLiteral("a.php"));
    writeFile(file, "old\n");
    load(file);
    QTest::keyClicks(window->M, QStringLiteral("mine "));
    // Another program writes the same size at once: the clock tick may not tell.
    run(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("printf 'new\\n' > \"$0\""), file});
    ModalWatcher boxes;
    boxes.answer = QString::fromUtf8(c.answer);
    EXPECT_EQ(preview(), c.navigates);
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text,
              QStringLiteral("Le fichier %1 a été modifié par un autre programme depuis son chargement.").arg(file));
    EXPECT_EQ(readFile(file), c.onDisk);
    EXPECT_EQ(window->M->wholeText(), c.inEditor);
}

INSTANTIATE_TEST_SUITE_P(Row1, ChangedOnDisk, ::testing::Values(
    ChangedCase{"Cancel", "Annuler", false, "new\n", "mine old\r\n"},
    ChangedCase{"Overwrite", "Écraser", true, "mine old\n", "mine old\r\n"},
    ChangedCase{"Reload", "Recharger", true, "new\n", "new\r\n"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(FileInWindow, UntouchedTextChangedOnDiskIsReloadedQuietlyAndEditedTextGetsANotice)
{
    const QString file = shm.path(QStringLiteral("a.php"));
    writeFile(file, "1\n2\n3\n");
    load(file);
    window->M->setSelStart(window->M->lineStartOffset(2));
    writeFile(file, "un\ndeux\ntrois\nquatre\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->M->wholeText().startsWith("un"); }, 10000));
    EXPECT_EQ(window->M->caretPosition().y, 2);
    EXPECT_FALSE(window->lNotice->isVisibleTo(window.get()));

    QTest::keyClicks(window->M, QStringLiteral("mine"));
    run(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("echo autre > \"$0\""), file});
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->lNotice->isVisibleTo(window.get()); }, 10000));
    EXPECT_TRUE(window->lNotice->text().contains(file));
    EXPECT_TRUE(window->M->wholeText().contains("mine"));
}

TEST_F(FileInWindow, AnotherExistingFileInFichierIsReplacedOnlyAfterAsking)
{
    const QString mine = shm.path(QStringLiteral("formatting.php"));
    const QString other = shm.path(QStringLiteral("other.php"));
    writeFile(mine, "mine\n");
    writeFile(other, "other\n");
    load(mine);
    window->eFile->setText(other);
    ModalWatcher boxes;
    boxes.answer = QStringLiteral("Annuler");
    EXPECT_FALSE(preview());
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Remplacer le fichier %1 ?").arg(other));
    EXPECT_EQ(readFile(other), QByteArray("other\n"));

    boxes.answer = QStringLiteral("Remplacer");
    EXPECT_TRUE(preview());
    EXPECT_EQ(readFile(other), QByteArray("mine\n"));
    EXPECT_EQ(window->session()->editedFile()->path(), other); // from now on the text is other.php's
    EXPECT_TRUE(preview());
    EXPECT_EQ(boxes.boxes.size(), 2);
}

TEST_F(FileInWindow, AStartUpFileThatCouldNotBeReadIsNeverWritten)
{
    const QString file = shm.path(QStringLiteral("huge.php"));
    QFile huge(file);
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(kMaxFileBytes + 1)); // sparse: no memory, no disk
    huge.close();
    window.reset();
    writeFile(sideFiles.path(QStringLiteral("ondrel.ini")),
              "[Params]\r\nFichier=" + QFile::encodeName(file) + "\r\nSite=about:blank\r\n");
    ModalWatcher boxes;
    window = makeWindow(sideFiles.path({}));
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, withFullStop(QStringLiteral("Fichier trop volumineux : %1").arg(file)));
    window->eURL->setText(QStringLiteral("about:blank"));
    clickTab(*window, window->tsWB);
    EXPECT_EQ(QFileInfo(file).size(), kMaxFileBytes + 1);
    EXPECT_EQ(boxes.boxes.size(), 1);
}

TEST_F(FileInWindow, APreviewBeforeAnyFileOnlyNavigates)
{
    ModalWatcher boxes;
    window->eFile->clear();
    EXPECT_TRUE(preview());
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

// --- Rows 7, 8, 9: a save keeps what the file is ---------------------------------------

TEST_F(FileInWindow, HardLinksStayShared)
{
    const QString file = shm.path(QStringLiteral("a.php"));
    const QString link = shm.path(QStringLiteral("b.php"));
    writeFile(file, "old\n");
    ASSERT_EQ(::link(QFile::encodeName(file).constData(), QFile::encodeName(link).constData()), 0);
    load(file);
    QTest::keyClicks(window->M, QStringLiteral("new "));
    ASSERT_TRUE(preview());
    EXPECT_EQ(readFile(link), QByteArray("new old\n"));
    EXPECT_EQ(statOf(file).st_ino, statOf(link).st_ino);
    EXPECT_EQ(QDir(recoveryFolder()).entryList({QStringLiteral("*.ancien")}, QDir::Files), QStringList());
}

TEST_F(FileInWindow, AclAndExtendedAttributesAreKept)
{
    const QString file = shm.path(QStringLiteral("a.php"));
    writeFile(file, "old\n");
    run(QStringLiteral("setfacl"), {QStringLiteral("-m"), QStringLiteral("u:nobody:rw"), file});
    run(QStringLiteral("setfattr"), {QStringLiteral("-n"), QStringLiteral("user.origine"), QStringLiteral("-v"), QStringLiteral("site"), file});
    run(QStringLiteral("chmod"), {QStringLiteral("640"), file});
    const QByteArray acl = run(QStringLiteral("getfacl"), {QStringLiteral("-c"), file});
    const QByteArray attrs = run(QStringLiteral("getfattr"), {QStringLiteral("-d"), QStringLiteral("--absolute-names"), file});
    const mode_t mode = statOf(file).st_mode;
    load(file);
    QTest::keyClicks(window->M, QStringLiteral("new "));
    ASSERT_TRUE(preview());
    EXPECT_EQ(readFile(file), QByteArray("new old\n"));
    EXPECT_EQ(run(QStringLiteral("getfacl"), {QStringLiteral("-c"), file}), acl);
    EXPECT_EQ(run(QStringLiteral("getfattr"), {QStringLiteral("-d"), QStringLiteral("--absolute-names"), file}), attrs);
    EXPECT_EQ(statOf(file).st_mode, mode);
}

TEST(EditedFileAsUser, AWritableFileInAFolderTheUserMayNotWriteIsWrittenInPlace)
{
    ShmFolder shm; // root's, 0755: nobody may not create files in it
    const QString file = shm.path(QStringLiteral("a.php"));
    writeFile(file, "old\n");
    ::chmod(QFile::encodeName(file).constData(), 0666);
    const ino_t inode = statOf(file).st_ino;
    QTemporaryDir cache(QStringLiteral("/dev/shm/ondrel-cache-XXXXXX"));
    ::chmod(QFile::encodeName(cache.path()).constData(), 01777);
    const QByteArray cacheBefore = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    struct Restore
    {
        QByteArray value;
        ~Restore() { qputenv("XDG_CACHE_HOME", value); }
    } restore{cacheBefore};
    // Root runs the child as nobody; any other user is refused the folder itself (0555), which
    // is the same rule with no second account.
    const QByteArray folder = QFile::encodeName(shm.dir.path());
    if (!runsAsRoot())
        ::chmod(folder.constData(), 0555);
    struct Reopen
    {
        QByteArray folder;
        ~Reopen() { ::chmod(folder.constData(), 0755); }
    } reopen{folder};
    const QStringList edit{kChild, QStringLiteral("edit-file"), file};
    const QStringList command = runsAsRoot() ? asNobody(edit) : edit;
    FaultProcess child;
    ASSERT_TRUE(child.start(command.first(), command.mid(1))) << child.output().constData();
    ASSERT_TRUE(child.finish()) << child.output().constData();
    EXPECT_TRUE(child.messages().isEmpty()) << child.output().constData();
    EXPECT_EQ(readFile(file), QByteArray("Xold\n"));
    EXPECT_EQ(statOf(file).st_ino, inode);
}

// --- Rows 10, 11, 12: reading is bounded, names are bytes -------------------------------

struct RefusedCase
{
    const char *name;
    std::function<QString(const ShmFolder &)> make; // makes the file after it was listed, gives its path
    const char *reason;                             // the second line of the box
};

class Refused : public FileInWindow, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(Refused, ChoosingItKeepsTheEditsAndSaysWhy)
{
    const RefusedCase &c = GetParam();
    const QString keep = shm.path(QStringLiteral("keep.php"));
    writeFile(keep, "keep\n");
    writeFile(shm.path(QStringLiteral("z.php")), "listed\n");
    writeFile(shm.path(QStringLiteral("caf\uFFFD.php")), "the other file\n");
    const QByteArray raw = QFile::encodeName(shm.dir.path()) + "/caf\xE9.php";
    ::close(::open(raw.constData(), O_CREAT | O_WRONLY, 0644));
    chooseFile(*window, shm.dir.path(), QStringLiteral("keep.php"));
    QTest::keyClicks(window->M, QStringLiteral("edits "));
    const QString path = c.make(shm); // after the listing: what the list shows is no longer there
    ModalWatcher boxes;
    pressItem(window->flb, QFileInfo(path).fileName());
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Erreur de lecture.\n") + QString::fromUtf8(c.reason).arg(path));
    EXPECT_EQ(readFile(shm.path(QStringLiteral("caf\uFFFD.php"))), QByteArray("the other file\n"));
    EXPECT_EQ(window->M->wholeText(), QByteArray("edits keep\r\n"));
    EXPECT_EQ(window->session()->editedFile()->path(), keep);
}

INSTANTIATE_TEST_SUITE_P(Rows, Refused, ::testing::Values(
    RefusedCase{"Fifo", [](const ShmFolder &f) {
        const QString p = f.path(QStringLiteral("z.php"));
        QFile::remove(p);
        ::mkfifo(QFile::encodeName(p).constData(), 0644);
        return p; }, "Ce n'est pas un fichier ordinaire : %1"},
    RefusedCase{"TooLarge", [](const ShmFolder &f) {
        const QString p = f.path(QStringLiteral("z.php"));
        ::truncate(QFile::encodeName(p).constData(), qint64(2200) << 20);
        return p; }, "Fichier trop volumineux : %1"},
    RefusedCase{"NameNotUtf8", [](const ShmFolder &f) {
        return QFile::decodeName(QFile::encodeName(f.dir.path()) + "/caf\xE9.php"); },
        "Nom de fichier illisible (octets hors UTF-8) : %1"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ReadBounded, AProcFileThatClaimsNoSizeIsReadOnlyUpToTheLimit)
{
    ASSERT_EQ(QFileInfo(QStringLiteral("/proc/self/maps")).size(), 0);
    EXPECT_EQ(readWholeFile(QStringLiteral("/proc/self/maps"), 64).error, ReadError::TooLarge);
    EXPECT_TRUE(readWholeFile(QStringLiteral("/proc/self/maps"), kMaxFileBytes).ok());
}

// --- Row 15: unsaved text survives a crash ------------------------------------------

TEST(Journal, TextTypedBeforeAKillIsOfferedBackAtTheNextStart)
{
    TempFolder sideFiles;
    ShmFolder shm;
    const QString file = shm.path(QStringLiteral("page.php"));
    writeFile(file, "saved\n");
    FaultProcess child;
    ASSERT_TRUE(child.start(kChild, {QStringLiteral("type-and-wait"), sideFiles.path({}), file, QStringLiteral("typed ")}))
        << child.output().constData();
    ASSERT_TRUE(QTest::qWaitFor([&] { return journalsOf(file).size() == 1; }, 30000)) << child.output().constData();
    child.kill();
    EXPECT_EQ(readFile(file), QByteArray("saved\n"));

    ModalWatcher boxes;
    boxes.answer = QStringLiteral("Récupérer");
    auto window = makeWindow(sideFiles.path({}));
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_TRUE(boxes.boxes[0].text.contains(file));
    EXPECT_EQ(window->M->wholeText(), QByteArray("typed saved\r\n"));
    EXPECT_EQ(window->eFile->text(), file);
    EXPECT_TRUE(window->M->isModified());

    window->eURL->setText(QStringLiteral("about:blank"));
    ASSERT_TRUE(window->session()->saveEditedFile()); // a save ends the journal
    EXPECT_EQ(readFile(file), QByteArray("typed saved\n"));
    EXPECT_TRUE(journalsOf(file).isEmpty());
    window.reset();
    auto again = makeWindow(sideFiles.path({}));
    EXPECT_EQ(boxes.boxes.size(), 1); // nothing left to offer
}

TEST(Journal, TwoWindowsOfOneFileKeepTheirOwnJournalsThroughTheOthersSaveAndKill)
{
    TempFolder sideA, sideB, sideC;
    ShmFolder shm;
    const QString file = shm.path(QStringLiteral("page.php"));
    writeFile(file, "saved\n");
    FaultProcess a, b;
    ASSERT_TRUE(a.start(kChild, {QStringLiteral("type-and-wait"), sideA.path({}), file, QStringLiteral("A ")})) << a.output().constData();
    ASSERT_TRUE(QTest::qWaitFor([&] { return journalsOf(file).size() == 1; }, 30000)) << a.output().constData();
    ASSERT_TRUE(b.start(kChild, {QStringLiteral("type-and-wait"), sideB.path({}), file, QStringLiteral("B ")})) << b.output().constData();
    ASSERT_TRUE(QTest::qWaitFor([&] { return journalsOf(file).size() == 2; }, 30000)) << b.output().constData();

    ModalWatcher boxes;
    {
        SCOPED_TRACE("a third window saves the file: the journals of the two others stay");
        auto window = makeWindow(sideC.path({}));
        EXPECT_TRUE(boxes.boxes.isEmpty()); // both writers live: nothing to offer
        window->session()->loadEditedFile(file);
        window->eFile->setText(file);
        window->eURL->setText(QStringLiteral("about:blank"));
        window->M->SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, 0UL, "C ");
        ASSERT_TRUE(window->session()->saveEditedFile());
        EXPECT_EQ(journalsOf(file).size(), 2);
    }
    const struct
    {
        const char *name;
        FaultProcess *killed;
        QByteArray text;
    } kills[] = {{"the first window killed: its text only", &a, "A saved\r\n"},
                 {"then the second: its own text", &b, "B saved\r\n"}};
    for (const auto &k : kills) {
        SCOPED_TRACE(k.name);
        k.killed->kill();
        boxes.boxes.clear();
        boxes.answer = QStringLiteral("Récupérer");
        auto window = makeWindow(sideC.path({}));
        ASSERT_EQ(boxes.boxes.size(), 1);
        EXPECT_TRUE(boxes.boxes[0].text.contains(QStringLiteral("Ce texte a été conservé le "))) << boxes.boxes[0].text.toStdString();
        EXPECT_EQ(window->M->wholeText(), k.text);
        boxes.answer = QStringLiteral("Écraser"); // the third window's save came after the journal
        window->eURL->setText(QStringLiteral("about:blank"));
        ASSERT_TRUE(window->session()->saveEditedFile());
        EXPECT_EQ(readFile(file), QByteArray(k.text).replace("\r\n", "\n"));
    }
    EXPECT_TRUE(journalsOf(file).isEmpty());
}

/** Leaves the journal of `text` for `path`, as it is now, as a process that has since ended would. */
void leaveJournal(const QString &path, const QByteArray &text)
{
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    QByteArray bytes = journalBytes(path, text, diskIdentity(path));
    bytes.replace("pid=" + QByteArray::number(::getpid()) + '\n', "pid=" + QByteArray::number(gone) + '\n');
    QDir().mkpath(recoveryFolder());
    writeFile(journalPathFor(path), bytes);
}

struct RecoveryCase
{
    const char *name;
    const char *settings; // ondrel.ini; empty: a new user (the built-in server)
    bool fileThere;       // the edited file still exists
};

class Recovered : public ::testing::TestWithParam<RecoveryCase> {};

// "Récupérer" shows the file as a click in the list would: its URL by the rule in
// force, and the caption marked "*" since the text is not saved.
TEST_P(Recovered, TextGetsTheUrlOfTheRuleInForceAndTheUnsavedMark)
{
    const RecoveryCase &c = GetParam();
    TempFolder sideFiles;
    ShmFolder shm;
    // Below the folder it lies in: the rule in force and the bare one give different URLs.
    ASSERT_TRUE(QDir().mkpath(shm.path(QStringLiteral("sub"))));
    const QString file = shm.path(QStringLiteral("sub/page.php"));
    if (c.fileThere)
        writeFile(file, "saved\n");
    if (*c.settings)
        writeFile(sideFiles.path(QStringLiteral("ondrel.ini")), QByteArray(c.settings).replace("ROOT", QFile::encodeName(shm.dir.path())));
    leaveJournal(file, "typed\r\n");
    ModalWatcher boxes;
    boxes.answer = QStringLiteral("Récupérer");
    auto window = makeWindow(sideFiles.path({}));
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(window->M->wholeText(), QByteArray("typed\r\n"));
    EXPECT_EQ(window->eFile->text(), file);
    EXPECT_EQ(window->eURL->text(), window->targetUrlNow());
    EXPECT_TRUE(window->eURL->text().endsWith(QStringLiteral("/page.php"))) << window->eURL->text().toStdString();
    EXPECT_NE(window->eURL->text(), QStringLiteral("http://localhost/page.php"));
    EXPECT_TRUE(window->M->isModified());
    EXPECT_EQ(window->windowTitle(), u'*' + file);
    window->eURL->setText(QStringLiteral("about:blank"));
    ASSERT_TRUE(window->session()->saveEditedFile());
    EXPECT_EQ(readFile(file), QByteArray("typed\n"));
    EXPECT_EQ(window->windowTitle(), file);
}

INSTANTIATE_TEST_SUITE_P(Rows, Recovered, ::testing::Values(
    RecoveryCase{"BuiltinServer", "", true},
    RecoveryCase{"BuiltinServerFileGone", "", false},
    RecoveryCase{"OwnServerWithRoot", "[Params]\r\nServeurIntegre=0\r\nSite=http://exemple.test/site/\r\nRacine=ROOT\r\n", true}),
    [](const auto &info) { return std::string(info.param.name); });

/** Bytes this process has read so far, from any file (/proc/self/io). */
qint64 bytesRead()
{
    for (const QByteArray &line : readFile(QStringLiteral("/proc/self/io")).split('\n'))
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    return -1;
}

TEST_F(FileInWindow, SavingWhileTypingReadsTheFileOnce)
{
    const QString file = shm.path(QStringLiteral("big.php"));
    const QByteArray line = QByteArray("<?php echo 'une ligne de texte'; ?>").leftJustified(99, ' ') + '\n';
    writeFile(file, line.repeated(40000)); // 4 MB
    load(file);
    window->cbEnregistrementAuto->click();
    ASSERT_TRUE(window->session()->saveEditedFile()); // saved once by the user: saving while typing may go on
    QTest::keyClicks(window->M, QStringLiteral("x"));
    ASSERT_TRUE(window->mayAutoSave());
    const qint64 before = bytesRead();
    window->AutoSaveTimer();
    const qint64 read = bytesRead() - before;
    EXPECT_FALSE(window->M->isModified());
    EXPECT_TRUE(readFile(file).startsWith("x<?php"));
    EXPECT_GE(read, line.size() * 40000);
    EXPECT_LT(read, line.size() * 60000) << "the file was read more than once";
}

TEST(Journal, IsNamedByTheWholePathAndIgnoredWhenItsProcessRuns)
{
    EXPECT_NE(journalPathFor(QStringLiteral("/a/b.php")), journalPathFor(QStringLiteral("/a/c.php")));
    EXPECT_NE(journalPathFor(QStringLiteral("/a/b.php")), journalPathFor(QStringLiteral("/b/b.php")));
    JournalWriter writer;
    ASSERT_TRUE(writer.writeNow(QStringLiteral("/x/é.php"), "texte\r\n", FileIdentity{}));
    EXPECT_TRUE(leftJournals().isEmpty()); // this process's own
    Journal journal;
    ASSERT_TRUE(parseJournal(readFile(journalPathFor(QStringLiteral("/x/é.php"))), &journal));
    EXPECT_EQ(journal.path, QStringLiteral("/x/é.php"));
    EXPECT_EQ(journal.text, QByteArray("texte\r\n"));
    writer.schedule(QStringLiteral("/x/é.php"), "later", FileIdentity{});
    writer.remove(QStringLiteral("/x/é.php")); // a write scheduled before a removal never lands after it
    writer.wait();
    EXPECT_FALSE(QFile::exists(journalPathFor(QStringLiteral("/x/é.php"))));
}

// --- The edited-file object alone, its questions answered directly -------------------

/** Answers a save's questions as a table row says, and counts them. */
struct Answers final : SaveQuestions
{
    bool replace = false;
    OnDisk onDisk = OnDisk::Cancel;
    QStringList asked;
    bool writeWithoutSafeCopy(const QString &message) override
    {
        asked << QStringLiteral("unsafe ") + message;
        return false;
    }
    bool replaceOtherFile(const QString &path) override
    {
        asked << QStringLiteral("replace ") + QFileInfo(path).fileName();
        return replace;
    }
    OnDisk changedOnDisk(const QString &path) override
    {
        asked << QStringLiteral("changed ") + QFileInfo(path).fileName();
        return onDisk;
    }
    NotLoaded notLoaded = NotLoaded::Cancel;
    QString saveAs; // the path "Enregistrer sous…" gives
    bool recreate = false;
    NotLoaded notTheLoadedFile(const QString &path, bool nowALink) override
    {
        asked << (nowALink ? QStringLiteral("link ") : QStringLiteral("other ")) + QFileInfo(path).fileName();
        return notLoaded;
    }
    QString saveAsPath(const QString &path) override
    {
        asked << QStringLiteral("save as ") + QFileInfo(path).fileName();
        return saveAs;
    }
    bool recreateDeleted(const QString &path) override
    {
        asked << QStringLiteral("deleted ") + QFileInfo(path).fileName();
        return recreate;
    }
};

TEST(EditedFileObject, ASaveNeverFollowsALinkItDidNotOpenNorRecreatesADeletedFileUnasked)
{
    using NotLoaded = SaveQuestions::NotLoaded;
    const struct
    {
        const char *name;
        std::function<void(TempFolder &)> otherProgram; // after the load of site/a.php, before the save
        NotLoaded answer;
        bool recreate;
        const char *asked;      // the questions, comma separated
        bool saved;
        QByteArray a;           // what site/a.php reads afterwards ("-": gone)
        QByteArray secret;      // outside/secret.txt afterwards
        const char *owner;      // the file the text belongs to afterwards
    } cases[] = {
        {"a link to a file outside the site: cancelled", [](TempFolder &f) {
             QFile::remove(f.path("site/a.php"));
             QFile::link(f.path("outside/secret.txt"), f.path("site/a.php"));
         }, NotLoaded::Cancel, false, "link a.php", false, "secret\n", "secret\n", "a.php"},
        {"a link: \"Écraser\" is never taken through it", [](TempFolder &f) {
             QFile::remove(f.path("site/a.php"));
             QFile::link(f.path("outside/secret.txt"), f.path("site/a.php"));
         }, NotLoaded::Overwrite, false, "link a.php", false, "secret\n", "secret\n", "a.php"},
        {"a link of the same bytes: asked all the same", [](TempFolder &f) {
             writeFile(f.path("outside/secret.txt"), "a1\n");
             QFile::remove(f.path("site/a.php"));
             QFile::link(f.path("outside/secret.txt"), f.path("site/a.php"));
         }, NotLoaded::Cancel, false, "link a.php", false, "a1\n", "a1\n", "a.php"},
        {"a link: saved elsewhere", [](TempFolder &f) {
             QFile::remove(f.path("site/a.php"));
             QFile::link(f.path("outside/secret.txt"), f.path("site/a.php"));
         }, NotLoaded::SaveAs, false, "link a.php,save as a.php", true, "secret\n", "secret\n", "b.php"},
        {"another file renamed over it: overwritten when the user says so", [](TempFolder &f) {
             writeFile(f.path("site/new.php"), "other\n");
             QFile::remove(f.path("site/a.php"));
             QFile::rename(f.path("site/new.php"), f.path("site/a.php"));
         }, NotLoaded::Overwrite, false, "other a.php", true, "xa1\n", "secret\n", "a.php"},
        {"another file renamed over it, the same bytes: nothing to ask", [](TempFolder &f) {
             writeFile(f.path("site/new.php"), "a1\n");
             QFile::remove(f.path("site/a.php"));
             QFile::rename(f.path("site/new.php"), f.path("site/a.php"));
         }, NotLoaded::Cancel, false, "", true, "xa1\n", "secret\n", "a.php"},
        {"deleted: kept deleted", [](TempFolder &f) { QFile::remove(f.path("site/a.php")); },
         NotLoaded::Cancel, false, "deleted a.php", false, "-", "secret\n", "a.php"},
        {"deleted: created again", [](TempFolder &f) { QFile::remove(f.path("site/a.php")); },
         NotLoaded::Cancel, true, "deleted a.php", true, "xa1\n", "secret\n", "a.php"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const QString a = folder.write("site/a.php", "a1\n");
        folder.write("outside/secret.txt", "secret\n");
        RichEdit editor;
        ::EditedFile file(&editor);
        file.open(a);
        editor.SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, 0UL, "x");
        c.otherProgram(folder);
        Answers answers;
        answers.notLoaded = c.answer;
        answers.recreate = c.recreate;
        answers.saveAs = folder.path("site/b.php");
        EXPECT_EQ(file.save(a, answers), c.saved);
        EXPECT_EQ(answers.asked.join(u','), QString::fromUtf8(c.asked));
        EXPECT_EQ(QFileInfo::exists(a) ? readFile(a) : QByteArray("-"), c.a);
        EXPECT_EQ(readFile(folder.path("outside/secret.txt")), c.secret);
        EXPECT_EQ(QFileInfo(file.path()).fileName(), QString::fromUtf8(c.owner));
        if (c.answer == NotLoaded::SaveAs)
            EXPECT_EQ(readFile(folder.path("site/b.php")), "xa1\n");
    }
}

TEST(EditedFileObject, AFileDeletedUnderUnsavedTextIsToldAboveTheEditor)
{
    TempFolder folder;
    const QString a = folder.write("a.php", "a1\n");
    RichEdit editor;
    ::EditedFile file(&editor);
    QStringList notices;
    QObject::connect(&file, &::EditedFile::notice, &file, [&](const QString &text) { notices << text; });
    file.open(a);
    editor.SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, 0UL, "x");
    notices.clear();
    ASSERT_TRUE(QFile::remove(a));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !notices.isEmpty(); }, 10000));
    EXPECT_EQ(notices.front(), QStringLiteral("Le fichier %1 a été supprimé par un autre programme. "
                                              "Le texte de l'éditeur n'est pas encore enregistré.").arg(a));
    EXPECT_TRUE(file.isModified());
}

TEST(EditedFileObject, EachRunKeepsItsOwnJournalOfAFile)
{
    TempFolder cache;
    const QByteArray cacheBefore = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path({})));
    const QString page = QStringLiteral("/site/page.php");
    // Another window's journal of the same file, as a crash left it or as it is being written.
    const QString other = recoveryFolder() + QStringLiteral("/") + QFileInfo(journalPathFor(page)).fileName().section(u'-', 0, 0)
        + QStringLiteral("-0badcafe.journal");
    writeFile(other, journalBytes(page, "the other window's text\r\n", {}));
    JournalWriter writer;
    ASSERT_TRUE(writer.writeNow(page, "this window's text\r\n", {}));
    EXPECT_NE(journalPathFor(page), other);
    EXPECT_EQ(journalsOf(page).size(), 2);
    writer.remove(page); // this window's save
    EXPECT_EQ(journalsOf(page), QStringList{other});
    EXPECT_TRUE(journalsOf(QStringLiteral("/site/other.php")).isEmpty());
    qputenv("XDG_CACHE_HOME", cacheBefore);
}

struct SaveCase
{
    const char *name;
    bool otherProgramWrote; // a.php changed on disk after the load
    bool toOther;           // the target is b.php, an existing file
    bool replace;
    SaveQuestions::OnDisk onDisk;
    bool saved;             // save() returns true
    QByteArray a, b;        // the files afterwards
    QString path;           // the file the text belongs to afterwards
    QByteArray text;        // the editor's text afterwards
    int questions;
};

class ObjectSave : public ::testing::TestWithParam<SaveCase> {};

TEST_P(ObjectSave, AsksOnlyWhatTheFileOnDiskCallsForAndDoesWhatWasAnswered)
{
    const SaveCase &c = GetParam();
    TempFolder folder;
    const QString a = folder.write("a.php", "a1\n");
    const QString b = folder.write("b.php", "b1\n");
    RichEdit editor;
    ::EditedFile file(&editor);
    QStringList written;
    QObject::connect(&file, &::EditedFile::written, &file, [&](const QString &path) { written << path; });
    file.open(a);
    editor.SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, 0UL, "x");
    if (c.otherProgramWrote)
        writeFile(a, "a2\n");
    Answers answers;
    answers.replace = c.replace;
    answers.onDisk = c.onDisk;
    EXPECT_EQ(file.save(c.toOther ? b : a, answers), c.saved);
    EXPECT_EQ(answers.asked.size(), c.questions) << qPrintable(answers.asked.join(u','));
    EXPECT_EQ(readFile(a), c.a);
    EXPECT_EQ(readFile(b), c.b);
    EXPECT_EQ(QFileInfo(file.path()).fileName(), c.path);
    EXPECT_EQ(editor.wholeText(), c.text);
    EXPECT_EQ(written.size(), readFile(c.toOther ? b : a) == "xa1\n" ? 1 : 0);
    EXPECT_EQ(file.isModified(), c.text == "xa1\r\n" && written.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    EditedFile, ObjectSave,
    ::testing::Values(
        SaveCase{"own", false, false, false, SaveQuestions::OnDisk::Cancel, true, "xa1\n", "b1\n", "a.php", "xa1\r\n", 0},
        SaveCase{"changedOverwrite", true, false, false, SaveQuestions::OnDisk::Overwrite, true, "xa1\n", "b1\n", "a.php",
                 "xa1\r\n", 1},
        SaveCase{"changedReload", true, false, false, SaveQuestions::OnDisk::Reload, true, "a2\n", "b1\n", "a.php",
                 "a2\r\n", 1},
        SaveCase{"changedCancel", true, false, false, SaveQuestions::OnDisk::Cancel, false, "a2\n", "b1\n", "a.php",
                 "xa1\r\n", 1},
        SaveCase{"otherReplaced", false, true, true, SaveQuestions::OnDisk::Cancel, true, "a1\n", "xa1\n", "b.php",
                 "xa1\r\n", 1},
        SaveCase{"otherKept", false, true, false, SaveQuestions::OnDisk::Cancel, false, "a1\n", "b1\n", "a.php",
                 "xa1\r\n", 1}),
    [](const ::testing::TestParamInfo<SaveCase> &info) { return std::string(info.param.name); });

TEST(EditedFileObject, ABinaryFileIsNeverWrittenAndSaysSo)
{
    TempFolder folder;
    const QByteArray bytes("a\0b\n", 4);
    const QString path = folder.write("bin.dat", bytes);
    RichEdit editor;
    ::EditedFile file(&editor);
    QStringList notices;
    QObject::connect(&file, &::EditedFile::notice, &file, [&](const QString &text) { notices << text; });
    file.open(path);
    EXPECT_TRUE(editor.isReadOnly());
    Answers answers;
    EXPECT_TRUE(file.save(path, answers)); // nothing to cancel: the caller goes on
    EXPECT_THROW(file.write(folder.path("copie.dat")), OndrelError);
    EXPECT_EQ(readFile(path), bytes);
    EXPECT_FALSE(QFile::exists(folder.path("copie.dat")));
    ASSERT_EQ(notices.size(), 2);
    EXPECT_TRUE(notices[0].startsWith(QStringLiteral("Fichier binaire : ouvert en lecture seule")));
    EXPECT_EQ(notices[1], QStringLiteral("Fichier binaire : non enregistré"));
    file.forget(); // a text of no file is writable again
    EXPECT_FALSE(editor.isReadOnly());
    EXPECT_TRUE(file.path().isEmpty());
}

TEST(EditedFileObject, SavingWhileTypingIsDueAfterAPauseAndOnlyForTheTextShown)
{
    RichEdit editor;
    ::EditedFile shown(&editor);
    int due = 0;
    QObject::connect(&shown, &::EditedFile::autoSaveDue, &shown, [&] { ++due; });
    QElapsedTimer sinceKey;
    shown.autoSaveAfterPause();
    QTest::qWait(400);
    shown.autoSaveAfterPause(); // a key restarts the wait
    sinceKey.start();
    QTest::qWait(500);
    if (sinceKey.elapsed() < 700) // a loaded machine may oversleep: then nothing can be told
        EXPECT_EQ(due, 0) << "the first key's wait was not restarted";
    ASSERT_TRUE(QTest::qWaitFor([&] { return due >= 1; }, 2000));
    QTest::qWait(900); // nothing else is due
    due = 0;

    shown.autoSaveAfterPause();
    ::EditedFile other(&editor, ::EditedFile::NewText{});
    shown.hide(); // another tab comes forward: its pause is not this text's
    other.show();
    QTest::qWait(1000);
    EXPECT_EQ(due, 0);
}

TEST(EditedFileObject, TheControlOutlivesItsFileAndTheFileItsControl)
{
    TempFolder folder;
    const QString path = folder.write("mixte.php", "a\r\nb\nc\n");
    RichEdit editor;
    {
        ::EditedFile file(&editor);
        file.load(path);
        EXPECT_EQ(file.form().breaks.size(), 4); // CR LF then LF: each line keeps its own
        editor.SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, 0UL, "n\r\n");
        EXPECT_EQ(file.form().breaks.size(), 5);
        EXPECT_EQ(&editor.form(), &file.form());
    }
    EXPECT_TRUE(editor.form().breaks.isEmpty()); // its own blank form again, never the gone file's
    editor.SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, 0UL, "m\r\n"); // no write into freed memory
    EXPECT_EQ(editor.lineCount(), 6);

    auto *control = new RichEdit;
    ::EditedFile orphan(control);
    orphan.load(path);
    delete control;
    EXPECT_EQ(orphan.editor(), nullptr);
    EXPECT_FALSE(orphan.isModified());
}


// --- Tabs: one edited file each, the editor showing the current one ---------------------

class Tabs : public FileInWindow
{
protected:
    void SetUp() override
    {
        FileInWindow::SetUp();
        for (const char *name : {"a.php", "b.php", "c.php"})
            writeFile(shm.path(QString::fromLatin1(name)), QByteArray(name) + "\nl2\nl3\nl4\n");
    }
    void open(const char *name) { chooseFile(*window, shm.dir.path(), QString::fromLatin1(name)); }
    int tabOf(const char *name) const
    {
        const QList<::EditedFile *> &files = window->session()->openFiles();
        for (int i = 0; i < files.size(); ++i)
            if (QFileInfo(files[i]->path()).fileName() == QLatin1String(name))
                return i;
        return -1;
    }
    void show(const char *name) { window->session()->showFileTab(tabOf(name)); }
};

TEST_F(Tabs, EachFileKeepsItsTextUndoCaretAndAnchorsAcrossSwitches)
{
    open("a.php");
    window->showPage(window->tsEdit);
    window->M->setFocus();
    window->M->setSelStart(window->M->lineStartOffset(2));
    QTest::keyClicks(window->M, QStringLiteral("A"));
    window->SpeedButton8MouseUp(window->SpeedButton9, Qt::RightButton); // anchor 2 on line 3
    open("b.php");
    ASSERT_EQ(window->session()->openFiles().size(), 2);
    EXPECT_EQ(window->M->wholeText(), QByteArray("b.php\r\nl2\r\nl3\r\nl4\r\n"));
    EXPECT_EQ(window->eFile->text(), shm.path(QStringLiteral("b.php")));
    EXPECT_EQ(window->SpeedButton9->text(), QStringLiteral("0")); // b.php's own anchors
    EXPECT_FALSE(window->M->isModified());
    QTest::keyClicks(window->M, QStringLiteral("B"));

    struct Row
    {
        const char *file;
        QByteArray text;
        int caretLine;
        QString anchor;
    };
    const Row rows[] = {
        {"a.php", "a.php\r\nl2\r\nAl3\r\nl4\r\n", 2, QStringLiteral("3")},
        {"b.php", "Bb.php\r\nl2\r\nl3\r\nl4\r\n", 0, QStringLiteral("0")},
        {"a.php", "a.php\r\nl2\r\nAl3\r\nl4\r\n", 2, QStringLiteral("3")},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.file);
        show(row.file);
        EXPECT_EQ(window->M->wholeText(), row.text);
        EXPECT_TRUE(window->M->isModified());
        EXPECT_EQ(window->M->caretPosition().y, row.caretLine);
        EXPECT_EQ(window->SpeedButton9->text(), row.anchor);
        EXPECT_EQ(window->eFile->text(), shm.path(QString::fromLatin1(row.file)));
        EXPECT_TRUE(window->windowTitle().startsWith(u'*'));
        EXPECT_TRUE(window->tbFichiers->tabText(window->tbFichiers->currentIndex()).startsWith(u'*'));
    }
    window->M->undo(); // a.php's own typing, never b.php's
    EXPECT_EQ(window->M->wholeText(), QByteArray("a.php\r\nl2\r\nl3\r\nl4\r\n"));
    show("b.php");
    EXPECT_EQ(window->M->wholeText(), QByteArray("Bb.php\r\nl2\r\nl3\r\nl4\r\n"));

    open("a.php"); // open already: its tab, nothing read again
    EXPECT_EQ(window->session()->openFiles().size(), 2);
    EXPECT_EQ(window->tbFichiers->currentIndex(), tabOf("a.php"));
}

TEST_F(Tabs, ClosingAsksOnlyForUnsavedTextAndTheLastTabLeavesAnEmptyText)
{
    open("a.php");
    open("b.php");
    open("c.php");
    QTest::keyClicks(window->M, QStringLiteral("C"));
    ModalWatcher boxes;

    struct Row
    {
        const char *file;
        const char *answer;
        bool closed;
        int questions; // boxes so far
    };
    const Row rows[] = {
        {"a.php", "", true, 0},            // unchanged: no question
        {"c.php", "Annuler", false, 1},    // kept, with its text
        {"c.php", "Abandonner", true, 2},  // let go: the file as it was
        {"b.php", "", true, 2},            // the last one: an empty text takes its place
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.file);
        boxes.answer = QString::fromLatin1(row.answer);
        const int before = int(window->session()->openFiles().size());
        EXPECT_EQ(window->session()->closeFileTab(tabOf(row.file)), row.closed);
        EXPECT_EQ(boxes.boxes.size(), row.questions);
        EXPECT_EQ(tabOf(row.file) < 0, row.closed);
        EXPECT_EQ(int(window->session()->openFiles().size()), row.closed && before > 1 ? before - 1 : before);
        EXPECT_EQ(window->tbFichiers->count(), window->session()->openFiles().size());
    }
    EXPECT_EQ(readFile(shm.path(QStringLiteral("c.php"))), QByteArray("c.php\nl2\nl3\nl4\n"));
    EXPECT_TRUE(window->session()->editedFile()->path().isEmpty());
    EXPECT_TRUE(window->M->wholeText().isEmpty());
    EXPECT_TRUE(window->eFile->text().isEmpty());
}

TEST_F(Tabs, AFileChangedOnDiskBehindItsTabIsReadWhenShown)
{
    open("a.php");
    open("b.php");
    writeFile(shm.path(QStringLiteral("a.php")), "changed\n");
    QTest::qWait(600); // the watch's pause, with a.php not shown
    EXPECT_EQ(window->M->wholeText(), QByteArray("b.php\r\nl2\r\nl3\r\nl4\r\n"));
    show("a.php");
    EXPECT_EQ(window->M->wholeText(), QByteArray("changed\r\n"));
    EXPECT_FALSE(window->M->isModified());
}

TEST_F(Tabs, ClosingTheWindowAsksOnceForEveryUnsavedFile)
{
    open("a.php");
    QTest::keyClicks(window->M, QStringLiteral("A"));
    open("b.php");
    QTest::keyClicks(window->M, QStringLiteral("B"));
    open("c.php");
    ModalWatcher boxes;
    boxes.answer = QStringLiteral("Annuler");
    EXPECT_FALSE(window->close());
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_TRUE(boxes.boxes[0].text.contains(shm.path(QStringLiteral("a.php"))));
    EXPECT_TRUE(boxes.boxes[0].text.contains(shm.path(QStringLiteral("b.php"))));
    EXPECT_FALSE(boxes.boxes[0].text.contains(shm.path(QStringLiteral("c.php"))));
    boxes.answer = QStringLiteral("Abandonner"); // the window may go, the files stay as they were
    EXPECT_TRUE(window->session()->mayCloseFiles());
    EXPECT_EQ(readFile(shm.path(QStringLiteral("a.php"))), QByteArray("a.php\nl2\nl3\nl4\n"));
    boxes.answer = QStringLiteral("Enregistrer");
    EXPECT_TRUE(window->close());
    EXPECT_EQ(boxes.boxes.size(), 3);
    EXPECT_EQ(readFile(shm.path(QStringLiteral("a.php"))), QByteArray("Aa.php\nl2\nl3\nl4\n"));
    EXPECT_EQ(readFile(shm.path(QStringLiteral("b.php"))), QByteArray("Bb.php\nl2\nl3\nl4\n"));
}

TEST_F(Tabs, TabsClosedInAnyOrderThenTheWindowGoes)
{
    // Each order closes some tabs (current or not, typed in or not), switches,
    // then takes the window down with what is left: nothing may outlive its file.
    const std::vector<std::vector<const char *>> orders = {
        {"a.php", "b.php"}, {"c.php", "a.php"}, {"b.php"}, {"c.php", "b.php", "a.php"}, {}};
    for (const auto &order : orders) {
        window = makeWindow(sideFiles.path({}));
        window->eURL->setText(QStringLiteral("about:blank"));
        open("a.php");
        QTest::keyClicks(window->M, QStringLiteral("x"));
        window->session()->saveEditedFile();
        open("b.php");
        open("c.php");
        window->M->errorMarks()->markServerError(1, QStringLiteral("erreur"));
        show("b.php");
        for (const char *name : order) {
            ASSERT_TRUE(window->session()->closeFileTab(tabOf(name)));
            window->session()->showFileTab(0);
            QTest::keyClicks(window->M, QStringLiteral("y"));
            window->M->undo();
        }
        EXPECT_EQ(window->tbFichiers->count(), std::max<qsizetype>(1, 3 - qsizetype(order.size())));
        window.reset();
    }
}

TEST_F(Tabs, AltLeftAndAltRightGoBackAndForthAcrossThreeFiles)
{
    open("a.php");
    ASSERT_TRUE(window->openFileAtLine(shm.path(QStringLiteral("a.php")), 3));
    ASSERT_TRUE(window->openFileAtLine(shm.path(QStringLiteral("b.php")), 2));
    ASSERT_TRUE(window->openFileAtLine(shm.path(QStringLiteral("c.php")), 4));
    window->SpeedButton8MouseUp(window->SpeedButton8, Qt::RightButton); // anchor 1 on c.php's line 4
    window->M->setCursorPosition(0, 0);
    window->SpeedButton8MouseUp(window->SpeedButton8, Qt::LeftButton);  // a jump within c.php
    ASSERT_EQ(window->M->caretPosition().y, 3);

    struct Row
    {
        Qt::Key key;
        const char *file;
        int line;
    };
    const Row rows[] = {
        {Qt::Key_Left, "c.php", 0},  // before the anchor's jump
        {Qt::Key_Left, "b.php", 1},
        {Qt::Key_Left, "a.php", 2},
        {Qt::Key_Left, "a.php", 0},  // where the first jump started
        {Qt::Key_Left, "a.php", 0},  // nothing further: it stays
        {Qt::Key_Right, "a.php", 2},
        {Qt::Key_Right, "b.php", 1},
        {Qt::Key_Right, "c.php", 0},
        {Qt::Key_Right, "c.php", 3},
        {Qt::Key_Right, "c.php", 3},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.file) + ":" + std::to_string(row.line));
        QTest::keyClick(window->M, row.key, Qt::AltModifier);
        EXPECT_EQ(QFileInfo(window->session()->editedFile()->path()).fileName(), QLatin1String(row.file));
        EXPECT_EQ(window->M->caretPosition().y, row.line);
    }
    EXPECT_EQ(window->session()->openFiles().size(), 3); // each file in its one tab
}

TEST_F(Tabs, AClosedFileComesBackFromTheRecentListWithItsCaretAndAnchors)
{
    writeFile(shm.path(QStringLiteral("long.php")), QByteArray("x\n").repeated(400));
    open("a.php");
    open("long.php");
    window->M->setCursorPosition(300, 1);
    window->SpeedButton8MouseUp(window->SpeedButton10, Qt::RightButton); // anchor 3 on line 301
    window->M->setFirstVisibleLine(280);
    const qsizetype caret = window->M->selStart();
    ASSERT_TRUE(window->session()->closeFileTab(tabOf("long.php")));
    EXPECT_EQ(window->SpeedButton10->text(), QStringLiteral("0")); // a.php's own

    window->showPage(window->tsEdit);
    window->siteSearch->openRecentBox();
    OpenFileBox *box = window->siteSearch->box();
    ASSERT_TRUE(box->isVisible());
    ASSERT_GE(box->list->count(), 2);
    EXPECT_EQ(box->list->item(0)->toolTip(), shm.path(QStringLiteral("long.php"))); // the last left comes first
    QTest::keyClicks(box->edit, QStringLiteral("long"));
    ASSERT_GE(box->list->count(), 1);
    EXPECT_EQ(box->list->item(0)->toolTip(), shm.path(QStringLiteral("long.php")));
    QTest::keyClick(box->edit, Qt::Key_Return);

    EXPECT_EQ(QFileInfo(window->session()->editedFile()->path()).fileName(), QStringLiteral("long.php"));
    EXPECT_EQ(window->M->selStart(), caret);
    EXPECT_EQ(window->M->firstVisibleLine(), 280);
    EXPECT_EQ(window->SpeedButton10->text(), QStringLiteral("301"));
    EXPECT_EQ(window->session()->editedFile()->anchor(2), QStringLiteral("301"));
}

TEST_F(Tabs, TheTabsAndThePinnedPageComeBackAtTheNextStartAndWhatChangedIsTold)
{
    open("a.php");
    open("b.php");
    open("c.php");
    show("a.php");
    window->pinPage();
    show("b.php");
    window->M->setCursorPosition(2, 0);
    window.reset(); // the end of the run writes the list
    writeFile(shm.path(QStringLiteral("c.php")), "changed meanwhile\n");
    ASSERT_TRUE(QFile::remove(shm.path(QStringLiteral("a.php"))));

    window = makeWindow(sideFiles.path({}));
    ASSERT_EQ(window->session()->openFiles().size(), 2);
    EXPECT_EQ(window->tbFichiers->tabToolTip(0), shm.path(QStringLiteral("b.php")));
    EXPECT_EQ(window->tbFichiers->tabToolTip(1), shm.path(QStringLiteral("c.php")));
    EXPECT_EQ(window->eFile->text(), shm.path(QStringLiteral("b.php"))); // the current tab, at its line
    EXPECT_EQ(window->M->caretPosition().y, 2);
    const QString notice = window->lNotice->text();
    EXPECT_TRUE(notice.contains(shm.path(QStringLiteral("a.php")) + QStringLiteral(" (la page épinglée)"))) << notice.toStdString();
    EXPECT_TRUE(notice.contains(QStringLiteral("modifiés par un autre programme depuis la dernière session : ")
                                + shm.path(QStringLiteral("c.php")))) << notice.toStdString();
    EXPECT_TRUE(window->pinnedPage().isEmpty()); // gone, so not pinned
    show("c.php");
    EXPECT_EQ(window->M->wholeText(), QByteArray("changed meanwhile\r\n")); // read as it is now

    window->pinPage();
    window.reset();
    window = makeWindow(sideFiles.path({}));
    EXPECT_EQ(window->pinnedPage(), shm.path(QStringLiteral("c.php")));
    EXPECT_TRUE(window->lNotice->text().isEmpty()) << window->lNotice->text().toStdString();
}

TEST_F(Tabs, ALogErrorOpensOnlyAFileOfTheSiteAtItsLine)
{
    open("a.php");
    struct Row
    {
        QString named;
        bool opened;
    };
    const Row rows[] = {
        {shm.path(QStringLiteral("c.php")), true},
        {QStringLiteral("/etc/passwd"), false},                 // named by a page, outside the site
        {shm.path(QStringLiteral("absent.php")), false},
        {shm.dir.path(), false},                                // a folder
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.named.toStdString());
        window->session()->showFileTab(tabOf("a.php"));
        window->mJournalLineClick(QStringLiteral("[Mon Jan  1 00:00:00 2026] PHP Warning:  x in %1 on line 3").arg(row.named),
                                  ServerLineKind::Error);
        EXPECT_EQ(window->session()->editedFile()->path() == row.named, row.opened);
        EXPECT_EQ(window->M->caretPosition().y, row.opened ? 2 : 0);
        EXPECT_EQ(window->eText->text().contains(QStringLiteral("n'est pas un fichier du site servi")), !row.opened);
        window->eText->clear();
    }
    EXPECT_EQ(window->session()->openFiles().size(), 2);
}

} // namespace

ONDREL_QT_TEST_MAIN
