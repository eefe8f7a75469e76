// The preview page against a real `php -S` server: save, navigate without cache, stop.
#include "support/qtmain.h"
#include "support/filepage.h"
#include "support/phpserver.h"
#include "support/preview.h"
#include "support/testsupport.h"

#include "app/main.h"
#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "files/browser.h"
#include "preview/webbrowser.h"

#include <QCheckBox>
#include <QDir>
#include <QProgressBar>
#include <QTabWidget>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

class Preview : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = QDir(site.path({})).canonicalPath();
        writeFile(root + QStringLiteral("/page.php"),
                  "<?php echo 'Bonjour ' . ($_GET['test'] ?? 'personne'); ?>\n<p>fin</p>\n");
        writeFile(root + QStringLiteral("/lent.php"), "<?php usleep(1500000); echo 'lent'; ?>\n");
        server = std::make_unique<PhpServer>(root);
        window = makeWindow(sideFiles.path({}));
        window->cbServeurIntegre->setChecked(false); // these tests preview through their own php -S
        window->eSite->setText(server->origin());
        window->eParam->setText(QStringLiteral("test=1"));
    }

    QString url(const QString &pathAndQuery) const { return server->origin() + pathAndQuery; }

    /** Waits until the browser reports `expected` as the last completed document. */
    bool completes(const QString &expected)
    {
        return QTest::qWaitFor([&] { return window->param->text() == expected; }, kLoadTimeoutMs);
    }

    /** The text of the page the browser shows. */
    QString shownText() { return ::shownText(*window); }

    /** Types `text` at the end of the editor's text, with real key events. */
    void typeAtEnd(const QString &text)
    {
        window->showPage(window->tsEdit);
        window->M->setFocus();
        QTest::keyClick(window->M, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(window->M, text);
    }

    TempFolder sideFiles, site;
    QString root;
    std::unique_ptr<PhpServer> server;
    std::unique_ptr<TfmMain> window;
    ModalWatcher boxes;
};

enum class Trigger { F9Key, TabClick };

class PreviewBy : public Preview, public ::testing::WithParamInterface<Trigger>
{
protected:
    /** Brings the preview page to the front the way the user does: F9 in the editor, or its tab. */
    void arrive()
    {
        if (GetParam() == Trigger::F9Key) {
            window->showPage(window->tsEdit);
            window->M->setFocus();
            QTest::keyClick(window->M, Qt::Key_F9);
        } else {
            clickTab(*window, window->tsEdit);
            clickTab(*window, window->tsWB);
        }
        EXPECT_EQ(window->PC->currentWidget(), window->tsWB);
    }
};

