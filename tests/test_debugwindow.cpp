// Step debugging in the real window: breakpoints in the editor's margin that
// follow the text and outlive the window, Ctrl+F9 with Ondrel's own server and
// the real Xdebug, the editor in front at a stop, the panels, the end.
#include "support/qtmain.h"
#include "support/filepage.h"
#include "support/preview.h"
#include "support/testsupport.h"

#include "app/main.h"
#include "widgets/widgets.h"
#include "app/debugcontroller.h"
#include "debug/debugpanel.h"
#include "debug/socketowner.h"
#include "editor/richedit.h"
#include "preview/serverlogpanel.h"
#include "preview/webbrowser.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>
#include <QToolTip>
#include <QWebEngineView>
#include <QToolButton>
#include <QTreeWidget>

#include <unistd.h>

namespace {

class DebugWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = QDir(site.path({})).canonicalPath();
        writeFile(root + QStringLiteral("/page.php"), "<?php\nrequire __DIR__ . '/inc.php';\n$a = 2;\n$b = triple($a);\necho \"b=$b\";\n");
        writeFile(root + QStringLiteral("/faute.php"), "<?php\n$prix = 5;\necho $inconnu;\necho 'fin';\n");
        writeFile(root + QStringLiteral("/inc.php"), "<?php\nfunction triple($n)\n{\n    $r = $n * 3;\n    return $r;\n}\n");
        window = makeWindow(sideFiles.path({}));
        controller = window->findChild<DebugController *>(QStringLiteral("debugController"));
        ASSERT_NE(controller, nullptr);
        panel = window->findChild<DebugPanel *>(QStringLiteral("debugPanel"));
        ASSERT_NE(panel, nullptr);
        window->eRacine->setText(root);
        chooseFile(*window, root, QStringLiteral("page.php"));
    }
    QWidget *panels() const { return panel->findChild<QWidget *>(QStringLiteral("debugPanels")); }
    void click(const char *name) { QTest::mouseClick(panel->findChild<QToolButton *>(QString::fromLatin1(name)), Qt::LeftButton); }
    bool pausedAt(const QString &file, int line)
    {
        return QTest::qWaitFor([&] {
            return controller->debugger()->isPaused() && controller->debugger()->lastPause().line == line
                && window->eFile->text() == file && window->PC->currentWidget() == window->tsEdit;
        }, 30000);
    }

    TempFolder sideFiles, site;
    QString root;
    std::unique_ptr<TfmMain> window;
    DebugController *controller = nullptr;
    DebugPanel *panel = nullptr;
    ModalWatcher boxes;
};

