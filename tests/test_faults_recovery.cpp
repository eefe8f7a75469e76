// Recovery against hostile timing: a newer file written by another program after the
// journal, a restart that gets the dead writer's process id (a PID namespace through
// unshare), and a cache folder that cannot be written while a hard-linked file is saved.
#include "support/qtmain.h"
#include "support/faultprocess.h"
#include "support/privilege.h"
#include "support/testsupport.h"

#include "app/main.h"
#include "app/sessioncontroller.h"
#include "editor/richedit.h"
#include "widgets/widgets.h"
#include "io/fileidentity.h"
#include "io/recovery.h"
#include "io/recoverypaths.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

#include <unistd.h>

namespace {

const QString kChild = QStringLiteral(ONDREL_FAULT_CHILD);

/** Sets an environment variable for one test and puts the old value back. */
struct EnvScope
{
    EnvScope(const char *name, const QString &value) : m_name(name), m_before(qgetenv(name))
    {
        qputenv(name, QFile::encodeName(value));
    }
    ~EnvScope() { qputenv(m_name, m_before); }
    const char *m_name;
    QByteArray m_before;
};

// --- A file changed by another program after the journal was made ----------------------------

struct ChangedCase
{
    const char *name;
    QStringList answers;  // the buttons clicked, one box after the other ("" closes a box plainly)
    QByteArray file;      // f1.php at the end
    QByteArray copy;      // "f1 (récupéré).php" at the end; empty: none
    QByteArray editor;    // the editor's text
    bool modified;
    bool journalLeft;
};

class ChangedSince : public ::testing::TestWithParam<ChangedCase> {};

TEST_P(ChangedSince, TheNewerFileIsNeverWrittenOverUnasked)
{
    const ChangedCase &c = GetParam();
    TempFolder sideFiles, site;
    const QString file = site.write(QStringLiteral("f1.php"), "saved\n");
    const QString copy = site.path(QStringLiteral("f1 (récupéré).php"));
    // Ondrel was killed with "typed" unsaved; then another program wrote the file.
    writeFile(journalPathFor(file), journalBytes(file, "typed\r\n", diskIdentity(file)));
    writeFile(file, "newer\n");

    ModalWatcher boxes;
    QString comparison;
    boxes.whileBoxOpen = [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && box->objectName() == QStringLiteral("compareBox"))
            comparison = box->detailedText();
        boxes.answer = c.answers.value(boxes.boxes.size() - 1);
    };
    auto window = makeWindow(sideFiles.path({}));
    ASSERT_GE(boxes.boxes.size(), 1);
    EXPECT_TRUE(boxes.boxes[0].text.contains(QStringLiteral("modifié depuis par un autre programme")))
        << boxes.boxes[0].text.toStdString();
    if (c.answers.contains(QStringLiteral("Comparer"))) {
        EXPECT_EQ(comparison, QStringLiteral("- newer\n+ typed"));
    }
    EXPECT_EQ(readFile(file), c.file);
    EXPECT_EQ(readFile(copy), c.copy);
    EXPECT_EQ(QFileInfo::exists(copy), !c.copy.isEmpty());
    EXPECT_EQ(window->M->wholeText(), c.editor);
    EXPECT_EQ(window->M->isModified(), c.modified);
    if (!c.copy.isEmpty()) {
        EXPECT_EQ(window->eFile->text(), copy);
    }
    EXPECT_EQ(QFile::exists(journalPathFor(file)), c.journalLeft);
}

INSTANTIATE_TEST_SUITE_P(Rows, ChangedSince, ::testing::Values(
    ChangedCase{"Recovered", {QStringLiteral("Récupérer")}, "newer\n", {}, "typed\r\n", true, true},
    ChangedCase{"KeptBoth", {QStringLiteral("Garder les deux")}, "newer\n", "typed\n", "typed\r\n", false, false},
    ChangedCase{"ComparedThenRecovered", {QStringLiteral("Comparer"), QString(), QStringLiteral("Récupérer")},
                "newer\n", {}, "typed\r\n", true, true},
    ChangedCase{"ComparedThenIgnored", {QStringLiteral("Comparer"), QString(), QStringLiteral("Ignorer")},
                "newer\n", {}, "", false, false}),
    [](const auto &info) { return std::string(info.param.name); });

// After "Récupérer", a save goes through the question of a file changed by another program.
TEST(ChangedSince, ASaveAfterRecoveringAsksAndOnlyOverwritesWhenTold)
{
    TempFolder sideFiles, site;
    const QString file = site.write(QStringLiteral("f1.php"), "saved\n");
    writeFile(journalPathFor(file), journalBytes(file, "typed\r\n", diskIdentity(file)));
    writeFile(file, "newer\n");
    ModalWatcher boxes;
    boxes.answer = QStringLiteral("Récupérer");
    auto window = makeWindow(sideFiles.path({}));
    ASSERT_EQ(boxes.boxes.size(), 1);
    window->eURL->setText(QStringLiteral("about:blank"));

    const struct
    {
        const char *answer;
        bool saved;
        const char *file;
    } rows[] = {{"Annuler", false, "newer\n"}, {"Écraser", true, "typed\n"}};
    for (const auto &row : rows) {
        boxes.answer = QString::fromUtf8(row.answer);
        const qsizetype before = boxes.boxes.size();
        EXPECT_EQ(window->session()->saveEditedFile(), row.saved) << row.answer;
        ASSERT_EQ(boxes.boxes.size(), before + 1) << row.answer;
        EXPECT_TRUE(boxes.boxes.last().text.contains(QStringLiteral("modifié par un autre programme"))) << row.answer;
        EXPECT_EQ(readFile(file), QByteArray(row.file)) << row.answer;
    }
}

