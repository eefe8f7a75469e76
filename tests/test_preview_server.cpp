// F9 with Ondrel's own PHP server, the real web engine and the server's own log:
// sub-folder URLs, PHP errors in the page, the panel and the editor, and a
// preview page that behaves as a browser does.
#include "support/qtmain.h"
#include "support/filepage.h"
#include "support/phpserver.h"
#include "support/preview.h"
#include "support/testsupport.h"

#include "app/main.h"
#include "app/sessioncontroller.h"
#include "widgets/widgets.h"
#include "editor/phpsignaturesource.h"
#include "editor/richedit.h"
#include "files/browser.h"
#include "io/recovery.h"
#include "preview/phpserver.h"
#include "preview/serverlogpanel.h"
#include "preview/webbrowser.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <csignal>

namespace {

class BuiltinPreview : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = QDir(site.path({})).canonicalPath();
        writeFile(root + QStringLiteral("/sub/page.php"), "<?php echo 'Bonjour ' . ($_GET['test'] ?? 'personne');\n");
        window = makeWindow(sideFiles.path({}));
    }

    /** The requests the built-in server logged, as "GET /path?query". */
    QStringList requests() const { return builtinServerRequests(*window); }

    void pressF9()
    {
        window->showPage(window->tsEdit);
        window->M->setFocus();
        QTest::keyClick(window->M, Qt::Key_F9);
    }

    bool completes(const QString &expected)
    {
        return QTest::qWaitFor([&] { return window->param->text() == expected; }, kLoadTimeoutMs);
    }

    QString shownText() { return ::shownText(*window); }

    TempFolder sideFiles, site;
    QString root;
    std::unique_ptr<TfmMain> window;
    ModalWatcher boxes;
};

