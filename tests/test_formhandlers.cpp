// Start-up and shut-down through the real window: the settings file, the
// keyword list and the query history on disk, their defaults, their formats,
// every failure path, and a restart that finds every setting again.
#include "support/qtmain.h"
#include "support/testsupport.h"

#include "app/main.h"
#include "pages/databasepage.h"
#include "widgets/widgets.h"
#include "db/dbconsole.h"
#include "db/simplecombo.h"
#include "editor/richedit.h"
#include "files/browser.h"
#include "settings/profile.h"
#include "settings/settingsregistry.h"

#include <QColorDialog>
#include <QFile>
#include <QGuiApplication>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScreen>
#include "preview/phpserver.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTabWidget>
#include <QTextBlock>
#include <QTest>
#include <QTextCursor>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString u8(const char *text)
{
    return QString::fromUtf8(text);
}

QStringList historyItems(const TfmMain &w)
{
    QStringList items;
    for (int i = 0; i < w.databasePage->cb->list()->count(); ++i)
        items.append(w.databasePage->cb->list()->item(i)->text());
    return items;
}

/** The memo's lines as shown (toPlainText would turn a no-break space into a space). */
QStringList memoLines(const QPlainTextEdit &memo)
{
    QStringList lines;
    for (QTextBlock block = memo.document()->begin(); block.isValid(); block = block.next())
        lines.append(block.text());
    return lines;
}

QPoint defaultTopLeft()
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    return {screen.left() + (screen.width() - 640) / 2, screen.top() + (screen.height() - 480) / 2};
}

class SideFiles : public ::testing::Test
{
protected:
    TempFolder folder;
    QString ini = folder.path("ondrel.ini");
    QString php = folder.path("ondrel.php");
    QString qry = folder.path("ondrel.qry");

    std::unique_ptr<TfmMain> start(bool show = true) { return makeWindow(folder.path(QString()), show); }
    ProfileFile stored() const { return ProfileFile(readFile(ini)); }
    void makeFolderAt(const QString &path) const
    {
        QFile::remove(path);
        ASSERT_TRUE(QDir().mkpath(path));
    }
};

