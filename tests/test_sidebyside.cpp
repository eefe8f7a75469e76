// The page beside the editor, with Ondrel's own PHP server, the real web engine
// and the server's own request log: one request per save and no page switch, the
// scroll position kept, saving while typing, errors marked on their lines.
#include "support/qtmain.h"
#include "support/filepage.h"
#include "support/preview.h"
#include "support/testsupport.h"

#include "app/main.h"
#include "app/sessioncontroller.h"
#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "files/editedfile.h"
#include "preview/phpserver.h"
#include "preview/previewmodule.h"
#include "preview/serverlogpanel.h"
#include "preview/webbrowser.h"
#include "settings/profile.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHelpEvent>
#include <QRegularExpression>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <QToolTip>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

class SideBySide : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = QDir(site.path({})).canonicalPath();
        page = root + QStringLiteral("/page.php");
        writeFile(page, "<?php echo 'Bonjour ' . ($_GET['test'] ?? 'personne');\n");
        window = makeWindow(sideFiles.path({}));
        window->eRacine->setText(root);
        chooseFile(*window, root, QStringLiteral("page.php"));
        window->showPage(window->tsEdit);
        window->M->setFocus();
    }

    /** How many times the built-in server answered `request` ("GET /page.php?test=1"). */
    int requests(const QString &request) const { return int(builtinServerRequests(*window).count(request)); }

    QString shownText() { return ::shownText(*window); }

    /** Ticks "Aperçu à côté" and waits for the page beside the editor. */
    void sideModeOn()
    {
        QTest::keyClick(window->M, Qt::Key_F10);
        ASSERT_TRUE(window->cbApercuACote->isChecked());
        ASSERT_TRUE(QTest::qWaitFor([&] { return requests(kGet) == 1 && !window->WB->isLoading(); }, kLoadTimeoutMs));
    }

    void type(const char *text)
    {
        QTest::keyClicks(window->M, QString::fromUtf8(text));
    }

    const QString kGet = QStringLiteral("GET /page.php?test=1");
    TempFolder sideFiles, site;
    QString root, page;
    std::unique_ptr<TfmMain> window;
    ModalWatcher boxes;
};

TEST_F(SideBySide, EverySaveFetchesThePageOnceAndTheEditorStays)
{
    sideModeOn();
    QWebEngineView *engine = webView(window->WB);
    EXPECT_EQ(window->WB->parentWidget(), window->spApercu);
    EXPECT_TRUE(window->M->errorMarks()->marginVisible());

    // F9 in side mode saves and stays; the save key's path (saveEditedFile) does the same.
    const std::function<void()> saves[] = {
        [&] { QTest::keyClick(window->M, Qt::Key_F9); },
        [&] { window->session()->saveEditedFile(); },
    };
    int expected = 1;
    for (const auto &save : saves) {
        window->M->setCursorPosition(0, 0);
        type("<?php echo 'Ajout '; ?>");
        save();
        ++expected;
        ASSERT_TRUE(readFile(page).startsWith(QByteArray("<?php echo 'Ajout '; ?>").repeated(expected - 1)));
        ASSERT_TRUE(QTest::qWaitFor([&] { return shownText().contains(QStringLiteral("Ajout ").repeated(expected - 1)); },
                                    kLoadTimeoutMs))
            << shownText().toStdString();
        QTest::qWait(300); // room for a stray request to reach the log
        EXPECT_EQ(requests(kGet), expected);
        EXPECT_EQ(window->PC->currentWidget(), window->tsEdit);
        EXPECT_TRUE(window->M->hasFocus());
    }

    // The preview tab takes the one browser over, and gives it back.
    clickTab(*window, window->tsWB);
    ASSERT_TRUE(QTest::qWaitFor([&] { return requests(kGet) == expected + 1; }, kLoadTimeoutMs));
    EXPECT_EQ(window->WB->parentWidget(), window->tsWB);
    EXPECT_EQ(webView(window->WB), engine);
    clickTab(*window, window->tsEdit);
    EXPECT_EQ(window->WB->parentWidget(), window->spApercu);
    EXPECT_EQ(webView(window->WB), engine);

    // F10 again: the tab flow as before, F9 shows the preview page.
    QTest::keyClick(window->M, Qt::Key_F10);
    EXPECT_FALSE(window->cbApercuACote->isChecked());
    EXPECT_EQ(window->WB->parentWidget(), window->tsWB);
    QTest::keyClick(window->M, Qt::Key_F9);
    EXPECT_EQ(window->PC->currentWidget(), window->tsWB);
    EXPECT_TRUE(window->server()->isRunning());
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(SideBySide, TheScrollPositionIsKeptAcrossAReload)
{
    writeFile(page, "<?php echo str_repeat('<p>ligne</p>', 400), 'v1';\n");
    window->session()->editedFile()->load(page);
    sideModeOn();
    webView(window->WB)->page()->runJavaScript(QStringLiteral("window.scrollTo(0, 1500)"));
    QWebEnginePage *shown = webView(window->WB)->page();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown->scrollPosition().y() >= 1499; }, kLoadTimeoutMs));

    window->M->setBytes("<?php echo str_repeat('<p>ligne</p>', 400), 'v2';\r\n");
    type(" "); // an edit, so the save writes
    QTest::keyClick(window->M, Qt::Key_F9);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownText().contains(QStringLiteral("v2")); }, kLoadTimeoutMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown->scrollPosition().y() >= 1499; }, kLoadTimeoutMs))
        << shown->scrollPosition().y();
    EXPECT_EQ(requests(kGet), 2);
}