TEST_F(BuiltinPreview, AFileInASubFolderIsFetchedOncePerPreviewWithItsQuery)
{
    ASSERT_TRUE(window->cbServeurIntegre->isChecked()); // a new user
    window->eRacine->setText(root);
    writeFile(root + QStringLiteral("/sub/mes pages/été.php"), "<?php echo 'accents ' . $_GET['test'];");
    chooseFile(*window, root + QStringLiteral("/sub"), QStringLiteral("page.php"));
    const QString origin = window->server()->origin();
    EXPECT_EQ(window->eURL->text(), origin + QStringLiteral("/sub/page.php"));
    EXPECT_FALSE(window->server()->isRunning()); // started by the first preview, not before

    pressF9();
    ASSERT_TRUE(completes(origin + QStringLiteral("/sub/page.php?test=1")));
    EXPECT_TRUE(shownText().contains(QStringLiteral("Bonjour 1")));
    window->param->clear();
    pressF9();
    ASSERT_TRUE(completes(origin + QStringLiteral("/sub/page.php?test=1")));
    QTest::qWait(300); // room for a stray request to reach the log
    EXPECT_EQ(requests().count(QStringLiteral("GET /sub/page.php?test=1")), 2) << requests().join(u' ').toStdString();

    chooseFile(*window, root + QStringLiteral("/sub/mes pages"), QStringLiteral("été.php"));
    EXPECT_EQ(window->eURL->text(), origin + QStringLiteral("/sub/mes%20pages/%C3%A9t%C3%A9.php"));
    pressF9();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownText().contains(QStringLiteral("accents 1")); }, kLoadTimeoutMs));
    EXPECT_EQ(requests().count(QStringLiteral("GET /sub/mes%20pages/%C3%A9t%C3%A9.php?test=1")), 1);

    // With "Racine" empty the server serves the file's own folder.
    window->eRacine->clear();
    EXPECT_EQ(window->eURL->text(), origin + QStringLiteral("/%C3%A9t%C3%A9.php"));
    pressF9();
    ASSERT_TRUE(QTest::qWaitFor([&] { return requests().count(QStringLiteral("GET /%C3%A9t%C3%A9.php?test=1")) == 1; },
                                kLoadTimeoutMs));
    EXPECT_EQ(window->server()->root(), root + QStringLiteral("/sub/mes pages"));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(BuiltinPreview, AParseErrorShowsInThePageThePanelAndTheEditor)
{
    writeFile(root + QStringLiteral("/sub/faute.php"), "<?php\necho 'a'\n$b = 2;\n");
    chooseFile(*window, root + QStringLiteral("/sub"), QStringLiteral("faute.php"));
    pressF9();
    ASSERT_TRUE(completes(window->server()->origin() + QStringLiteral("/faute.php?test=1")));
    EXPECT_TRUE(shownText().contains(QStringLiteral("Parse error")));

    // php -l: the message and its line in the status, the line marked in the editor.
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->M->errorMarks()->errorLine() == 2; }, 15000));
    EXPECT_TRUE(window->eText->text().startsWith(QStringLiteral("Erreur de syntaxe ligne 3 : syntax error")))
        << window->eText->text().toStdString();

    // The panel shows the error in red; a click on it brings the caret to its line.
    const QStringList lines = window->mJournal->lines();
    const qsizetype row = lines.indexOf(QRegularExpression(QStringLiteral(R"(.*PHP Parse error: .*faute\.php on line 3)")));
    ASSERT_GE(row, 0) << lines.join(u'\n').toStdString();
    EXPECT_TRUE(window->mJournal->isErrorRow(int(row)));
    EXPECT_FALSE(window->mJournal->isErrorRow(int(lines.indexOf(QRegularExpression(QStringLiteral(".*GET /faute.php.*"))))));
    window->mJournal->setExpanded(true);
    QListWidget *list = window->mJournal->list();
    list->scrollToItem(list->item(int(row)));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(int(row))).center());
    EXPECT_EQ(window->PC->currentWidget(), window->tsEdit);
    EXPECT_EQ(window->M->caretPosition().y, 2);

    // Mended: the next check takes the mark away.
    window->M->setBytes("<?php\necho 'a';\n$b = 2;\n");
    QTest::keyClicks(window->M, QStringLiteral(" ")); // an edit: only edited text is saved
    pressF9();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->M->errorMarks()->errorLine() == -1; }, 15000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->eText->text() == QStringLiteral("Terminé"); }, kLoadTimeoutMs))
        << window->eText->text().toStdString();
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(BuiltinPreview, F9OnAnIncludeShowsThePinnedPageAndItsWarningLeadsToTheIncludesTab)
{
    writeFile(root + QStringLiteral("/index.php"),
              "<?php\nrequire __DIR__ . '/inc/db.php';\necho 'Page ' . db() . ' ' . $_GET['test'];\n");
    writeFile(root + QStringLiteral("/inc/db.php"), "<?php\nfunction db() {\n  return 'base';\n}\n");
    chooseFile(*window, root, QStringLiteral("index.php"));
    window->showPage(window->tsWB);
    QTest::keyClick(window->param, Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier); // pinned from the preview page
    ASSERT_EQ(window->pinnedPage(), root + QStringLiteral("/index.php"));
    EXPECT_EQ(window->PC->tabText(window->PC->indexOf(window->tsWB)), QStringLiteral("Visualisation du résultat (F9) : index.php"));
    EXPECT_EQ(window->sbEpingler->text(), QStringLiteral("Désépingler"));

    chooseFile(*window, root + QStringLiteral("/inc"), QStringLiteral("db.php"));
    EXPECT_EQ(window->lEpingle->text(), QStringLiteral("Page épinglée : index.php"));
    window->M->setBytes("<?php\nfunction db() {\n  return 'base' . $rien;\n}\n");
    QTest::keyClick(window->M, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(window->M, QStringLiteral(" ")); // an edit: only edited text is saved
    pressF9(); // "Racine" is empty: the folder holding both is served
    const QString origin = window->server()->origin();
    ASSERT_TRUE(completes(origin + QStringLiteral("/index.php?test=1")));
    EXPECT_TRUE(shownText().contains(QStringLiteral("Page base 1")));
    EXPECT_EQ(window->server()->root(), root);
    EXPECT_EQ(window->eFile->text(), root + QStringLiteral("/inc/db.php"));

    // The warning raised in the include: a click opens its tab at its line.
    window->session()->showFileTab(0);
    ASSERT_EQ(window->eFile->text(), root + QStringLiteral("/index.php"));
    const QRegularExpression warning(QStringLiteral(R"(.*Undefined variable \$rien in .*/inc/db\.php on line 3)"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->mJournal->lines().indexOf(warning) >= 0; }, kLoadTimeoutMs))
        << window->mJournal->lines().join(u'\n').toStdString();
    const int row = int(window->mJournal->lines().indexOf(warning));
    window->showPage(window->tsWB);
    window->mJournal->setExpanded(true);
    QListWidget *list = window->mJournal->list();
    list->scrollToItem(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    EXPECT_EQ(window->PC->currentWidget(), window->tsEdit);
    EXPECT_EQ(window->eFile->text(), root + QStringLiteral("/inc/db.php"));
    EXPECT_EQ(window->M->caretPosition().y, 2);
    EXPECT_EQ(window->session()->openFiles().size(), 2);

    window->unpinPage();
    EXPECT_FALSE(window->pinnedPageApplies());
    EXPECT_FALSE(window->lEpingle->isVisible());
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(BuiltinPreview, WithoutPhpTheMessageNamesThePackage)
{
    chooseFile(*window, root + QStringLiteral("/sub"), QStringLiteral("page.php"));
    TempFolder empty;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", empty.path({}).toLocal8Bit());
    pressF9();
    qputenv("PATH", path);
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("PHP introuvable : installez le paquet php-cli."));
    EXPECT_FALSE(window->server()->isRunning());
}

TEST_F(BuiltinPreview, TheServerIsGoneOnceTheWindowIsClosed)
{
    chooseFile(*window, root + QStringLiteral("/sub"), QStringLiteral("page.php"));
    pressF9();
    ASSERT_TRUE(completes(window->server()->origin() + QStringLiteral("/page.php?test=1")));
    const qint64 pid = window->server()->processId();
    ASSERT_TRUE(processAlive(pid));
    window->close();
    window.reset();
    EXPECT_FALSE(processAlive(pid));
}

TEST_F(BuiltinPreview, AnAlertLoopCannotTrapTheUser)
{
    writeFile(root + QStringLiteral("/sub/alertes.php"),
              "<p>alertes</p><script>for (let i = 0; i < 300; ++i) alert('encore ' + i);</script>");
    chooseFile(*window, root + QStringLiteral("/sub"), QStringLiteral("alertes.php"));
    pressF9();
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return window->eText->text() == QStringLiteral("Boîtes de dialogue JavaScript bloquées sur cette page");
    }, kLoadTimeoutMs)) << window->eText->text().toStdString();
    EXPECT_EQ(boxes.boxes.size(), WebBrowser::kDialogBurst);
    clickTab(*window, window->TabSheet2);
    EXPECT_EQ(window->PC->currentWidget(), window->TabSheet2);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(BuiltinPreview, EnterInParamAndF5FetchFromTheServerADownloadIsRefused)
{
    writeFile(root + QStringLiteral("/sub/fichier.php"),
              "<?php header('Content-Type: application/octet-stream'); "
              "header('Content-Disposition: attachment; filename=\"donnees.bin\"'); echo 'x';");
    chooseFile(*window, root + QStringLiteral("/sub"), QStringLiteral("page.php"));
    pressF9();
    const QString origin = window->server()->origin();
    ASSERT_TRUE(completes(origin + QStringLiteral("/page.php?test=1")));

    window->param->setText(origin + QStringLiteral("/page.php?test=2"));
    window->param->setFocus();
    QTest::keyClick(window->param, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownText().contains(QStringLiteral("Bonjour 2")); }, kLoadTimeoutMs));

    webView(window->WB)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return requests().count(QStringLiteral("GET /page.php?test=2")) == 2; },
                                kLoadTimeoutMs))
        << requests().join(u' ').toStdString();

    window->param->setText(origin + QStringLiteral("/fichier.php"));
    QTest::keyClick(window->param, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return window->eText->text() == QStringLiteral("Téléchargement refusé : donnees.bin");
    }, kLoadTimeoutMs)) << window->eText->text().toStdString();
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(BuiltinPreview, NoServerAnsweringGivesAPlainStatusWithAHint)
{
    window->cbServeurIntegre->click();
    ASSERT_FALSE(window->cbServeurIntegre->isChecked());
    window->eSite->setText(QStringLiteral("http://127.0.0.1:%1/").arg(freeLoopbackPort()));
    chooseFile(*window, root + QStringLiteral("/sub"), QStringLiteral("page.php"));
    pressF9();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->eText->text().startsWith(QStringLiteral("Connexion refusée")); },
                                kLoadTimeoutMs)) << window->eText->text().toStdString();
    EXPECT_TRUE(window->eText->text().contains(QStringLiteral("Serveur PHP intégré")));
    EXPECT_FALSE(window->eText->text().contains(u'<'));
    EXPECT_FALSE(window->server()->isRunning());
}