TEST_F(SideFiles, FirstStartWithoutFilesUsesTheDefaultsAndCreatesAllThreeFiles)
{
    ModalWatcher watcher;
    auto w = start();
    EXPECT_TRUE(watcher.boxes.isEmpty());
    EXPECT_EQ(w->size(), QSize(640, 480));
    EXPECT_EQ(w->pos(), defaultTopLeft());
    EXPECT_FALSE(w->isMaximized());
    EXPECT_EQ(w->eFile->text(), QString());
    EXPECT_EQ(w->eSite->text(), QStringLiteral("http://localhost/"));
    EXPECT_EQ(w->eParam->text(), QStringLiteral("test=1"));
    // A new user previews through Ondrel's own server, on a port it picked.
    EXPECT_TRUE(w->cbServeurIntegre->isChecked());
    EXPECT_EQ(w->eRacine->text(), QString());
    EXPECT_EQ(w->eURL->text(), w->server()->origin() + u'/');
    EXPECT_TRUE(w->eURL->text().startsWith(QStringLiteral("http://127.0.0.1:")));
    EXPECT_EQ(w->dlb->currentFolder(), QDir::homePath()); // a new user starts among their own files
    EXPECT_EQ(w->M->backgroundColour(), 0xFFFFFFu);
    EXPECT_EQ(w->M->textColour(), 0u);
    EXPECT_EQ(w->CoulPolice, 0u);
    EXPECT_EQ(w->CoulChaines, 0xFF0000u);
    EXPECT_EQ(w->CoulFonctions, 0x0000FFu);
    EXPECT_EQ(w->eAide->text(), QDir::homePath() + QStringLiteral("/docphp/"));
    EXPECT_EQ(w->databasePage->host->text(), QStringLiteral("localhost"));
    EXPECT_EQ(w->databasePage->user->text(), QStringLiteral("root"));
    EXPECT_EQ(w->databasePage->pass->text(), QString());
    EXPECT_EQ(w->databasePage->base->text(), QStringLiteral("mysql"));
    EXPECT_EQ(w->mAide->toPlainText(), QString());
    EXPECT_EQ(w->databasePage->cb->list()->count(), 0);
    EXPECT_EQ(w->PC->currentWidget(), w->TabSheet2);
    EXPECT_FALSE(w->databasePage->console()->isConnected());
    w.reset();

    EXPECT_TRUE(watcher.boxes.isEmpty());
    EXPECT_EQ(readFile(php), QByteArray());
    EXPECT_TRUE(QFileInfo(php).isFile());
    EXPECT_EQ(readFile(qry), QByteArray());
    EXPECT_TRUE(QFileInfo(qry).isFile());
    const QPoint at = defaultTopLeft();
    const QByteArray expected = "[MainW]\r\nx=" + QByteArray::number(at.x()) + "\r\ny=" + QByteArray::number(at.y())
        + "\r\nw=640\r\nh=480\r\nMaxi=0\r\n"
          "[Params]\r\nFichier=\r\nSite=http://localhost/\r\nParam=test=1\r\nInitialDir="
        + QDir::homePath().toUtf8()
        + "\r\n"
          "CouleurFond=16777215\r\nCouleurPolice=0\r\nCouleurChaînes=16711680\r\nCouleurFonctions=255\r\n"
          "Aide="
        + QDir::homePath().toUtf8()
        + "/docphp/\r\nServeurIntegre=1\r\nRacine=\r\nApercuACote=0\r\nApercuLargeur=0\r\nEnregistrementAuto=0\r\nTabulation=4\r\nColorationPHP=1\r\nPortDebogage=9003\r\nComptesDebogage=\r\n"
          "[Mysql]\r\nHost=localhost\r\nUser=root\r\nPass=\r\nPassDansFichier=0\r\nBase=mysql\r\nBaseIntegree=1\r\nArbreSchema=1\r\nArbreSchemaLargeur=200\r\nDelaiConnexion=10\r\n"
          "Chiffrement=none\r\nFichierCA=\r\n";
    EXPECT_EQ(readFile(ini), expected);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(ini).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(SideFiles, StoredGeometryReadings)
{
    struct Case
    {
        const char *mainW;
        QRect bounds; // position and size; ignored when maximised
        bool maximised;
    };
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QByteArray tooLarge = "w=" + QByteArray::number(screen.width() * 2) + "\r\nh="
        + QByteArray::number(screen.height() * 2) + "\r\nx=100\r\ny=100\r\n";
    const QByteArray pastTheRight = "w=500\r\nh=400\r\nx=" + QByteArray::number(screen.right() - 10) + "\r\ny=-0x10\r\n";
    const Case cases[] = {
        // Brought within the screen: the left edge, the size, the right edge.
        {"w=0x280\r\nh=600px\r\nx=-20\r\ny=5\r\n", QRect(screen.left(), 5, 640, 480), false},
        {tooLarge.constData(), screen, false},
        {pastTheRight.constData(), QRect(screen.right() + 1 - 500, screen.top(), 500, 400), false},
        {"w= 800\r\nh=$12C\r\nx=0\r\ny=0\r\n", QRect(0, 0, 800, 300), false},
        {"x=12\r\ny=34\r\n", QRect(12, 34, 640, 480), false},
        {"Maxi=yes\r\nx=1\r\ny=2\r\nw=700\r\nh=500\r\n", QRect(1, 2, 700, 500), false},
        {"Maxi=2\r\nx=1\r\ny=2\r\nw=700\r\nh=500\r\n", QRect(), true},
    };
    for (const Case &c : cases) {
        writeFile(ini, QByteArray("[MainW]\r\n") + c.mainW);
        auto w = start();
        EXPECT_EQ(w->isMaximized(), c.maximised) << c.mainW;
        if (!c.maximised) {
            EXPECT_EQ(w->pos(), c.bounds.topLeft()) << c.mainW;
            EXPECT_EQ(w->size(), c.bounds.size()) << c.mainW;
        }
    }
}

TEST_F(SideFiles, MaximisedStartIgnoresTheBoundsAndStoresTheMaximisedRectangle)
{
    writeFile(ini, "[MainW]\r\nx=10\r\ny=20\r\nw=700\r\nh=500\r\nMaxi=1\r\n");
    auto w = start();
    ASSERT_TRUE(w->isMaximized());
    // Restoring gives the design size, not the stored bounds.
    EXPECT_EQ(w->normalGeometry().size(), QSize(729, 480));
    const QPoint corner = w->pos();
    const QSize maximised = w->size();
    EXPECT_NE(maximised, QSize(729, 480));
    w.reset();
    const ProfileFile after = stored();
    EXPECT_EQ(after.readInteger(u"MainW", u"Maxi", -1), 1);
    EXPECT_EQ(after.readInteger(u"MainW", u"x", -1), corner.x());
    EXPECT_EQ(after.readInteger(u"MainW", u"y", -1), corner.y());
    EXPECT_EQ(after.readInteger(u"MainW", u"w", -1), maximised.width());
    EXPECT_EQ(after.readInteger(u"MainW", u"h", -1), maximised.height());
}

TEST_F(SideFiles, MinimisedWindowStoresItsNormalBounds)
{
    writeFile(ini, "[MainW]\r\nx=10\r\ny=20\r\nw=700\r\nh=500\r\n");
    auto w = start();
    w->showMinimized();
    ASSERT_TRUE(w->isMinimized());
    w.reset();
    const ProfileFile after = stored();
    EXPECT_EQ(after.readInteger(u"MainW", u"Maxi", -1), 0);
    EXPECT_EQ(after.readInteger(u"MainW", u"x", -1), 10);
    EXPECT_EQ(after.readInteger(u"MainW", u"y", -1), 20);
    EXPECT_EQ(after.readInteger(u"MainW", u"w", -1), 700);
    EXPECT_EQ(after.readInteger(u"MainW", u"h", -1), 500);
}

TEST_F(SideFiles, EmptyValuesQuotesBlanksAndTheLengthLimit)
{
    const QByteArray longParam = QByteArray(2047, 'p') + "trop";
    writeFile(ini, "[Params]\r\nAide=\r\nSite=\r\nFichier=  \"/tmp/a b.php\"  \r\nParam= " + longParam
                       + "\r\nInitialDir=\r\n[Mysql]\r\nUser='  moi  '\r\nPass=\r\n");
    const QString startFolder = QDir::currentPath();
    auto w = start();
    EXPECT_EQ(w->eAide->text(), QDir::homePath() + QStringLiteral("/docphp/"));
    EXPECT_EQ(w->eSite->text(), QString());
    EXPECT_EQ(w->eFile->text(), QStringLiteral("/tmp/a b.php"));
    EXPECT_EQ(w->eURL->text(), QStringLiteral("a b.php"));
    EXPECT_EQ(w->eParam->text(), QString(2047, u'p'));
    EXPECT_EQ(w->dlb->currentFolder(), startFolder);
    EXPECT_EQ(w->databasePage->user->text(), QStringLiteral("  moi  "));
    EXPECT_EQ(w->databasePage->pass->text(), QString());
    EXPECT_EQ(w->databasePage->host->text(), QStringLiteral("localhost"));
}

TEST_F(SideFiles, HistoryAndKeywordLineEnds)
{
    struct Case
    {
        const char *name;
        QByteArray history, keywords;
        QStringList items, memoLines;
        QByteArray historyAfter, keywordsAfter; // the keyword list after "z" is typed at its start
    };
    const QStringList three = {QStringLiteral("a"), QString(), QStringLiteral("b")};
    const Case cases[] = {
        {"CR LF", "a\r\n\r\nb\r\n", "f1(a)\r\ng2(b)", three, {"f1(a)", "g2(b)"}, "a\r\n\r\nb\r\n", "zf1(a)\r\ng2(b)"},
        {"LF only", "a\n\nb\n", "f1(a)\ng2(b)", three, {"f1(a)", "g2(b)"}, "a\r\n\r\nb\r\n", "zf1(a)\r\ng2(b)"},
        {"CR only", "a\r\rb\r", "f1(a)\rg2(b)\r", three, {"f1(a)", "g2(b)", ""}, "a\r\n\r\nb\r\n",
         "zf1(a)\r\ng2(b)\r\n"},
        {"history without final break, empty keyword lines", "a\r\n\r\nb", "\r\n\r\nx\r\n", three, {"", "", "x", ""},
         "a\r\n\r\nb\r\n", "z\r\n\r\nx\r\n"},
        {"characters a memo could change: no-break space, tabs, trailing blanks",
         "select 1\r\n", "a\xC2\xA0" "b\tc  \r\n  d", {"select 1"}, {u8("a\u00A0b\tc  "), "  d"}, "select 1\r\n",
         "za\xC2\xA0" "b\tc  \r\n  d"},
        {"empty keyword list", "", "", {}, {""}, "", "z"},
    };
    for (const Case &c : cases) {
        writeFile(qry, c.history);
        writeFile(php, c.keywords);
        auto w = start();
        EXPECT_EQ(historyItems(*w), c.items) << c.name;
        EXPECT_EQ(memoLines(*w->mAide), c.memoLines) << c.name;
        w.reset();
        EXPECT_EQ(readFile(qry), c.historyAfter) << c.name;
        EXPECT_EQ(readFile(php), c.keywords) << c.name << ": a keyword list the run did not change is left as it is";

        w = start();
        QTextCursor(w->mAide->document()).insertText(QStringLiteral("z"));
        w.reset();
        EXPECT_EQ(readFile(php), c.keywordsAfter) << c.name;
        EXPECT_FALSE(QFileInfo::exists(php + QStringLiteral(".bak"))) << c.name;
    }
}

TEST_F(SideFiles, UnknownKeysSurviveInParamsButNotInMainW)
{
    writeFile(ini, "; r\xE9glages\r\n[MainW]\r\nx=1\r\nPerso=main\r\n[Params]\r\nPerso=gard\xE9\r\n; note\r\n"
                   "Site=http://h/\r\n\r\n[Autre]\r\n  cl\xE9 = \"v\" \n");
    auto w = start();
    w.reset();
    const QByteArray after = readFile(ini);
    EXPECT_TRUE(after.startsWith("; r\xE9glages\r\n[MainW]\r\nx=1\r\n")) << after.constData();
    EXPECT_TRUE(after.contains("[Params]\r\nPerso=gard\xE9\r\n; note\r\nSite=http://h/\r\n")) << after.constData();
    EXPECT_TRUE(after.contains("\r\n\r\n[Autre]\r\n  cl\xE9 = \"v\" \n")) << after.constData();
    EXPECT_FALSE(after.contains("Perso=main"));
    const qsizetype mainW = after.indexOf("[MainW]\r\n");
    ASSERT_GE(mainW, 0);
    const QByteArray section = after.mid(mainW, after.indexOf('[', mainW + 1) - mainW);
    EXPECT_EQ(section.count('\n'), 6) << section.constData(); // the header and exactly five keys
}

TEST_F(SideFiles, PasswordIsStoredAsTyped)
{
    auto w = start();
    w->databasePage->pass->setText(u8("s3cr3t é;#\"x\""));
    w.reset();
    EXPECT_TRUE(readFile(ini).contains("\r\nPass=s3cr3t \xC3\xA9;#\"x\"\r\n"));
    // Enclosing quotes are a property of the format: a password in quotes would lose them.
    EXPECT_EQ(stored().readString(u"Mysql", u"Pass"), u8("s3cr3t é;#\"x\""));
}

TEST_F(SideFiles, KeyStoredInWindows1252IsKeptUntilItsValueChanges)
{
    writeFile(ini, "[Params]\r\nCouleurCha\xEEnes=65280\r\n");
    auto w = start();
    EXPECT_EQ(w->CoulChaines, 65280u);
    w.reset();
    EXPECT_EQ(readFile(ini).count("\r\nCouleurCha\xEEnes=65280\r\n"), 1);

    w = start();
    w->CoulChaines = 255;
    w.reset();
    const QByteArray after = readFile(ini);
    EXPECT_FALSE(after.contains('\xEE'));
    EXPECT_EQ(after.count("CouleurCha\xC3\xAEnes=255\r\n"), 1);
}

TEST_F(SideFiles, AFailedWriteIsReportedAndTheOtherFilesAreStillWritten)
{
    struct Case
    {
        const char *name;
        QStringList foldersAt;
        QStringList messages;
    };
    const QString notAFile = QStringLiteral("\nCe n'est pas un fichier ordinaire.");
    const QString cannotCreatePhp = u8("Impossible de créer le fichier ") + php + notAFile;
    const QString cannotWriteIni = u8("Impossible d'écrire dans ") + ini + u'.';
    const QString cannotCreateQry = u8("Impossible de créer le fichier ") + qry + notAFile;
    const Case cases[] = {
        {"keyword list", {php}, {cannotCreatePhp}},
        {"settings", {ini}, {cannotWriteIni}},
        {"history", {qry}, {cannotCreateQry}},
        {"all three, in one box", {php, ini, qry}, {cannotCreatePhp, cannotWriteIni, cannotCreateQry}},
    };
    for (const Case &c : cases) {
        for (const QString &p : {ini, php, qry})
            QDir(p).removeRecursively();
        writeFile(ini, "[Params]\r\nParam=ancien\r\n");
        writeFile(php, "ancien");
        writeFile(qry, "ancienne\r\n");
        for (const QString &p : c.foldersAt)
            makeFolderAt(p);
        ModalWatcher watcher;
        auto w = start();
        w->eParam->setText(QStringLiteral("nouveau"));
        w->mAide->setPlainText(QStringLiteral("nouveau"));
        w->databasePage->cb->list()->addItem(QStringLiteral("nouvelle"));
        const qsizetype boxesBefore = watcher.boxes.size();
        w.reset();
        ASSERT_EQ(watcher.boxes.size(), boxesBefore + 1) << c.name;
        EXPECT_EQ(watcher.boxes.last().text, c.messages.join(QStringLiteral("\n\n"))) << c.name;
        EXPECT_TRUE(watcher.boxes.last().hasIcon) << c.name;
        if (!c.foldersAt.contains(php)) {
            EXPECT_EQ(readFile(php), "nouveau") << c.name;
        }
        if (!c.foldersAt.contains(ini)) {
            EXPECT_EQ(stored().readString(u"Params", u"Param"), "nouveau") << c.name;
        }
        if (!c.foldersAt.contains(qry)) {
            EXPECT_EQ(readFile(qry), "ancienne\r\nnouvelle\r\n") << c.name;
        }
        for (const QString &p : c.foldersAt)
            EXPECT_TRUE(QFileInfo(p).isDir()) << c.name;
    }
}

TEST_F(SideFiles, AReadOnlySettingsFileIsReportedAndTightenedWhileTheOthersAreWritten)
{
    const QByteArray settings = "[Params]\r\nParam=ancien\r\n[Mysql]\r\nPass=secret\r\n";
    writeFile(ini, settings);
    ASSERT_EQ(::chmod(QFile::encodeName(ini).constData(), 0444), 0);
    writeFile(qry, "q1\r\n");
    ModalWatcher watcher;
    auto w = start();
    w->eParam->setText(QStringLiteral("nouveau"));
    QTextCursor(w->mAide->document()).insertText(QStringLiteral("f(a)"));
    w->databasePage->cb->list()->addItem(QStringLiteral("q2"));
    w.reset();
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_TRUE(watcher.boxes[0].text.startsWith(u8("Impossible d'écrire dans ") + ini + u'\n')) << watcher.boxes[0].text.toStdString();
    EXPECT_EQ(readFile(ini), settings);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(ini).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0400u); // still read-only, no longer readable by others
    EXPECT_EQ(readFile(qry), "q1\r\nq2\r\n");
    EXPECT_EQ(readFile(php), "f(a)");
}