TEST_F(SideBySide, SavingWhileTypingSavesOnceAfterAPauseAndNeverBehindTheUser)
{
    EXPECT_FALSE(window->cbEnregistrementAuto->isChecked()); // off for a new user
    sideModeOn();
    window->cbEnregistrementAuto->click();
    const QByteArray original = readFile(page);

    // Not saved once since start-up: typing never saves it.
    type("<?php echo 'a'; ?>");
    QTest::qWait(1500);
    EXPECT_EQ(readFile(page), original);
    window->session()->saveEditedFile();
    ASSERT_TRUE(QTest::qWaitFor([&] { return requests(kGet) == 2; }, kLoadTimeoutMs));

    // Typing on: nothing saved while the keys keep coming, one save after the pause.
    const QByteArray saved = readFile(page);
    for (int i = 0; i < 8; ++i) {
        type("b");
        QTest::qWait(250);
        EXPECT_EQ(readFile(page), saved) << "saved while typing, key " << i;
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return readFile(page) != saved; }, 5000));
    EXPECT_TRUE(readFile(page).startsWith("<?php echo 'a'; ?>bbbbbbbb"));
    QTest::qWait(1500);
    EXPECT_EQ(requests(kGet), 3);
    EXPECT_FALSE(window->M->isModified());

    // Another program changes the file, even keeping its size and date: typing no longer saves over it.
    const QByteArray other = QByteArray("<?php echo 'autre';").leftJustified(readFile(page).size(), ' ');
    const QDateTime stamp = QFileInfo(page).lastModified();
    writeFile(page, other);
    {
        QFile file(page);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.setFileTime(stamp, QFileDevice::FileModificationTime));
    }
    type("c");
    QTest::qWait(1500);
    EXPECT_EQ(readFile(page), other);
    EXPECT_EQ(requests(kGet), 3);
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(SideBySide, ErrorsMarkTheirLinesUntilTheNextCleanSave)
{
    sideModeOn();
    struct Case
    {
        const char *name;
        QByteArray text;
        int line;        // 0-based line to be marked
        QString message; // part of the mark's tooltip
    };
    const Case cases[] = {
        {"server", "<?php\r\n$a = 1;\r\nfonction_absente();\r\n", 2, QStringLiteral("fonction_absente")},
        {"lint", "<?php\r\necho 'a';\r\n$b = 2\r\necho 'c';\r\n", 3, QStringLiteral("Erreur de syntaxe ligne 4")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        window->M->setBytes(c.text);
        type(" "); // an edit, so the save writes
        QTest::keyClick(window->M, Qt::Key_F9);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->M->errorMarks()->errorMessages(c.line).contains(c.message); }, kLoadTimeoutMs))
            << window->M->errorMarks()->errorLine();
        EXPECT_EQ(window->M->errorMarks()->errorLine(), c.line);

        // The margins' tooltip shows the message; a click on the line's number or on its dot
        // brings the caret to the line (not the number margin's line selection).
        const int y = int(window->M->SendScintilla(QsciScintilla::SCI_POINTYFROMPOSITION, 0UL,
                                                   window->M->lineStartOffset(c.line))) + 4;
        const int numbers = int(window->M->SendScintilla(QsciScintilla::SCI_GETMARGINWIDTHN, 0UL));
        for (const QPoint at : {QPoint(4, y), QPoint(numbers + 4, y)}) {
            QHelpEvent help(QEvent::ToolTip, at, window->M->viewport()->mapToGlobal(at));
            QApplication::sendEvent(window->M->viewport(), &help);
            EXPECT_TRUE(QToolTip::text().contains(c.message)) << QToolTip::text().toStdString();
            window->M->setCursorPosition(0, 0);
            QTest::mouseClick(window->M->viewport(), Qt::LeftButton, {}, at);
            EXPECT_EQ(window->M->caretPosition().y, c.line) << "x " << at.x();
            EXPECT_EQ(window->M->selLength(), 0);
        }
        // An unmarked line's number still selects that line.
        const int firstY = int(window->M->SendScintilla(QsciScintilla::SCI_POINTYFROMPOSITION, 0UL, 0L)) + 4;
        QTest::mouseClick(window->M->viewport(), Qt::LeftButton, {}, QPoint(4, firstY));
        EXPECT_EQ(window->M->selStart(), 0);
        EXPECT_EQ(window->M->selLength(), window->M->lineStartOffset(1));

        window->M->setBytes("<?php echo 'propre';\r\n");
        type(" ");
        QTest::keyClick(window->M, Qt::Key_F9);
        ASSERT_TRUE(QTest::qWaitFor([&] { return shownText().contains(QStringLiteral("propre")); }, kLoadTimeoutMs));
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->M->errorMarks()->errorLine() == -1; }, kLoadTimeoutMs));
    }
}