TEST_F(BuiltinPreview, F1WithoutADesktopLauncherOpensOndrelsHelpWindow)
{
    TempFolder help;
    help.write(QStringLiteral("index.html"), "<html><head><title>Manuel</title></head><body>Index du manuel</body></html>");
    window->eAide->setText(help.path({}) + u'/');
    window->showPage(window->tsEdit);
    window->M->setFocus();
    QTest::keyClick(window->M, Qt::Key_End); // a refresh: the button offers the index
    ASSERT_EQ(window->sbAide->toolTip(), help.path(QStringLiteral("index.html")));
    TempFolder empty;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", empty.path({}).toLocal8Bit()); // no xdg-open, no desktop launcher
    QTest::keyClick(window->M, Qt::Key_F1);
    qputenv("PATH", path);
    auto *helpWindow = window->findChild<QWidget *>(QStringLiteral("fmAide"));
    ASSERT_NE(helpWindow, nullptr);
    EXPECT_TRUE(helpWindow->isVisible());
    auto *browser = helpWindow->findChild<WebBrowser *>();
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return helpWindow->windowTitle() == QStringLiteral("Aide - Manuel"); },
                                kLoadTimeoutMs));
}

TEST_F(BuiltinPreview, F1WithoutALocalPageExplainsPhpsFunctionAndWithOneOpensIt)
{
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->phpSignatures() && window->phpSignatures()->isLoaded(); }, 30000));
    TempFolder help;
    const QString page = help.write(QStringLiteral("function.strlen.html"), "<html><body>strlen</body></html>");
    window->eAide->setText(help.path({}) + u'/');
    window->showPage(window->tsEdit);
    window->M->setFocus();
    OpenedFiles opened;

    // A local page: F1 opens it as before.
    QTest::keyClicks(window->M, QStringLiteral("echo strlen("));
    QTest::keyClick(window->M, Qt::Key_F1);
    EXPECT_EQ(opened.files, QStringList{page});
    EXPECT_EQ(window->findChild<QWidget *>(QStringLiteral("fmAide")), nullptr);

    // None: Ondrel's help window shows what PHP says of the function, here from inside the call.
    QTest::keyClicks(window->M, QStringLiteral("$a);"));
    QTest::keyClick(window->M, Qt::Key_Return);
    QTest::keyClicks(window->M, QStringLiteral("echo str_replace($x, "));
    QTest::keyClick(window->M, Qt::Key_F1);
    EXPECT_EQ(opened.files, QStringList{page});
    auto *helpWindow = window->findChild<QWidget *>(QStringLiteral("fmAide"));
    ASSERT_NE(helpWindow, nullptr);
    EXPECT_TRUE(helpWindow->isVisible());
    const QByteArray shown = readFile(recoveryFolder() + QStringLiteral("/aide/str_replace.html"));
    EXPECT_TRUE(shown.contains("<pre>str_replace(array|string $search, array|string $replace, array|string $subject, "
                               "&amp;$count = null): array|string</pre>"));
    EXPECT_TRUE(shown.contains("https://www.php.net/manual/fr/function.str-replace.php"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return helpWindow->windowTitle() == QStringLiteral("Aide - str_replace"); },
                                kLoadTimeoutMs));
}