TEST_F(SideFiles, ASettingsFileHoldingAPasswordIsMadeOwnerOnly)
{
    struct Case
    {
        const char *settings;
        const char *typedPassword; // nullptr: the run leaves it alone
        mode_t before, after;
    };
    const Case cases[] = {
        {"[Mysql]\r\nPass=secret\r\n", nullptr, 0644, 0600},
        {"[Mysql]\r\nPass=\r\n", nullptr, 0644, 0644},
        {"[Mysql]\r\nPass=\r\n", "secret", 0664, 0600},
        {"[Mysql]\r\nPass=secret\r\n", "", 0644, 0644},
    };
    for (const Case &c : cases) {
        writeFile(ini, c.settings);
        ASSERT_EQ(::chmod(QFile::encodeName(ini).constData(), c.before), 0);
        auto w = start();
        if (c.typedPassword)
            w->databasePage->pass->setText(QString::fromUtf8(c.typedPassword));
        w.reset();
        struct stat info {};
        ASSERT_EQ(::stat(QFile::encodeName(ini).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, c.after) << c.settings << " typed " << (c.typedPassword ? c.typedPassword : "-");
    }
}

TEST_F(SideFiles, AValueOfOneMegabyteTheRunDidNotTouchIsKeptWhole)
{
    const QByteArray site = "http://h/" + QByteArray(1 << 20, 's');
    writeFile(ini, "[Params]\r\nSite=" + site + "\r\nParam=ancien\r\n");
    auto w = start();
    EXPECT_EQ(w->eSite->text().size(), 2047);
    w->eParam->setText(QStringLiteral("nouveau"));
    w.reset();
    const QByteArray after = readFile(ini);
    EXPECT_TRUE(after.contains("\r\nSite=" + site + "\r\n"));
    EXPECT_EQ(stored().readString(u"Params", u"Param"), QStringLiteral("nouveau"));
}

TEST_F(SideFiles, AWindowMaximisedWhenClosedStaysMaximisedOnceHidden)
{
    auto w = start();
    w->showMaximized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->isMaximized(); }));
    const QSize maximised = w->size();
    w->close();
    // Once the window is unmapped, a window manager takes its maximised state back.
    w->setWindowState(Qt::WindowNoState);
    w.reset();
    const ProfileFile after = stored();
    EXPECT_EQ(after.readInteger(u"MainW", u"Maxi", -1), 1);
    EXPECT_EQ(after.readInteger(u"MainW", u"w", -1), maximised.width());
}