// --- The writer's process id is alive again: a PID namespace -----------------------------------

/** The paths of the journals a start in a PID namespace of its own (as pid 1) would offer. */
QStringList offeredInANewNamespace()
{
    FaultProcess reader;
    const QStringList command = inPidNamespace({kChild, QStringLiteral("left-journals")});
    if (!reader.start(command.first(), command.mid(1)) || !reader.finish())
        return {QStringLiteral("(le lecteur a échoué) ") + QString::fromUtf8(reader.output())};
    return reader.messages();
}

TEST(PidNamespace, AJournalIsOfferedToAStartWithTheSameProcessIdOnlyOnceItsWriterIsGone)
{
    TempFolder site;
    const QString file = site.path(QStringLiteral("f1.php"));
    const QStringList command = inPidNamespace({kChild, QStringLiteral("journal-wait"), file, QStringLiteral("typed")});
    if (command.isEmpty())
        ONDREL_SKIP_WITHOUT("a PID namespace: not root, and this kernel allows no user namespaces");
    FaultProcess writer;
    ASSERT_TRUE(writer.start(command.first(), command.mid(1))) << writer.output().constData();
    Journal journal;
    ASSERT_EQ(journalsOf(file).size(), 1);
    ASSERT_TRUE(parseJournal(readFile(journalsOf(file).front()), &journal));
    ASSERT_EQ(journal.pid, 1); // the first process of its namespace, as the reader will be

    EXPECT_EQ(offeredInANewNamespace(), QStringList()) << "a journal whose writer runs was offered";
    writer.kill();
    QStringList offered;
    EXPECT_TRUE(QTest::qWaitFor([&] { return (offered = offeredInANewNamespace()) == QStringList{file}; }, 10000))
        << offered.join(u' ').toStdString();
}

// --- A cache folder that cannot be written -------------------------------------------------

struct CacheCase
{
    const char *name;
    bool runtimeBroken;
    bool besideBlocked;  // a folder where the copy beside the file would go
    const char *answer;  // to the question of a write with no copy; nullptr: none is asked
    bool saved;
};

class UnwritableCache : public ::testing::TestWithParam<CacheCase> {};

TEST_P(UnwritableCache, AHardLinkedFileIsStillSavedAndTheUserIsToldOnceTextIsNotJournaled)
{
    const CacheCase &c = GetParam();
    TempFolder sideFiles, site, runtime;
    const QString plain = site.write(QStringLiteral("plain"), "a file, not a folder");
    EnvScope cache("XDG_CACHE_HOME", plain + QStringLiteral("/cache")); // cannot be made, not even by root
    EnvScope runtimeDir("XDG_RUNTIME_DIR", c.runtimeBroken ? plain + QStringLiteral("/run") : runtime.dir.path());
    const QString file = site.write(QStringLiteral("f1.php"), "old\n");
    const QString link = site.path(QStringLiteral("other.php"));
    ASSERT_EQ(::link(QFile::encodeName(file).constData(), QFile::encodeName(link).constData()), 0);
    if (c.besideBlocked) {
        ASSERT_TRUE(QDir().mkpath(site.path(QStringLiteral(".f1.php.ondrel-ancien"))));
    }

    ModalWatcher boxes;
    auto window = makeWindow(sideFiles.path({}));
    window->eURL->setText(QStringLiteral("about:blank"));
    window->session()->loadEditedFile(file);
    window->eFile->setText(file);
    window->M->setSelStart(0);
    QTest::keyClicks(window->M, QStringLiteral("new "));
    const QString notice = QStringLiteral("Le texte non enregistré n'est pas conservé en cas d'arrêt");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->lNotice->text().startsWith(notice); }, 10000))
        << window->lNotice->text().toStdString();
    EXPECT_TRUE(boxes.boxes.isEmpty());

    boxes.answer = c.answer ? QString::fromUtf8(c.answer) : QString();
    EXPECT_EQ(window->session()->saveEditedFile(), c.saved);
    ASSERT_EQ(boxes.boxes.size(), c.answer ? 1 : 0);
    if (c.answer) {
        EXPECT_TRUE(boxes.boxes[0].text.contains(QStringLiteral("ne peut être copié nulle part"))) << boxes.boxes[0].text.toStdString();
    }
    EXPECT_EQ(readFile(link), QByteArray(c.saved ? "new old\n" : "old\n"));
    EXPECT_EQ(window->M->isModified(), !c.saved);

    if (c.besideBlocked)
        return;
    // Told once: more typing does not bring the notice back once it was cleared.
    window->showNotice(QString());
    QTest::keyClicks(window->M, QStringLiteral("x"));
    QTest::qWait(2500);
    EXPECT_EQ(window->lNotice->text(), QString());
}

INSTANTIATE_TEST_SUITE_P(Rows, UnwritableCache, ::testing::Values(
    CacheCase{"CopyBesideTheFile", true, false, nullptr, true},
    CacheCase{"CopyInTheRuntimeFolder", false, true, nullptr, true},
    CacheCase{"NoCopyUserSaysNo", true, true, "Annuler", false},
    CacheCase{"NoCopyUserSaysWrite", true, true, "Écrire quand même", true}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace

ONDREL_QT_TEST_MAIN