TEST_F(DebugWindow, BreakpointsFollowTheTextAndAreKeptInTheirSideFile)
{
    controller->toggleBreakpoint(3);
    controller->toggleBreakpoint(2);
    controller->toggleBreakpoint(2); // a second click takes it away
    EXPECT_EQ(controller->breakpointLines(), QList<int>{3});
    window->M->setCursorPosition(0, 0);
    window->M->insert(QStringLiteral("// one\n// two\n"));
    EXPECT_EQ(controller->breakpointLines(), QList<int>{5});
    const auto &known = controller->debugger()->breakpoints(); // what the next session gets, 1-based
    ASSERT_TRUE(QTest::qWaitFor([&] { return known.size() == 1 && known.front().line == 6; }, 5000));
    window->M->undo();
    EXPECT_EQ(controller->breakpointLines(), QList<int>{3});
    ASSERT_TRUE(QTest::qWaitFor([&] { return known.size() == 1 && known.front().line == 4; }, 5000));

    // Another file has its own; coming back shows these again, as does a new window.
    chooseFile(*window, root, QStringLiteral("inc.php"));
    EXPECT_TRUE(controller->breakpointLines().isEmpty());
    chooseFile(*window, root, QStringLiteral("page.php"));
    EXPECT_EQ(controller->breakpointLines(), QList<int>{3});
    window.reset();
    window = makeWindow(sideFiles.path({}));
    chooseFile(*window, root, QStringLiteral("page.php"));
    auto *again = window->findChild<DebugController *>(QStringLiteral("debugController"));
    EXPECT_EQ(again->breakpointLines(), QList<int>{3});
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(DebugWindow, CtrlF9StopsAtTheBreakpointStepsIntoTheOtherFileAndShowsThePageAtTheEnd)
{
    EXPECT_FALSE(panels()->isVisibleTo(window.get()));
    controller->toggleBreakpoint(3); // $b = triple($a);
    window->showPage(window->tsEdit);
    window->M->setFocus();
    QTest::keyClick(window->M, Qt::Key_F9, Qt::ControlModifier);
    ASSERT_TRUE(pausedAt(root + QStringLiteral("/page.php"), 4)) << window->eText->text().toStdString();
    EXPECT_TRUE(panels()->isVisibleTo(window.get()));
    auto *variables = panel->findChild<QTreeWidget *>(QStringLiteral("tvVariables"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !variables->findItems(QStringLiteral("$a"), Qt::MatchExactly).isEmpty(); }, 5000));
    EXPECT_EQ(variables->findItems(QStringLiteral("$a"), Qt::MatchExactly).front()->text(2), QStringLiteral("2"));

    click("sbPasDetaille");
    ASSERT_TRUE(pausedAt(root + QStringLiteral("/inc.php"), 4)) << window->eFile->text().toStdString();
    auto *stack = panel->findChild<QListWidget *>(QStringLiteral("lbPile"));
    EXPECT_EQ(stack->count(), 2);
    click("sbContinuer");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller->debugger()->hasSession(); }, 30000));
    EXPECT_FALSE(panels()->isVisibleTo(window.get()));
    EXPECT_EQ(window->PC->currentWidget(), window->tsWB);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownText(*window).contains(QStringLiteral("b=6")); }, 30000));
    // Debugging has a server of its own: the ordinary preview's was never started.
    EXPECT_FALSE(window->server()->isRunning());
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(DebugWindow, ATakenPortGivesAnotherStrangersAreRefusedAndWatchesComeAndGo)
{
    // "Port de débogage" held by another program: Ondrel says which port it took instead.
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::LocalHost, quint16(freeLoopbackPort())));
    panel->portBox()->setValue(other.serverPort());
    controller->toggleBreakpoint(3);
    window->showPage(window->tsEdit);
    QTest::keyClick(window->M, Qt::Key_F9, Qt::ControlModifier);
    ASSERT_TRUE(pausedAt(root + QStringLiteral("/page.php"), 4)) << window->eText->text().toStdString();
    const int port = controller->debugger()->listener().port();
    EXPECT_NE(port, int(other.serverPort()));
    EXPECT_TRUE(window->mJournal->lines().join(u'\n').contains(QStringLiteral("sur le port %1").arg(port)));

    // A connection that does not carry this start's key is closed; the session goes on.
    QTcpSocket stranger;
    stranger.connectToHost(QHostAddress::LocalHost, quint16(port));
    ASSERT_TRUE(stranger.waitForConnected(5000));
    const QByteArray init = "<?xml version=\"1.0\"?><init xmlns=\"urn:debugger_protocol_v1\" fileuri=\"file:///tmp/x.php\" "
                            "language=\"PHP\" protocol_version=\"1.0\" appid=\"1\" idekey=\"guess\"/>";
    stranger.write(QByteArray::number(init.size()) + '\0' + init + '\0');
    ASSERT_TRUE(QTest::qWaitFor([&] { return stranger.state() == QAbstractSocket::UnconnectedState; }, 10000));
    EXPECT_TRUE(window->mJournal->lines().join(u'\n').contains(QStringLiteral("refusée")));
    EXPECT_TRUE(controller->debugger()->isPaused());

    // Expressions are evaluated at the stop; one that fails says why; Delete takes one away.
    auto *entry = panel->findChild<QLineEdit *>(QStringLiteral("eExpression"));
    auto *watches = panel->findChild<QTreeWidget *>(QStringLiteral("tvExpressions"));
    for (const char *expression : {"$a * 10", "nowhere_defined()"}) {
        entry->setText(QString::fromLatin1(expression));
        QTest::keyClick(entry, Qt::Key_Return);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return watches->topLevelItemCount() == 2 && !watches->topLevelItem(1)->text(1).isEmpty(); }, 10000));
    EXPECT_EQ(watches->topLevelItem(0)->text(1), QStringLiteral("20"));
    EXPECT_NE(watches->topLevelItem(1)->text(1), QStringLiteral("20"));
    watches->setCurrentItem(watches->topLevelItem(0));
    watches->setFocus();
    QTest::keyClick(watches, Qt::Key_Delete);
    EXPECT_EQ(controller->debugger()->watches(), QStringList{QStringLiteral("nowhere_defined()")});
    click("sbPasPrincipal");
    ASSERT_TRUE(pausedAt(root + QStringLiteral("/page.php"), 5));
    ASSERT_TRUE(QTest::qWaitFor([&] { return watches->topLevelItemCount() == 1; }, 10000));
    EXPECT_EQ(watches->topLevelItem(0)->text(0), QStringLiteral("nowhere_defined()"));

    // "Arrêter" ends the script there: the page never gets its text.
    click("sbArreter");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller->debugger()->hasSession(); }, 30000));
    EXPECT_FALSE(shownText(*window).contains(QStringLiteral("b=")));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(DebugWindow, WithTheUsersOwnServerTheJournalGivesThePhpIniLinesForThePortInUse)
{
    // Nothing of Ondrel's serves the page: it goes to "URL" with the trigger, and
    // the journal says what that server's php.ini needs.
    window->cbServeurIntegre->setChecked(false);
    const int unused = freeLoopbackPort();
    window->eURL->setText(QStringLiteral("http://127.0.0.1:%1/page.php").arg(unused));
    window->eParam->setText(QStringLiteral("a=1"));
    panel->portBox()->setValue(freeLoopbackPort());
    window->showPage(window->tsEdit);
    QTest::keyClick(window->M, Qt::Key_F9, Qt::ControlModifier);
    const int port = controller->debugger()->listener().port();
    ASSERT_EQ(port, panel->portBox()->value());
    const QStringList journal = window->mJournal->lines();
    for (const QString &line : {QStringLiteral("xdebug.mode=debug"), QStringLiteral("xdebug.start_with_request=trigger"),
                                QStringLiteral("xdebug.client_port=%1").arg(port)})
        EXPECT_TRUE(journal.filter(line).size() == 1) << line.toStdString();
    const QString key = controller->debugger()->listener().ideKey();
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return webView(window->WB)->url().toString().contains(QStringLiteral("?a=1&XDEBUG_TRIGGER=") + key);
    }, 5000)) << webView(window->WB)->url().toString().toStdString();
    EXPECT_FALSE(window->server()->isRunning());
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(DebugWindow, WithTheUsersOwnServerAPortHeldByAnotherProgramStopsDebuggingInABox)
{
    // Xdebug calls the port of its php.ini whoever holds it: no page goes out with the trigger.
    window->cbServeurIntegre->setChecked(false);
    window->eURL->setText(QStringLiteral("http://127.0.0.1:%1/page.php").arg(freeLoopbackPort()));
    for (const QHostAddress &squatted : {QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6)}) {
        SCOPED_TRACE(squatted.toString().toStdString());
        boxes.boxes.clear();
        QTcpServer squatter;
        ASSERT_TRUE(squatter.listen(squatted, quint16(freeLoopbackPort())));
        panel->portBox()->setValue(squatter.serverPort());
        window->showPage(window->tsEdit);
        window->activateWindow(); // the key's shortcut is the active window's: the last box had the keys
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window->M, Qt::Key_F9, Qt::ControlModifier);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.boxes.isEmpty(); }, 5000)) << window->eText->text().toStdString();
        EXPECT_EQ(boxes.boxes.front().text, // the box ends each message with a full stop
                  QStringLiteral("Le port %1 est pris par un autre programme (compte %2) : le débogage est arrêté.")
                      .arg(squatter.serverPort())
                      .arg(accountName(int(::getuid()))));
        EXPECT_FALSE(controller->debugger()->listener().isListening());
        EXPECT_FALSE(webView(window->WB)->url().toString().contains(QStringLiteral("XDEBUG_TRIGGER")));
    }
}

