// The main window: every control with its name and design values, the event
// table's error box, the caption and the page shown at start.
#include "support/qtmain.h"
#include "support/testsupport.h"

#include "app/main.h"
#include "pages/databasepage.h"
#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "files/browser.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTabWidget>
#include <QTimer>

namespace {

TEST(ErrorBox, FullStopRuleAndApplicationTitle)
{
    EXPECT_EQ(withFullStop(QStringLiteral("Impossible de créer le fichier /a/b.php")),
              QStringLiteral("Impossible de créer le fichier /a/b.php."));
    EXPECT_EQ(withFullStop(QStringLiteral("Impossible de créer le fichier ")),
              QStringLiteral("Impossible de créer le fichier ")); // a space sorts before "."
    EXPECT_EQ(withFullStop(QStringLiteral("Fin.")), QStringLiteral("Fin."));
    EXPECT_EQ(withFullStop(QStringLiteral("a-")), QStringLiteral("a-"));
    EXPECT_EQ(withFullStop(QStringLiteral("dossier/")), QStringLiteral("dossier/."));
    EXPECT_EQ(withFullStop(QString()), QString());

    EXPECT_EQ(applicationTitleFor(QStringLiteral("/usr/bin/ondrel")), QStringLiteral("Ondrel"));
    EXPECT_EQ(applicationTitleFor(QStringLiteral("/opt/ONDREL.v2.bin")), QStringLiteral("Ondrel"));
    EXPECT_EQ(applicationTitleFor(QStringLiteral("c/my.Tool")), QStringLiteral("My"));
}

TEST(ErrorBox, AnErrorEscapingAHandlerIsShownAndTheProgramGoesOn)
{
    TempFolder folder;
    auto window = makeWindow(folder.path(QString()));
    ModalWatcher watcher;
    bool laterStepRan = false;
    window->guard([&] {
        throw OndrelError(cannotWriteMessage(QStringLiteral("/x/ondrel.ini")));
        laterStepRan = true;
    });
    ASSERT_EQ(watcher.boxes.size(), 1);
    EXPECT_EQ(watcher.boxes[0].text, QStringLiteral("Impossible d'écrire dans /x/ondrel.ini."));
    EXPECT_EQ(watcher.boxes[0].caption, applicationTitle());
    EXPECT_TRUE(watcher.boxes[0].hasIcon);
    EXPECT_FALSE(laterStepRan);

    // A message that quotes markup shows it as it is.
    for (const QString &text : {QStringLiteral("Unknown database '<b>shop</b>'"),
                                QStringLiteral("Impossible d'ouvrir le fichier /tmp/<i>x</i>.php")}) {
        window->guard([&] { throw OndrelError(text); });
        EXPECT_EQ(watcher.boxes.back().text, withFullStop(text));
        EXPECT_EQ(watcher.boxes.back().format, Qt::PlainText);
    }
    for (QLabel *label : window->findChildren<QLabel *>()) {
        if (label->window() == window.get()) {
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
        }
    }
}

class Window : public ::testing::Test
{
protected:
    TempFolder folder;
    std::unique_ptr<TfmMain> window = makeWindow(folder.path(QString()));

