// Takes a picture of each page of a real Ondrel window, for the README.
// Run it under an X server (scripts/screenshots.sh uses Xvfb): it serves a small
// sample site with `php -S`, chooses a page in the file list, colours it, asks
// for a function's hint, previews it, and saves one PNG per page.
#include "app/main.h"
#include "pages/databasepage.h"
#include "preview/serverlogpanel.h"
#include "app/translations.h"
#include "widgets/widgets.h"
#include "editor/richedit.h"
#include "search/openfilebox.h"
#include "search/sitesearch.h"
#include "search/sitesearchpanel.h"
#include "files/browser.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

const char kSamplePage[] =
    "<?php\n"
    "// Liste des livres de la bibliothèque\n"
    "$titre = \"Mes livres\";\n"
    "$livres = array(\"Le Horla\", \"Candide\", \"Germinal\");\n"
    "echo \"<h1>\" . htmlspecialchars($titre) . \"</h1>\";\n"
    "echo \"<p>\" . count($livres) . \" livres, paramètre : \" . $_GET[\"test\"] . \"</p>\";\n"
    "foreach ($livres as $livre) {\n"
    "    echo \"<li>\" . strtoupper($livre) . \"</li>\";\n"
    "}\n"
    "$n = strlen($titre);\n"
    "?>\n";

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}

void settle(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

void shoot(TfmMain &window, QWidget *page, const QString &path)
{
    window.showPage(page);
    settle(600);
    const QRect frame = window.geometry();
    QScreen *screen = window.screen();
    const QPixmap picture = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (!picture.save(path))
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

} // namespace

int main(int argc, char *argv[])
{
    if (::geteuid() == 0)
        ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QApplication app(argc, argv);
    installFrenchTranslations(&app);
    // Absolute: the folder list changes the process's current folder.
    const QString out = QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots")).absolutePath();
    QDir().mkpath(out);

    QTemporaryDir dir;
    const QString site = dir.filePath(QStringLiteral("site"));
    write(site + QStringLiteral("/livres.php"), kSamplePage);
    write(site + QStringLiteral("/index.php"), "<?php echo 'Accueil'; ?>\n");
    write(site + QStringLiteral("/style.css"), "body { font-family: sans-serif; }\n");
    write(dir.filePath(QStringLiteral("docphp/index.html")), "<html>Index</html>\n");
    write(dir.filePath(QStringLiteral("docphp/function.strlen.html")), "<html>strlen</html>\n");

    // A cache of its own: a journal another run left would put the recovery question in the pictures.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
    TfmMain window(dir.filePath(QStringLiteral("ondrel")));
    window.resize(900, 560);
    window.move(0, 0);
    window.show();
    settle(500);

    window.eRacine->setText(site); // previewed through Ondrel's own PHP server, on for a new user
    window.eAide->setText(dir.filePath(QStringLiteral("docphp/")));
    window.mAide->setPlainText(QStringLiteral("int count(mixed $tableau)\nint strlen(string $chaine)\n"
                                              "string strtoupper(string $chaine)\n"
                                              "string htmlspecialchars(string $chaine)\n"));
    window.dlb->setCurrentFolder(site);
    settle(200);
    for (int i = 0; i < window.flb->count(); ++i) {
        if (window.flb->item(i)->text() == QLatin1String("livres.php")) {
            window.flb->setCurrentRow(i);
            QTest::mouseClick(window.flb->viewport(), Qt::LeftButton, {},
                              window.flb->visualItemRect(window.flb->item(i)).center());
        }
    }
    shoot(window, window.TabSheet2, out + QStringLiteral("/fichier.png"));

    window.showPage(window.tsEdit);
    window.sbColorieClick();
    const qsizetype call = window.M->wholeText().indexOf("strlen(") + 7;
    window.M->setSelStart(call);
    window.Ligne();
    window.SpeedButton8->setText(QStringLiteral("3"));
    shoot(window, window.tsEdit, out + QStringLiteral("/editeur.png"));

    window.showPage(window.tsWB);
    window.PCChange();
    for (int i = 0; i < 100 && window.param->text().isEmpty(); ++i)
        settle(100);
    window.mJournal->setExpanded(true);
    shoot(window, window.tsWB, out + QStringLiteral("/apercu.png"));

    shoot(window, window.databasePage, out + QStringLiteral("/base.png"));
    shoot(window, window.TabSheet1, out + QStringLiteral("/a-propos.png"));
    shoot(window, window.TabSheet3, out + QStringLiteral("/mots-cle.png"));

    // The page beside the editor (F10), refreshed at every save.
    window.showPage(window.tsEdit);
    window.param->clear();
    window.cbApercuACote->click();
    for (int i = 0; i < 100 && window.param->text().isEmpty(); ++i)
        settle(100);
    shoot(window, window.tsEdit, out + QStringLiteral("/apercu-a-cote.png"));

    // The site search: the box of Ctrl+P, then find in files with its results.
    window.cbApercuACote->click();
    window.showPage(window.tsEdit);
    window.M->setFocus();
    window.siteSearch->openFileBox();
    QTest::keyClicks(window.siteSearch->box()->edit, QStringLiteral("liv"));
    shoot(window, window.tsEdit, out + QStringLiteral("/ouvrir-fichier.png"));
    window.siteSearch->box()->close();
    window.M->setFocus();
    window.siteSearch->findInSite();
    window.pRechercheSite->patternEdit->setText(QStringLiteral("echo"));
    emit window.pRechercheSite->searchAsked();
    for (int i = 0; i < 50 && !window.pRechercheSite->cancelButton->isHidden(); ++i)
        settle(100);
    shoot(window, window.tsEdit, out + QStringLiteral("/recherche-site.png"));

    return 0;
}