TEST_F(DebugWindow, AWebServerUnderAnotherAccountDebugsOnceTheUserAllowsItsAccount)
{
    // The web server's php runs as www-data: the kernel's tables are made to say so.
    const int www = accountId(QStringLiteral("www-data")) >= 0 ? accountId(QStringLiteral("www-data")) : 33;
    DbgpListener &listener = controller->debugger()->listener();
    listener.setSocketTableReader([www](const QString &path) {
        QByteArray out;
        const QList<QByteArray> lines = kernelSocketTables()(path).split('\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QList<QByteArray> fields = lines.at(i).simplified().split(' ');
            if (i > 0 && fields.size() > 7)
                fields[7] = QByteArray::number(www);
            out += fields.join(' ') + '\n';
        }
        return out;
    });
    window->cbServeurIntegre->setChecked(false);
    window->eURL->setText(QStringLiteral("http://127.0.0.1:%1/page.php").arg(freeLoopbackPort()));
    panel->portBox()->setValue(freeLoopbackPort());
    window->showPage(window->tsEdit);
    QTest::keyClick(window->M, Qt::Key_F9, Qt::ControlModifier);
    ASSERT_TRUE(listener.isListening());
    boxes.answer = QStringLiteral("Autoriser %1").arg(accountName(www));
    QTcpSocket server;
    server.connectToHost(QHostAddress::LocalHost, quint16(listener.port()));
    ASSERT_TRUE(server.waitForConnected(5000));
    const QByteArray init = "<?xml version=\"1.0\"?><init xmlns=\"urn:debugger_protocol_v1\" fileuri=\"file:///tmp/x.php\" "
                            "language=\"PHP\" protocol_version=\"1.0\" appid=\"1\" idekey=\"" + listener.ideKey().toUtf8() + "\"/>";
    server.write(QByteArray::number(init.size()) + '\0' + init + '\0');
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->debugger()->hasSession(); }, 10000));
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_TRUE(boxes.boxes[0].text.contains(QStringLiteral("sous le compte %1").arg(accountName(www))));
    EXPECT_EQ(listener.allowedAccounts(), QList<int>{www});
}