class MissingStartFolder : public SideFiles
{
protected:
    const QByteArray storedSettings = "[Params]\r\nFichier=/nulle/part.php\r\nSite=http://h/\r\nParam=p=1\r\n"
                                      "InitialDir=/dossier/disparu\r\nCouleurFond=123\r\nCouleurPolice=456\r\n"
                                      "CouleurChaînes=789\r\nCouleurFonctions=1011\r\nAide=/aide/\r\n"
                                      "[Mysql]\r\nHost=hote\r\nUser=moi\r\nPass=secret\r\nBase=essai\r\n";
    void SetUp() override
    {
        writeFile(ini, storedSettings);
        writeFile(qry, "q1\r\nq2\r\n");
    }
};

TEST_F(MissingStartFolder, StartUpStopsWithAnErrorAndOpensOnTheAboutPage)
{
    ModalWatcher watcher;
    auto w = start();
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_TRUE(watcher.boxes[0].hasIcon);
    EXPECT_TRUE(watcher.boxes[0].text.contains(QStringLiteral("/dossier/disparu"))) << watcher.boxes[0].text.toStdString();
    EXPECT_EQ(w->PC->currentWidget(), w->TabSheet1);
    EXPECT_EQ(w->eParam->text(), QStringLiteral("p=1")); // read before the start folder
    EXPECT_EQ(w->M->backgroundColour(), 0x800000u);       // design colours
    EXPECT_EQ(w->CoulChaines, 0u);
    EXPECT_EQ(w->databasePage->host->text(), QString());
    EXPECT_EQ(w->databasePage->cb->list()->count(), 0);
}