/** The status the built-in server logged for `request` ("GET /a.php"); 0 while it logged none. */
int loggedStatus(const TfmMain &window, const QString &request)
{
    static const QRegularExpression line(QStringLiteral(R"(\[(\d{3})\]: (\S+ \S+))"));
    for (const auto &logged : window.server()->log()) {
        const QRegularExpressionMatch m = line.match(logged.text);
        if (m.hasMatch() && m.captured(2) == request)
            return m.captured(1).toInt();
    }
    return 0;
}

TEST_F(BuiltinPreview, APageOfAnotherSiteInThePreviewCannotReachTheServer)
{
    chooseFile(*window, root + QStringLiteral("/sub"), QStringLiteral("page.php"));
    pressF9();
    const QString origin = window->server()->origin();
    ASSERT_TRUE(completes(origin + QStringLiteral("/page.php?test=1")));
    EXPECT_EQ(loggedStatus(*window, QStringLiteral("GET /page.php?test=1")), 200);

    // A site the user browses to from the address line asks the server for a page, as a script,
    // an image and a form would: the server sees requests without the key and refuses them.
    TempFolder other;
    other.write(QStringLiteral("autre.html"),
                QStringLiteral("<p>autre site</p><img src=\"%1/page.php?par=image\">"
                               "<script>fetch('%1/page.php?par=script', {mode: 'no-cors'});</script>")
                    .arg(origin).toUtf8());
    PhpServer site2(other.path({}));
    window->param->setText(site2.origin() + QStringLiteral("/autre.html"));
    window->param->setFocus();
    QTest::keyClick(window->param, Qt::Key_Return);
    for (const QString &request : {QStringLiteral("GET /page.php?par=image"), QStringLiteral("GET /page.php?par=script")}) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return loggedStatus(*window, request) != 0; }, kLoadTimeoutMs))
            << request.toStdString();
        EXPECT_EQ(loggedStatus(*window, request), 403) << request.toStdString();
    }
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(BuiltinPreview, TheHomeFolderIsServedWholeOnlyOnceTheUserSaysSo)
{
    TempFolder home;
    const QString homePath = QDir(home.path({})).canonicalPath();
    writeFile(homePath + QStringLiteral("/essai.php"), "<?php echo 'chez moi';");
    writeFile(homePath + QStringLiteral("/.ssh/id_ed25519"), "CLE PRIVEE");
    const QByteArray realHome = qgetenv("HOME");
    qputenv("HOME", homePath.toLocal8Bit());
    struct Restore
    {
        QByteArray home;
        ~Restore() { qputenv("HOME", home); }
    } restore{realHome};

    // No: nothing is served, the status says why, and the question is not asked again.
    chooseFile(*window, homePath, QStringLiteral("essai.php"));
    pressF9();
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_TRUE(boxes.boxes[0].text.contains(QStringLiteral("votre dossier personnel (%1)").arg(homePath)));
    EXPECT_FALSE(window->server()->isRunning());
    EXPECT_TRUE(window->eText->text().startsWith(QStringLiteral("Aperçu annulé")));
    pressF9();
    EXPECT_EQ(boxes.boxes.size(), 1);
    EXPECT_FALSE(window->server()->isRunning());

    // Yes, in a new run: the page shows, the log says so, hidden files stay out of reach.
    window = makeWindow(sideFiles.path({}));
    boxes.answer = QStringLiteral("Servir ce dossier");
    chooseFile(*window, homePath, QStringLiteral("essai.php"));
    pressF9();
    ASSERT_EQ(boxes.boxes.size(), 2);
    const QString origin = window->server()->origin();
    ASSERT_TRUE(completes(origin + QStringLiteral("/essai.php?test=1")));
    EXPECT_TRUE(shownText().contains(QStringLiteral("chez moi")));
    EXPECT_TRUE(window->mJournal->lines().contains(
        QStringLiteral("Dossier « %1 » servi en entier, avec votre accord.").arg(homePath)));
    window->param->setText(origin + QStringLiteral("/.ssh/id_ed25519"));
    window->param->setFocus();
    QTest::keyClick(window->param, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownText().contains(QStringLiteral("Accès refusé")); }, kLoadTimeoutMs));
    EXPECT_FALSE(shownText().contains(QStringLiteral("PRIVEE")));
    pressF9();
    EXPECT_EQ(boxes.boxes.size(), 2); // asked once
}

} // namespace

ONDREL_QT_TEST_MAIN