TEST_P(PreviewBy, SavesAndFetchesThePageOncePerArrival)
{
    chooseFile(*window, root, QStringLiteral("page.php"));
    EXPECT_FALSE(window->WB->engineStarted()); // nothing of the engine before the first preview
    typeAtEnd(QStringLiteral("ajout"));

    arrive();
    // The file keeps its LF line breaks and holds the change.
    EXPECT_EQ(readFile(root + QStringLiteral("/page.php")),
              QByteArray("<?php echo 'Bonjour ' . ($_GET['test'] ?? 'personne'); ?>\n<p>fin</p>\najout"));
    ASSERT_TRUE(completes(url(QStringLiteral("/page.php?test=1"))));
    EXPECT_TRUE(shownText().contains(QStringLiteral("Bonjour 1")));
    EXPECT_TRUE(shownText().contains(QStringLiteral("ajout")));
    EXPECT_EQ(window->eText->text(), QStringLiteral("Terminé"));
    EXPECT_EQ(window->PB->maximum(), 100);
    EXPECT_EQ(window->PB->value(), 100);
    QTest::qWait(300); // room for a stray second request to show in the log
    EXPECT_EQ(server->count(QStringLiteral("GET /page.php?test=1")), 1);

    // A second arrival without an edit fetches again: no cache. The file another program
    // changed meanwhile is not overwritten: the untouched editor took its new text.
    writeFile(root + QStringLiteral("/page.php"), "changé entre-temps");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->M->wholeText() == "changé entre-temps"; }, 10000));
    window->param->clear();
    arrive();
    EXPECT_EQ(readFile(root + QStringLiteral("/page.php")), QByteArray("changé entre-temps"));
    ASSERT_TRUE(completes(url(QStringLiteral("/page.php?test=1"))));
    QTest::qWait(300);
    EXPECT_EQ(server->count(QStringLiteral("GET /page.php?test=1")), 2);
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(Preview, F9OnAnIncludeSavesItAndShowsThePinnedPageOfYourOwnServer)
{
    writeFile(root + QStringLiteral("/app/index.php"),
              "<?php require __DIR__ . '/inc/db.php'; echo 'Page ' . db() . ' ' . $_GET['test'];\n");
    writeFile(root + QStringLiteral("/app/inc/db.php"), "<?php\nfunction db() { return 'base'; }\n");
    window->eRacine->setText(root);
    window->eSite->setText(server->origin() + u'/');
    chooseFile(*window, root + QStringLiteral("/app"), QStringLiteral("index.php"));
    window->pinPage();
    chooseFile(*window, root + QStringLiteral("/app/inc"), QStringLiteral("db.php"));
    QTest::keyClick(window->M, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(window->M, QStringLiteral("function autre() {}"));
    QTest::keyClick(window->M, Qt::Key_F9);
    ASSERT_TRUE(completes(url(QStringLiteral("/app/index.php?test=1"))));
    EXPECT_TRUE(shownText().contains(QStringLiteral("Page base 1")));
    EXPECT_TRUE(readFile(root + QStringLiteral("/app/inc/db.php")).endsWith("function autre() {}"));
    EXPECT_EQ(server->count(QStringLiteral("GET /app/inc/db.php?test=1")), 0);
    EXPECT_EQ(window->eFile->text(), root + QStringLiteral("/app/inc/db.php")); // the include stays edited
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(, PreviewBy, ::testing::Values(Trigger::F9Key, Trigger::TabClick),
                         [](const auto &info) {
                             return info.param == Trigger::F9Key ? "F9" : "Tab";
                         });

TEST_F(Preview, APageTheServerLetsBeCachedIsStillFetchedAtEachPreview)
{
    writeFile(root + QStringLiteral("/cache.php"),
              "<?php header('Cache-Control: public, max-age=3600'); "
              "header('Expires: Thu, 01 Jan 2037 00:00:00 GMT'); echo 'en cache'; ?>");
    // Going to another page in between makes the third preview a plain
    // navigation, which a cache would answer by itself.
    const char *pages[] = {"cache.php", "page.php", "cache.php"};
    for (const char *page : pages) {
        window->param->clear();
        chooseFile(*window, root, QString::fromUtf8(page));
        clickTab(*window, window->tsWB);
        ASSERT_TRUE(completes(url(QStringLiteral("/%1?test=1").arg(QString::fromUtf8(page)))));
    }
    EXPECT_TRUE(server->waitForCount(QStringLiteral("GET /cache.php?test=1"), 2));
    QTest::qWait(300);
    EXPECT_EQ(server->count(QStringLiteral("GET /cache.php?test=1")), 2);
}

TEST_F(Preview, QueryStringFollowsTheUrlOnlyWhenParamIsSet)
{
    chooseFile(*window, root, QStringLiteral("page.php"));
    window->eParam->clear();
    clickTab(*window, window->tsWB);
    ASSERT_TRUE(completes(url(QStringLiteral("/page.php"))));
    EXPECT_TRUE(shownText().contains(QStringLiteral("Bonjour personne")));
    EXPECT_EQ(server->count(QStringLiteral("GET /page.php")), 1);

    // An URL holding "?" already gets a second one, unencoded.
    window->eURL->setText(url(QStringLiteral("/page.php?x=1")));
    window->eParam->setText(QStringLiteral("test=2"));
    clickTab(*window, window->TabSheet2);
    clickTab(*window, window->tsWB);
    ASSERT_TRUE(completes(url(QStringLiteral("/page.php?x=1?test=2"))));
    EXPECT_EQ(server->count(QStringLiteral("GET /page.php?x=1?test=2")), 1);

    // "URL" + "?" + "Param" goes as it stands: no space trimmed, no scheme guessed.
    window->eURL->setText(url(QStringLiteral("/page.php ")));
    clickTab(*window, window->TabSheet2);
    clickTab(*window, window->tsWB);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server->count(QStringLiteral("GET /page.php%20?test=2")) == 1; },
                                kLoadTimeoutMs));
    const QString withoutScheme = server->origin().mid(server->origin().indexOf(u'/') + 2);
    for (const QString &typed : {u' ' + url(QStringLiteral("/page.php")), withoutScheme + QStringLiteral("/page.php")}) {
        SCOPED_TRACE(typed.toStdString());
        boxes.boxes.clear();
        window->eURL->setText(typed);
        clickTab(*window, window->TabSheet2);
        clickTab(*window, window->tsWB);
        ASSERT_EQ(boxes.boxes.size(), 1);
        EXPECT_EQ(boxes.boxes[0].text, withFullStop(QStringLiteral("Adresse invalide : ") + typed + QStringLiteral("?test=2")));
    }
    EXPECT_EQ(server->count(QStringLiteral("GET /page.php?test=2")), 0);
}