TEST_F(MissingStartFolder, ShutDownDoesNotWriteTheValuesItNeverLoaded)
{
    ModalWatcher watcher;
    auto w = start();
    w.reset();
    EXPECT_EQ(watcher.boxes.size(), 1); // the start-up error only
    const ProfileFile after = stored();
    const ProfileFile before(storedSettings);
    for (const char *key : {"Fichier", "Site", "Param", "InitialDir", "CouleurFond", "CouleurPolice",
                            "CouleurChaînes", "CouleurFonctions", "Aide"})
        EXPECT_EQ(after.readString(u"Params", u8(key)), before.readString(u"Params", u8(key))) << key;
    for (const char *key : {"Host", "User", "Pass", "Base"})
        EXPECT_EQ(after.readString(u"Mysql", u8(key)), before.readString(u"Mysql", u8(key))) << key;
    EXPECT_EQ(readFile(qry), "q1\r\nq2\r\n");
}

TEST_F(MissingStartFolder, WhatTheUserChangesIsStillWritten)
{
    const QString elsewhere = folder.path("ailleurs");
    QDir().mkpath(elsewhere);
    ModalWatcher watcher;
    auto w = start();
    w->databasePage->host->setText(QStringLiteral("nouvel-hote"));
    w->dlb->setCurrentFolder(elsewhere);
    w->databasePage->cb->list()->addItem(QStringLiteral("Q1")); // already stored, letter case aside
    w->databasePage->cb->list()->addItem(QStringLiteral("q3"));
    w.reset();
    const ProfileFile after = stored();
    EXPECT_EQ(after.readString(u"Mysql", u"Host"), QStringLiteral("nouvel-hote"));
    EXPECT_EQ(after.readString(u"Mysql", u"User"), QStringLiteral("moi"));
    EXPECT_EQ(after.readString(u"Params", u"InitialDir"), QDir(elsewhere).absolutePath());
    EXPECT_EQ(after.readString(u"Params", u"CouleurFond"), QStringLiteral("123"));
    EXPECT_EQ(readFile(qry), "q1\r\nq2\r\nq3\r\n");
}