TEST_F(SideBySide, AnErrorInAnIncludeOpenInAnotherTabMarksItsLineThere)
{
    sideModeOn();
    writeFile(root + QStringLiteral("/inc/db.php"), "<?php\nfunction db() {\n  return 'base' . $rien;\n}\n");
    chooseFile(*window, root + QStringLiteral("/inc"), QStringLiteral("db.php"));
    window->session()->showFileTab(0);
    ASSERT_EQ(window->eFile->text(), page);
    window->M->setBytes("<?php require __DIR__ . '/inc/db.php'; echo db();\r\n");
    type(" "); // an edit, so the save writes
    QTest::keyClick(window->M, Qt::Key_F9);
    const QRegularExpression warning(QStringLiteral(R"(.*Undefined variable \$rien in .*/inc/db\.php on line 3)"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->mJournal->lines().indexOf(warning) >= 0; }, kLoadTimeoutMs));
    EXPECT_EQ(window->M->errorMarks()->errorLine(), -1); // page.php itself is clean
    window->session()->showFileTab(1);
    EXPECT_EQ(window->M->errorMarks()->errorLine(), 2);
    EXPECT_TRUE(window->M->errorMarks()->errorMessages(2).contains(QStringLiteral("$rien")));
}

TEST_F(SideBySide, TheModeItsWidthAndSavingWhileTypingAreKept)
{
    window->cbApercuACote->click();
    window->cbEnregistrementAuto->click();
    window->resize(1000, 600);
    window->setApercuLargeur(420);
    EXPECT_EQ(window->spApercu->sizes().value(1), 420);
    window.reset();

    ProfileFile ini;
    ASSERT_TRUE(ini.load(sideFiles.path(QStringLiteral("ondrel.ini"))));
    EXPECT_EQ(ini.readString(QStringLiteral("Params"), QStringLiteral("ApercuACote")), QStringLiteral("1"));
    EXPECT_EQ(ini.readString(QStringLiteral("Params"), QStringLiteral("ApercuLargeur")), QStringLiteral("420"));
    EXPECT_EQ(ini.readString(QStringLiteral("Params"), QStringLiteral("EnregistrementAuto")), QStringLiteral("1"));

    window = makeWindow(sideFiles.path({}));
    EXPECT_TRUE(window->cbApercuACote->isChecked());
    EXPECT_TRUE(window->cbEnregistrementAuto->isChecked());
    EXPECT_EQ(window->apercuLargeur(), 420);
    window->showPage(window->tsEdit);
    EXPECT_EQ(window->WB->parentWidget(), window->spApercu);
}