TEST_F(DebugWindow, ArreterSurLesErreursStopsAtTheWarningAndHoveringAVariableShowsItsValue)
{
    chooseFile(*window, root, QStringLiteral("faute.php"));
    panel->findChild<QCheckBox *>(QStringLiteral("cbArreterErreurs"))->setChecked(true);
    window->showPage(window->tsEdit);
    QTest::keyClick(window->M, Qt::Key_F9, Qt::ControlModifier); // no breakpoint at all
    ASSERT_TRUE(pausedAt(root + QStringLiteral("/faute.php"), 3)) << window->eText->text().toStdString();
    EXPECT_TRUE(window->eText->text().contains(QStringLiteral("inconnu"))) << window->eText->text().toStdString();

    // The mouse resting on "$prix" (line 2) asks Xdebug for it.
    const int position = window->M->positionFromLineIndex(1, 2);
    Q_EMIT window->M->SCN_DWELLSTART(position, 10, 10);
    EXPECT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible() && QToolTip::text() == QStringLiteral("$prix = 5"); }, 10000))
        << QToolTip::text().toStdString();
    click("sbArreter");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller->debugger()->hasSession(); }, 30000));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

// A php without Xdebug: Ctrl+F9 says what to install and asks for no page.
TEST_F(DebugWindow, WithoutXdebugCtrlF9SaysWhatToInstall)
{
    TempFolder bin;
    bin.write(QStringLiteral("php"), "#!/bin/sh\nexec /usr/bin/php -n -d extension_dir=/nonexistent \"$@\"\n");
    QFile::setPermissions(bin.path(QStringLiteral("php")), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path({})) + ':' + path);
    window->showPage(window->tsEdit);
    QTest::keyClick(window->M, Qt::Key_F9, Qt::ControlModifier);
    const bool told = QTest::qWaitFor([&] { return !boxes.boxes.isEmpty(); }, 10000);
    qputenv("PATH", path);
    ASSERT_TRUE(told);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Xdebug n'est pas installé : installez le paquet php-xdebug pour "
                                                  "déboguer (l'aperçu F9 fonctionne sans)."));
    EXPECT_EQ(boxes.boxes.size(), 1);
    EXPECT_FALSE(controller->debugger()->hasSession());
    EXPECT_FALSE(webView(window->WB)->url().toString().contains(QStringLiteral("XDEBUG_TRIGGER")));
}

} // namespace

ONDREL_QT_TEST_MAIN