    template <typename W>
    W *control(const char *name)
    {
        W *w = window->findChild<W *>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
};

TEST_F(Window, SixPagesInOrderAndFichierShownAfterStart)
{
    auto *pc = control<QTabWidget>("PC");
    ASSERT_EQ(pc->count(), 6);
    const QStringList captions = {QStringLiteral("Fichier"), QStringLiteral("Editeur du source"),
                                  QStringLiteral("Visualisation du résultat (F9)"), QStringLiteral("Base de donnée"),
                                  QStringLiteral("A propos"), QStringLiteral("Mots clé et aide")};
    const QStringList names = {"TabSheet2", "tsEdit", "tsWB", "TabSheet4", "TabSheet1", "TabSheet3"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(pc->tabText(i), captions[i]);
        EXPECT_EQ(pc->widget(i)->objectName(), names[i]);
    }
    EXPECT_EQ(pc->currentWidget(), window->TabSheet2);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Ondrel V2.1 beta - par l'équipe Ondrel"));
}

TEST_F(Window, ControlsCarryTheirDesignValues)
{
    const std::pair<const char *, const char *> captions[] = {
        {"Label1", "Fichier"}, {"Label2", "Site"}, {"Label3", "Param"}, {"Label4", "URL"},
        {"Label5", "Position"}, {"Label6", "Aide"}, {"Label7", "Dossier de l'aide HTML"},
        {"Label8", "Host"}, {"Label9", "User"}, {"Label10", "Pass"}, {"Label11", "Base"}, {"mysqlErr", "Ok"},
    };
    for (const auto &[name, caption] : captions)
        EXPECT_EQ(control<QLabel>(name)->text(), QString::fromUtf8(caption)) << name;

    const std::pair<const char *, const char *> buttons[] = {
        {"sbColorie", "Tout colorier"}, {"SpeedButton3", "Fond"}, {"SpeedButton4", "Police"},
        {"SpeedButton5", "Chaînes"}, {"SpeedButton6", "Fonctions"}, {"sbAide", "Index de l'aide (F1)"},
        {"SpeedButton2", "Précédent"}, {"SpeedButton1", "Stop"}, {"SpeedButton7", "Rafraichis"},
        {"sbConnected", "Go"}, {"SpeedButton8", "0"}, {"SpeedButton9", "0"}, {"SpeedButton10", "0"},
        {"SpeedButton11", "0"}, {"SpeedButton12", "0"},
    };
    for (const auto &[name, caption] : buttons)
        EXPECT_EQ(control<SpeedButton>(name)->text(), QString::fromUtf8(caption)) << name;
    EXPECT_FALSE(window->sbAide->isHidden());

    EXPECT_EQ(control<QCheckBox>("cbColore")->text(), QStringLiteral("Colorier"));
    EXPECT_FALSE(window->cbColore->isChecked());
    EXPECT_EQ(control<QCheckBox>("cbTempo")->text(), QStringLiteral("Actualisation (ms)"));
    EXPECT_FALSE(window->databasePage->cbTempo->isChecked());
    EXPECT_EQ(control<QLineEdit>("tempo")->text(), QStringLiteral("5000"));
    // "Pass" as dots; the eye at its end shows it and hides it again.
    auto *pass = control<QLineEdit>("pass");
    EXPECT_EQ(pass->echoMode(), QLineEdit::Password);
    auto *eye = pass->findChild<QAction *>(QStringLiteral("actVoirPass"));
    ASSERT_NE(eye, nullptr);
    eye->trigger();
    EXPECT_EQ(pass->echoMode(), QLineEdit::Normal);
    eye->trigger();
    EXPECT_EQ(pass->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(window->databasePage->Timer1->isActive());
    EXPECT_EQ(window->databasePage->Timer1->interval(), 1000);
    EXPECT_EQ(control<QProgressBar>("PB")->maximum(), 100);
    EXPECT_EQ(window->FilterComboBox1->filter(),
              QStringLiteral("Tous les fichiers (*.*)|*.*|Fichiers PHP3|*.php3|Fichiers TXT|*.txt|"
                             "Fichier INC|*.inc|Fichier JPG|*.jpg|Fichier GIF|*.GIF|Fichiers PHP (*.php)|*.php"));
    EXPECT_EQ(window->FilterComboBox1->count(), 7); // the design's six, then "*.php" at the end

    for (const char *name : {"fmMain", "PC", "ColorDialog1", "Timer1", "Panel1", "Panel2", "Panel3",
                             "Panel4", "Panel5", "Panel6", "eFile", "eSite", "eParam", "eURL", "DriveComboBox1",
                             "FilterComboBox1", "dlb", "flb", "M", "WB", "param", "eText", "host", "user", "base",
                             "cb", "sg", "Memo1", "Memo2", "mAide", "eAide"}) {
        EXPECT_TRUE(window->objectName() == QLatin1String(name) || window->findChild<QObject *>(QLatin1String(name)))
            << name;
    }
}

TEST_F(Window, AboutTextNamesTheProductVersionAndTheOneStepPreview)
{
    const QString about = window->Memo1->toPlainText();
    EXPECT_TRUE(about.contains(QStringLiteral("Ondrel V2.1")));
    EXPECT_TRUE(about.contains(QStringLiteral("F9")));
    EXPECT_TRUE(about.contains(QStringLiteral("Historique des versions")));
    // The licence comes last, under the history, and nothing forbids changing or selling the program.
    EXPECT_TRUE(about.trimmed().endsWith(QStringLiteral("GPL-3.0-or-later), sans aucune garantie ; "
                                                        "voir https://www.gnu.org/licenses/gpl-3.0.html")));
    EXPECT_FALSE(about.contains(QStringLiteral("ne pas le vendre")));
}

TEST_F(Window, AnchorButtonsAndColourButtonsSitOnTheirDesignSpots)
{
    int left = 416;
    for (const char *name : {"SpeedButton8", "SpeedButton9", "SpeedButton10", "SpeedButton11", "SpeedButton12"}) {
        const QRect r = control<SpeedButton>(name)->geometry();
        EXPECT_EQ(r, QRect(left, 0, 24, 16)) << name;
        left += 24;
    }
    EXPECT_EQ(window->sbColorie->geometry(), QRect(152, 0, 72, 16));
    EXPECT_EQ(window->eFile->geometry().topLeft(), QPoint(40, 0));
    EXPECT_EQ(window->eFile->width(), 308);
}

// The controls added to the editor's toolbar after the design fit at the
// first-start size and in a wide window, captions whole and over no other
// control; their tooltips give the full names.
TEST_F(Window, AddedToolbarControlsFitAtTheFirstStartSize)
{
    window->PC->setCurrentWidget(window->tsEdit);
    struct Case
    {
        QCheckBox *box;
        const char *fullName;
    } const cases[] = {{window->cbApercuACote, "Aperçu à côté"},
                       {window->cbEnregistrementAuto, "Enregistrer en tapant"},
                       {window->cbPhpColouring, "PHP, HTML et JavaScript"}};
    for (const int width : {640, 1000}) {
        window->resize(width, 480);
        QCoreApplication::processEvents();
        for (const Case &c : cases) {
            SCOPED_TRACE(c.fullName);
            const QRect r = c.box->geometry();
            EXPECT_LE(r.right(), window->Panel1->width() - 1) << width << ": ends at " << r.right();
            EXPECT_LE(r.bottom(), window->Panel1->height() - 1) << width;
            EXPECT_LE(c.box->sizeHint().width(), r.width()) << "caption cut";
            EXPECT_TRUE(c.box->toolTip().startsWith(QString::fromUtf8(c.fullName))) << c.fullName;
            for (QWidget *other : window->Panel1->findChildren<QAbstractButton *>()) {
                if (other != c.box && !other->isHidden())
                    EXPECT_FALSE(r.intersects(other->geometry())) << width << ": over " << qPrintable(other->objectName());
            }
        }
    }
}

// "Chiffrer la connexion" takes a row of its own under the database page's
// fields: whole at the first-start size and in a wide window, over no other
// control, the CA file edit reaching its "…" at the panel's right edge.
TEST_F(Window, EncryptionRowFitsTheDatabasePage)
{
    window->PC->setCurrentWidget(window->databasePage);
    for (const int width : {640, 1000}) {
        SCOPED_TRACE(width);
        window->resize(width, 480);
        QCoreApplication::processEvents();
        QWidget *row[] = {window->databasePage->lChiffrement, window->databasePage->cbChiffrement, window->databasePage->eFichierCA, window->databasePage->sbFichierCA};
        for (QWidget *control : row) {
            const QRect r = control->geometry();
            EXPECT_LE(r.right(), window->databasePage->Panel6->width() - 1) << qPrintable(control->objectName());
            EXPECT_LE(r.bottom(), window->databasePage->Panel6->height() - 1) << qPrintable(control->objectName());
            for (QWidget *other : window->databasePage->Panel6->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
                if (other != control && !other->isHidden()) {
                    EXPECT_FALSE(r.intersects(other->geometry()))
                        << qPrintable(control->objectName()) << " over " << qPrintable(other->objectName());
                }
            }
        }
        EXPECT_LE(window->databasePage->lChiffrement->sizeHint().width(), window->databasePage->lChiffrement->width()) << "caption cut";
        EXPECT_LE(window->databasePage->cbChiffrement->sizeHint().width(), window->databasePage->cbChiffrement->width()) << "choice cut";
        EXPECT_GE(window->databasePage->eFichierCA->width(), 150) << "no room left for a path";
        EXPECT_EQ(window->databasePage->sbFichierCA->geometry().right(), window->databasePage->Panel6->width() - 4);
    }
}

} // namespace

ONDREL_QT_TEST_MAIN