TEST_F(SideFiles, AFailedLoadAtShowTimeKeepsTheStoredKeywordList)
{
    // /proc/self/mem is a regular file that even root cannot read from its start.
    writeFile(ini, "[Params]\r\nFichier=/proc/self/mem\r\n");
    writeFile(php, "f(a)\r\ng(b)");
    ModalWatcher watcher;
    auto w = start();
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_EQ(watcher.boxes[0].text, u8("Impossible d'ouvrir le fichier /proc/self/mem."));
    EXPECT_EQ(w->windowTitle(), TfmMain::windowTitleText());
    EXPECT_EQ(w->mAide->toPlainText(), QString());
    w.reset();
    EXPECT_EQ(watcher.boxes.size(), 1);
    EXPECT_EQ(readFile(php), "f(a)\r\ng(b)");

    // Typed into during such a run, the memo replaces the file only when the user agrees.
    for (const QString &answer : {QStringLiteral("Conserver le fichier"), QStringLiteral("Remplacer")}) {
        w = start();
        w->mAide->setPlainText(QStringLiteral("h(c)"));
        watcher.boxes.clear();
        watcher.answer = answer;
        w.reset();
        const bool replaced = answer == u"Remplacer";
        // Replaced, the file the run never saw is kept aside, and a second box says where.
        ASSERT_EQ(watcher.boxes.size(), replaced ? 2 : 1) << answer.toStdString();
        EXPECT_TRUE(watcher.boxes[0].text.contains(php)) << watcher.boxes[0].text.toStdString();
        EXPECT_EQ(readFile(php), replaced ? "h(c)" : "f(a)\r\ng(b)");
        EXPECT_EQ(QFileInfo::exists(php + QStringLiteral(".bak")), replaced);
    }
    EXPECT_EQ(readFile(php + QStringLiteral(".bak")), "f(a)\r\ng(b)");
}

TEST_F(SideFiles, AKeywordListThatCannotBeOpenedIsReportedAndLeftAlone)
{
    ASSERT_EQ(::symlink("/proc/self/mem", QFile::encodeName(php).constData()), 0);
    ModalWatcher watcher;
    auto w = start();
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_EQ(watcher.boxes[0].text, u8("Impossible d'ouvrir le fichier ") + php + u'.');
    w.reset();
    EXPECT_EQ(watcher.boxes.size(), 1);
    EXPECT_EQ(QFileInfo(php).symLinkTarget(), QStringLiteral("/proc/self/mem"));
    EXPECT_TRUE(QFileInfo(qry).isFile()); // the rest of shut-down went on
}

TEST_F(SideFiles, AWindowNeverShownDoesNotEmptyTheKeywordList)
{
    writeFile(php, "f(a)");
    auto w = start(false);
    w.reset();
    EXPECT_EQ(readFile(php), "f(a)");
    EXPECT_TRUE(QFileInfo(ini).isFile());
}