/** Whether `module` had loaded when `window` was first painted. */
class FirstPaint : public QObject
{
public:
    FirstPaint(QWidget *window, const PreviewModule &module)
        : m_module(module)
    {
        window->installEventFilter(this);
    }
    bool painted = false;
    bool moduleLoadedThen = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !painted) {
            painted = true;
            moduleLoadedThen = m_module.loaded();
        }
        return false;
    }

private:
    const PreviewModule &m_module;
};

TEST_F(SideBySide, KeptSideModeLoadsThePreviewModuleOnlyAfterTheFirstPaint)
{
    window->cbApercuACote->click();
    window.reset(); // ApercuACote=1 and the file are kept

    PreviewModule late(PreviewModule::defaultPath());
    window = makeWindow(sideFiles.path({}), false);
    ASSERT_TRUE(window->cbApercuACote->isChecked());
    window->WB->setModule(&late);
    late.loadAfterFirstPaint(window.get(), 60000); // the idle load never comes within the test
    FirstPaint paint(window.get(), late);
    window->showPage(window->tsEdit); // the kept page beside the editor asks for the engine
    QTest::qWait(300);
    EXPECT_TRUE(late.held());
    EXPECT_FALSE(late.loaded());
    EXPECT_FALSE(window->WB->engineStarted());

    window->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->WB->engineStarted(); }, kLoadTimeoutMs));
    EXPECT_TRUE(paint.painted);
    EXPECT_FALSE(paint.moduleLoadedThen);
    ASSERT_TRUE(QTest::qWaitFor([&] { return requests(kGet) == 1 && !window->WB->isLoading(); }, kLoadTimeoutMs))
        << builtinServerRequests(*window).join(u' ').toStdString();
    EXPECT_TRUE(shownText().contains(QStringLiteral("Bonjour 1")));
    EXPECT_EQ(window->WB->parentWidget(), window->spApercu);
}

TEST_F(SideBySide, AModuleLoadedWhileIdleServesTheFirstF9)
{
    PreviewModule idle(PreviewModule::defaultPath());
    window->WB->setModule(&idle);
    idle.loadAfterFirstPaint(window.get(), 50);
    window->update();
    ASSERT_TRUE(QTest::qWaitFor([&] { return idle.loaded(); }, kLoadTimeoutMs)); // nothing asked for it
    EXPECT_FALSE(window->WB->engineStarted());
    QTest::keyClick(window->M, Qt::Key_F9);
    ASSERT_TRUE(QTest::qWaitFor([&] { return requests(kGet) == 1 && !window->WB->isLoading(); }, kLoadTimeoutMs));
    EXPECT_TRUE(shownText().contains(QStringLiteral("Bonjour 1")));
}

} // namespace

ONDREL_QT_TEST_MAIN