TEST_F(Preview, AFailedSaveShowsTheErrorAndDoesNotNavigate)
{
    window->M->setBytes("<?php echo 'jamais'; ?>");
    struct Case
    {
        QString file;
        QString message;
    } const cases[] = {
        {root, QStringLiteral("Impossible de créer le fichier %1\nCe n'est pas un fichier ordinaire.").arg(root)},
        {root + QStringLiteral("/absent/page.php"),
         QStringLiteral("Impossible de créer le fichier %1/absent/page.php\nDossier introuvable.").arg(root)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        boxes.boxes.clear();
        window->eFile->setText(c.file);
        window->eURL->setText(url(QStringLiteral("/page.php")));
        clickTab(*window, window->TabSheet2);
        clickTab(*window, window->tsWB);
        ASSERT_EQ(boxes.boxes.size(), 1);
        EXPECT_EQ(boxes.boxes[0].text, c.message);
        EXPECT_TRUE(boxes.boxes[0].hasIcon);
        EXPECT_EQ(window->M->wholeText(), QByteArray("<?php echo 'jamais'; ?>"));
        EXPECT_FALSE(window->WB->engineStarted()); // no navigation was even tried
    }
    EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("/absent")));
    EXPECT_TRUE(server->requests().isEmpty());

    // The save succeeds (page.php is not the text's own file: asked first) but the
    // browser refuses a text that is no URL.
    boxes.boxes.clear();
    boxes.answer = QStringLiteral("Remplacer");
    window->M->SendScintilla(QsciScintillaBase::SCI_APPENDTEXT, 1UL, "\n"); // the user's edit
    window->eFile->setText(root + QStringLiteral("/page.php"));
    window->eURL->clear();
    clickTab(*window, window->TabSheet2);
    clickTab(*window, window->tsWB);
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Remplacer le fichier %1/page.php ?").arg(root));
    EXPECT_EQ(boxes.boxes[1].text, QStringLiteral("Adresse invalide : ?test=1."));
    EXPECT_EQ(readFile(root + QStringLiteral("/page.php")), QByteArray("<?php echo 'jamais'; ?>\n"));
}

TEST_F(Preview, LeavingForTheEditorStopsALoadLeavingForTheFilePageDoesNot)
{
    chooseFile(*window, root, QStringLiteral("lent.php"));
    const QString slow = url(QStringLiteral("/lent.php?test=1"));

    clickTab(*window, window->tsWB);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->WB->isLoading(); }, kLoadTimeoutMs));
    clickTab(*window, window->TabSheet2);
    ASSERT_TRUE(completes(slow)); // the load went on to its end
    EXPECT_TRUE(shownText().contains(QStringLiteral("lent")));

    window->param->clear();
    clickTab(*window, window->tsWB);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->WB->isLoading(); }, kLoadTimeoutMs));
    clickTab(*window, window->tsEdit);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->WB->isLoading(); }, kLoadTimeoutMs));
    EXPECT_EQ(window->eText->text(), QStringLiteral("Arrêté"));
    // Once the server has answered the second request, no document completes.
    ASSERT_TRUE(server->waitForCount(QStringLiteral("GET /lent.php?test=1"), 2, kLoadTimeoutMs));
    QTest::qWait(500);
    EXPECT_EQ(window->param->text(), QString());
}

TEST_F(Preview, StopBackAndRefreshButtons)
{
    writeFile(root + QStringLiteral("/autre.php"), "<?php echo 'autre'; ?>");
    // "Précédent" before any page, and the others, do nothing and report nothing.
    QTest::mouseClick(window->SpeedButton2, Qt::LeftButton);
    QTest::mouseClick(window->SpeedButton1, Qt::LeftButton);
    QTest::mouseClick(window->SpeedButton7, Qt::LeftButton);
    EXPECT_FALSE(window->WB->engineStarted());

    chooseFile(*window, root, QStringLiteral("page.php"));
    clickTab(*window, window->tsWB);
    ASSERT_TRUE(completes(url(QStringLiteral("/page.php?test=1"))));
    chooseFile(*window, root, QStringLiteral("autre.php"));
    clickTab(*window, window->tsWB);
    ASSERT_TRUE(completes(url(QStringLiteral("/autre.php?test=1"))));

    QTest::mouseClick(window->SpeedButton2, Qt::LeftButton); // back
    ASSERT_TRUE(completes(url(QStringLiteral("/page.php?test=1"))));
    EXPECT_TRUE(shownText().contains(QStringLiteral("Bonjour 1")));

    const int before = server->count(QStringLiteral("GET /page.php?test=1"));
    window->param->clear();
    QTest::mouseClick(window->SpeedButton7, Qt::LeftButton); // refresh
    ASSERT_TRUE(completes(url(QStringLiteral("/page.php?test=1"))));
    EXPECT_TRUE(server->waitForCount(QStringLiteral("GET /page.php?test=1"), before + 1));

    // Stop ends a load in progress.
    chooseFile(*window, root, QStringLiteral("lent.php"));
    window->param->clear();
    clickTab(*window, window->tsWB);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->WB->isLoading(); }, kLoadTimeoutMs));
    QTest::mouseClick(window->SpeedButton1, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->WB->isLoading(); }, kLoadTimeoutMs));
    EXPECT_EQ(window->eText->text(), QStringLiteral("Arrêté"));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

} // namespace

ONDREL_QT_TEST_MAIN