TEST_F(SideFiles, EverySettingChangedThroughTheControlsSurvivesARestart)
{
    const QString page = folder.write("page.php", "<?php echo 2;");
    const QString browsed = folder.path("site");
    QDir().mkpath(browsed);
    ModalWatcher watcher;
    auto w = start();
    w->move(33, 44);
    w->resize(500, 400);
    w->eFile->setText(page);
    w->eSite->setText(QStringLiteral("http://127.0.0.1:8080/site/"));
    w->eParam->setText(QStringLiteral("a=1&b=2"));
    QTest::mouseClick(w->cbServeurIntegre, Qt::LeftButton); // off
    w->eRacine->setText(QStringLiteral("/srv/racine"));
    w->dlb->setCurrentFolder(browsed);
    QTest::mouseClick(w->cbPhpColouring, Qt::LeftButton); // off: "Chaînes" and "Fonctions" back
    const std::pair<SpeedButton *, QColor> picks[] = {
        {w->SpeedButton3, QColor(0x10, 0x20, 0x30)}, {w->SpeedButton4, QColor(0x40, 0x50, 0x60)},
        {w->SpeedButton5, QColor(0x70, 0x80, 0x90)}, {w->SpeedButton6, QColor(0xA0, 0xB0, 0xC0)}};
    for (const auto &[button, colour] : picks) {
        watcher.onColorDialog = [colour](QColorDialog *dialog) {
            dialog->setCurrentColor(colour);
            dialog->accept();
        };
        QTest::mouseClick(button, Qt::LeftButton);
    }
    w->eAide->setText(QStringLiteral("/srv/aide/"));
    w->databasePage->host->setText(QStringLiteral("db.example"));
    w->databasePage->user->setText(QStringLiteral("moi"));
    w->databasePage->pass->setText(QStringLiteral("mot de passe"));
    w->databasePage->base->setText(QStringLiteral("essai"));
    w->databasePage->cb->list()->addItems({QStringLiteral("select 1"), QString(), u8("select 'é'")});
    w->mAide->setPlainText(QStringLiteral("f(a)\ng(b)\n"));
    ASSERT_TRUE(watcher.boxes.isEmpty());
    w.reset();

    w = start();
    EXPECT_TRUE(watcher.boxes.isEmpty());
    EXPECT_EQ(w->pos(), QPoint(33, 44));
    EXPECT_EQ(w->size(), QSize(500, 400));
    EXPECT_EQ(w->eFile->text(), page);
    EXPECT_EQ(w->M->wholeText(), QByteArray("<?php echo 2;"));
    EXPECT_EQ(w->eSite->text(), QStringLiteral("http://127.0.0.1:8080/site/"));
    EXPECT_EQ(w->eParam->text(), QStringLiteral("a=1&b=2"));
    EXPECT_EQ(w->eURL->text(), QStringLiteral("http://127.0.0.1:8080/site/page.php"));
    EXPECT_FALSE(w->cbServeurIntegre->isChecked());
    EXPECT_FALSE(w->cbPhpColouring->isChecked());
    EXPECT_EQ(w->eRacine->text(), QStringLiteral("/srv/racine"));
    EXPECT_EQ(w->dlb->currentFolder(), QDir(browsed).absolutePath());
    EXPECT_EQ(w->M->backgroundColour(), 0x302010u);
    EXPECT_EQ(w->M->textColour(), 0x605040u);
    EXPECT_EQ(w->CoulPolice, 0x605040u);
    EXPECT_EQ(w->CoulChaines, 0x908070u);
    EXPECT_EQ(w->CoulFonctions, 0xC0B0A0u);
    EXPECT_EQ(w->eAide->text(), QStringLiteral("/srv/aide/"));
    EXPECT_EQ(w->databasePage->host->text(), QStringLiteral("db.example"));
    EXPECT_EQ(w->databasePage->user->text(), QStringLiteral("moi"));
    EXPECT_EQ(w->databasePage->pass->text(), QStringLiteral("mot de passe"));
    EXPECT_EQ(w->databasePage->base->text(), QStringLiteral("essai"));
    EXPECT_EQ(historyItems(*w), (QStringList{QStringLiteral("select 1"), QString(), u8("select 'é'")}));
    EXPECT_EQ(w->mAide->toPlainText(), QStringLiteral("f(a)\ng(b)\n"));
    EXPECT_EQ(w->PC->currentWidget(), w->TabSheet2);
}

TEST_F(SideFiles, BuiltinServerIsOnForANewUserAndOffForOneWithASiteOfTheirOwn)
{
    const struct
    {
        const char *params;
        bool on;
    } cases[] = {
        {"", true},
        {"Site=http://localhost/\r\n", true}, // the default, written by an earlier run
        {"Site=http://intranet/dev/\r\n", false},
        {"Site=http://intranet/dev/\r\nServeurIntegre=1\r\n", true},
        {"ServeurIntegre=0\r\n", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.params);
        writeFile(ini, QByteArray("[Params]\r\n") + c.params);
        auto w = start(false);
        EXPECT_EQ(w->cbServeurIntegre->isChecked(), c.on);
    }
}

TEST(SideFileLocation, EmptyBaseMeansBesideTheExecutable)
{
    const QString base = QCoreApplication::applicationDirPath() + QStringLiteral("/")
        + QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    for (const char *ext : {".ini", ".php", ".qry"})
        QFile::remove(base + QLatin1String(ext));
    auto w = std::make_unique<TfmMain>();
    w->show();
    EXPECT_EQ(w->sideFileBase(), base);
    w.reset();
    for (const char *ext : {".ini", ".php", ".qry"}) {
        EXPECT_TRUE(QFileInfo(base + QLatin1String(ext)).isFile()) << ext;
        QFile::remove(base + QLatin1String(ext));
    }
}

TEST_F(SideFiles, HistoryKeepsMultiLineStatementsAndNoSecretsInAnOwnerOnlyFile)
{
    const QString multiLine = u8("SELECT nom,\n       ville\r\nFROM clients");
    {
        auto w = start();
        EXPECT_EQ(w->databasePage->DelaiConnexion, 10);
        w->databasePage->cb->addItem(multiLine);
        w->databasePage->cb->addItem(QStringLiteral("CREATE USER bob IDENTIFIED BY 'secret'"));
        w->databasePage->cb->addItem(QStringLiteral("SELECT 1"));
    }
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(qry).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_FALSE(readFile(qry).contains("secret"));
    EXPECT_EQ(readFile(qry).count('\n'), 2);

    auto again = start();
    EXPECT_EQ(historyItems(*again), (QStringList{multiLine, QStringLiteral("SELECT 1")}));
}

TEST_F(SideFiles, EncryptionIsNoneWithoutTheKeyAndAMistypedWishForTlsIsRequired)
{
    const struct
    {
        const char *ini;
        TlsMode mode;
        bool caFileOffered;
    } cases[] = {
        {"", TlsMode::None, false}, // a new user connects as before the setting existed
        {"[Mysql]\r\nHost=db.exemple.test\r\n", TlsMode::None, false},
        {"[Mysql]\r\nChiffrement=preferred\r\n", TlsMode::Preferred, false},
        {"[Mysql]\r\nChiffrement= Verified \r\n", TlsMode::Verified, true},
        {"[Mysql]\r\nChiffrement=verifed\r\n", TlsMode::Required, false}, // never in the clear by a typo
    };
    for (const auto &c : cases) {
        writeFile(ini, c.ini);
        auto w = start();
        EXPECT_EQ(TlsMode(w->databasePage->cbChiffrement->currentIndex()), c.mode) << c.ini;
        EXPECT_EQ(w->databasePage->eFichierCA->isEnabled(), c.caFileOffered) << c.ini;
    }
}

TEST_F(SideFiles, ConnectTimeoutIsReadFromTheSettings)
{
    writeFile(ini, "[Mysql]\r\nDelaiConnexion=3\r\n");
    EXPECT_EQ(start()->databasePage->DelaiConnexion, 3);
    writeFile(ini, "[Mysql]\r\nDelaiConnexion=0\r\n");
    EXPECT_EQ(start()->databasePage->DelaiConnexion, 10); // no time-out at all is not offered
}

// Each key read at start-up comes back unchanged at shut-down: a key read into the wrong
// control, or written in another form than it is read, changes here. Every declared key
// is tried, with a value of its own that is not its default.
TEST_F(SideFiles, EveryKeyComesBackAsItWasRead)
{
    const QString sub = folder.path("site");
    ASSERT_TRUE(QDir().mkpath(sub));
    // Values that a key needs to take (an existing folder, a mode it knows, a place on screen,
    // a server that is not started); any other key gets one made from its kind.
    const QHash<QString, QString> needed = {
        {u8("MainW/x"), u8("20")}, {u8("MainW/y"), u8("30")}, {u8("MainW/w"), u8("700")}, {u8("MainW/h"), u8("500")},
        {u8("MainW/Maxi"), u8("0")},
        {u8("Params/Fichier"), folder.path("absent.php")}, {u8("Params/Site"), u8("http://exemple.test/")},
        {u8("Params/InitialDir"), sub}, {u8("Params/Racine"), sub}, {u8("Params/ServeurIntegre"), u8("0")},
        {u8("Params/Tabulation"), u8("2")}, {u8("Params/ApercuLargeur"), u8("300")},
        {u8("Params/PortDebogage"), u8("9100")}, {u8("Params/ComptesDebogage"), u8("daemon")}, {u8("Mysql/BaseIntegree"), u8("0")},
        {u8("Mysql/Chiffrement"), u8("verified")}, {u8("Mysql/DelaiConnexion"), u8("3")},
        {u8("Mysql/ArbreSchemaLargeur"), u8("260")},
    };
    QList<StoredSetting> keys;
    QSet<QString> ids;
    {
        auto first = start();
        int n = 0;
        for (const Setting *s : first->settingsRegistry().all()) {
            EXPECT_FALSE(ids.contains(s->id())) << "declared twice: " << s->id().toStdString();
            ids.insert(s->id());
            const QVariant byDefault = s->read(ProfileFile());
            QString value;
            switch (s->kind) {
            case SettingKind::Text:
                value = u8("essai ") + s->key;
                break;
            case SettingKind::Integer:
                value = QString::number(byDefault.toInt() + 7);
                break;
            case SettingKind::Bool:
                value = byDefault.toBool() ? u8("0") : u8("1");
                break;
            case SettingKind::Colour:
                value = QString::number(0x102030 + 0x10101 * ++n); // a colour of its own for each key
                break;
            }
            keys.append({s->section, s->key, needed.value(s->id(), value)});
        }
    }
    ASSERT_GE(keys.size(), 30);
    ProfileFile written;
    for (const StoredSetting &k : keys)
        written.writeString(k.section, k.key, k.value);
    writeFile(ini, written.bytes());
    start().reset();
    const ProfileFile back = stored();
    for (const StoredSetting &k : keys)
        EXPECT_EQ(back.readString(k.section, k.key), k.value) << k.section.toStdString() << '/' << k.key.toStdString();
}

} // namespace

ONDREL_QT_TEST_MAIN
