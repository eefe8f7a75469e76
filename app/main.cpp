#include "app/main.h"
#include "app/debugcontroller.h"
#include "app/sessioncontroller.h"

#include "app/commandline.h"
#include "pages/databasepage.h"
#include "pages/pagecontrols.h"

#include "widgets/widgets.h"
#include "editor/editorcompletion.h"
#include "editor/findbar.h"
#include "editor/phpsignaturesource.h"
#include "editor/richedit.h"
#include "db/builtindatabase.h"
#include "files/browser.h"
#include "files/editedfile.h"
#include "files/filetabbar.h"
#include "preview/phpserver.h"
#include "preview/serverlogpanel.h"
#include "preview/webbrowser.h"
#include "base/virtualkeys.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QCloseEvent>
#include <QShowEvent>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const char kFilter[] = "Tous les fichiers (*.*)|*.*|Fichiers PHP3|*.php3|Fichiers TXT|*.txt|"
                       "Fichier INC|*.inc|Fichier JPG|*.jpg|Fichier GIF|*.GIF|Fichiers PHP (*.php)|*.php";

using PageControls::button;
using PageControls::edit;
using PageControls::kEditHeight;
using PageControls::label;
using PageControls::named;
using PageControls::panel;
using PageControls::placed;
using PageControls::stacked;

QFont memoFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(13);
    font.setBold(true);
    return font;
}

const QString kAboutText = QStringLiteral(
    "Ondrel V2.1\n"
    "\n"
    "Un atelier pour écrire des pages PHP sur un poste qui fait tourner son propre serveur web.\n"
    "Réalisé par l'équipe Ondrel. Contact : equipe@ondrel.org\n"
    "\n"
    "Un seul geste pour voir son travail : choisissez la page « Visualisation du résultat » "
    "ou appuyez sur F9 dans l'éditeur, et Ondrel enregistre le fichier puis recharge le "
    "navigateur, sans passer par le cache.\n"
    "\n"
    "Distribution : Ondrel est libre. Vous pouvez le copier, le donner, le modifier et le "
    "diffuser, avec ou sans frais, aux conditions de la licence ci-dessous.\n"
    "\n"
    "Autres programmes de l'équipe : aucun pour l'instant ; Ondrel est notre premier outil.\n"
    "\n"
    "Historique des versions :\n"
    "  V1.0 : éditeur coloré et aperçu dans le navigateur intégré.\n"
    "  V2.0 : console MySQL avec historique des requêtes et actualisation automatique.\n"
    "  V2.1 beta : aide contextuelle (F1), cinq signets de ligne, coloration à la frappe.\n");

} // namespace

TfmMain::TfmMain(const QString &sideFileBase, QWidget *parent)
    : QWidget(parent)
    , m_sideFileBase(sideFileBase)
{
    static const bool fontsMapped = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
        QFont::insertSubstitutions(QStringLiteral("Courier New"),
                                   {QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")});
        return true;
    }();
    Q_UNUSED(fontsMapped);

    setObjectName(QStringLiteral("fmMain"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    resize(729, 480);

    m_server = new BuiltinServer(this);
    m_lint = new PhpLint(this);
    PC = named(new QTabWidget(this), "PC");
    stacked(this)->addWidget(PC);
    ColorDialog1 = named(new QColorDialog(this), "ColorDialog1");
    ColorDialog1->setOption(QColorDialog::DontUseNativeDialog);
    ColorDialog1->hide();
    m_database = new BuiltinDatabase(this);

    buildFilePage();
    buildEditorPage();
    buildPreviewPage();
    buildDatabasePage();
    buildAboutPage();
    buildHelpPage();
    PC->setCurrentWidget(TabSheet1); // the page active in the design
    // The edited file: watched for other programs' changes; unsaved text journaled.
    m_session = new SessionController(M, tbFichiers, eFile, this, this);
    bindEvents();
    auto *debugging = new DebugController(this); // step debugging: it wires itself to the editor page

    declareSettings();
    guard([this] { FormCreate(); });
    debugging->readBreakpointFile(); // beside the side files, whose place start-up has settled
}

TfmMain::~TfmMain()
{
    shutDown(); // writes the side files back, unless the end of the run did already
    M->disconnect(this);
    m_session->endRun(); // before the editor goes
}

void TfmMain::buildFilePage()
{
    TabSheet2 = named(new QWidget, "TabSheet2");
    PC->addTab(TabSheet2, QStringLiteral("Fichier"));
    auto *row = new QHBoxLayout(TabSheet2);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    Panel2 = named(new Panel(TabSheet2), "Panel2");
    Panel2->setFixedWidth(350);
    row->addWidget(Panel2);
    flb = named(new FileListBox(TabSheet2), "flb");
    row->addWidget(flb, 1);

    auto *column = stacked(Panel2);
    Panel3 = panel(Panel2, "Panel3", 153);
    column->addWidget(Panel3);
    dlb = named(new DirectoryListBox(Panel2), "dlb");
    column->addWidget(dlb, 1);
    // Below the folder list, so that every other control keeps its place.
    Panel7 = panel(Panel2, "Panel7", 46);
    column->addWidget(Panel7);
    cbServeurIntegre = placed(new QCheckBox(QStringLiteral("Serveur PHP intégré"), Panel7), "cbServeurIntegre",
                              2, 3, 200, 17);
    cbServeurIntegre->setToolTip(QStringLiteral("F9 montre la page par le serveur PHP d'Ondrel (php -S), "
                                                "sans serveur web à installer"));
    Label12 = label(Panel7, "Label12", QStringLiteral("Racine"), 0, 27);
    eRacine = edit(Panel7, "eRacine", 40, 23, 308);
    eRacine->setToolTip(QStringLiteral("Dossier racine du site ; vide : le dossier du fichier édité"));

    Label1 = label(Panel3, "Label1", QStringLiteral("Fichier"), 0, 4);
    Label2 = label(Panel3, "Label2", QStringLiteral("Site"), 11, 28);
    Label3 = label(Panel3, "Label3", QStringLiteral("Param"), 3, 52);
    Label4 = label(Panel3, "Label4", QStringLiteral("URL"), 11, 76);
    eFile = edit(Panel3, "eFile", 40, 0, 308);
    eSite = edit(Panel3, "eSite", 40, 24, 308);
    eParam = edit(Panel3, "eParam", 40, 48, 308);
    eURL = edit(Panel3, "eURL", 40, 72, 308);
    DriveComboBox1 = placed(new DriveComboBox(Panel3), "DriveComboBox1", 0, 105, 345, 21);
    FilterComboBox1 = placed(new FilterComboBox(Panel3), "FilterComboBox1", 0, 128, 345, 21);
    FilterComboBox1->setFilter(QString::fromUtf8(kFilter));
    DriveComboBox1->setDirList(dlb);
    dlb->setFileList(flb);
    FilterComboBox1->setFileList(flb);
}

void TfmMain::buildEditorPage()
{
    tsEdit = named(new QWidget, "tsEdit");
    PC->addTab(tsEdit, QStringLiteral("Editeur du source"));
    auto *column = stacked(tsEdit);
    Panel1 = panel(tsEdit, "Panel1", 33);
    column->addWidget(Panel1);
    findBar = named(new FindBar(tsEdit), "findBar");
    column->addWidget(findBar);
    lNotice = named(new QLabel(tsEdit), "lNotice");
    lNotice->setTextFormat(Qt::PlainText);
    lNotice->setWordWrap(true);
    lNotice->setStyleSheet(QStringLiteral("QLabel { background: #FFF3C4; color: #000000; padding: 3px; }"));
    lNotice->hide();
    column->addWidget(lNotice);
    tbFichiers = named(new FileTabBar(tsEdit), "tbFichiers");
    tbFichiers->setTabsClosable(true);
    tbFichiers->setDocumentMode(true);
    tbFichiers->setExpanding(false);
    tbFichiers->setElideMode(Qt::ElideMiddle);
    tbFichiers->setUsesScrollButtons(true);
    tbFichiers->setFocusPolicy(Qt::NoFocus); // the keys stay the editor's
    pOnglets = named(new QWidget(tsEdit), "pOnglets");
    auto *strip = new QHBoxLayout(pOnglets);
    strip->setContentsMargins(0, 0, 4, 0);
    strip->setSpacing(6);
    strip->addWidget(tbFichiers, 1);
    lEpingle = named(new QLabel(pOnglets), "lEpingle");
    lEpingle->setTextFormat(Qt::PlainText);
    lEpingle->hide();
    strip->addWidget(lEpingle);
    sbDesepingler = named(new SpeedButton(QStringLiteral("Désépingler"), pOnglets, true), "sbDesepingler");
    sbDesepingler->setFixedSize(80, 16);
    sbDesepingler->hide();
    strip->addWidget(sbDesepingler);
    pOnglets->hide(); // one file and no pinned page need no strip
    column->addWidget(pOnglets);
    spApercu = named(new QSplitter(Qt::Horizontal, tsEdit), "spApercu");
    spApercu->setChildrenCollapsible(false);
    column->addWidget(spApercu, 1);
    M = named(new RichEdit(spApercu), "M");
    M->setFrameStyle(QFrame::NoFrame);
    spApercu->addWidget(M);
    // Design colours; the settings replace them at start-up.
    M->setBackgroundColour(0x800000); // navy
    M->setTextColour(0x00FFFF);       // yellow

    Label5 = label(Panel1, "Label5", QStringLiteral("Position"), 3, 2);
    cbColore = placed(new QCheckBox(QStringLiteral("Colorier"), Panel1), "cbColore", 88, 0, 64, 16);
    sbColorie = button(Panel1, "sbColorie", QStringLiteral("Tout colorier"), 152, 0, 72, 16);
    SpeedButton3 = button(Panel1, "SpeedButton3", QStringLiteral("Fond"), 224, 0, 40, 16);
    SpeedButton4 = button(Panel1, "SpeedButton4", QStringLiteral("Police"), 264, 0, 40, 16);
    SpeedButton5 = button(Panel1, "SpeedButton5", QStringLiteral("Chaînes"), 304, 0, 48, 16);
    SpeedButton6 = button(Panel1, "SpeedButton6", QStringLiteral("Fonctions"), 352, 0, 56, 16);
    SpeedButton *anchors[5];
    const char *anchorNames[5] = {"SpeedButton8", "SpeedButton9", "SpeedButton10", "SpeedButton11",
                                  "SpeedButton12"};
    for (int i = 0; i < 5; ++i) {
        anchors[i] = button(Panel1, anchorNames[i], QStringLiteral("0"), 416 + 24 * i, 0, 24, 16, false);
        anchors[i]->setProperty("tag", i + 1);
    }
    SpeedButton8 = anchors[0];
    SpeedButton9 = anchors[1];
    SpeedButton10 = anchors[2];
    SpeedButton11 = anchors[3];
    SpeedButton12 = anchors[4];
    sbAide = button(Panel1, "sbAide", QStringLiteral("Index de l'aide (F1)"), 0, 16, 145, 16);
    Label6 = label(Panel1, "Label6", QStringLiteral("Aide"), 152, 19);
    // Past the anchors, so that nothing else moves; the hint runs below them. The
    // captions are short enough for the first-start width (640 pixels); the
    // tooltips give the full names.
    cbApercuACote = placed(new QCheckBox(QStringLiteral("À côté"), Panel1), "cbApercuACote", 544, 0, 84, 16);
    cbApercuACote->setToolTip(QStringLiteral("Aperçu à côté : la page à droite de l'éditeur, rechargée à "
                                             "chaque enregistrement (F10)"));
    cbEnregistrementAuto = placed(new QCheckBox(QStringLiteral("Enreg. auto"), Panel1),
                                  "cbEnregistrementAuto", 544, 16, 84, 16);
    cbEnregistrementAuto->setToolTip(QStringLiteral("Enregistrer en tapant : enregistre le fichier peu après la "
                                                    "dernière frappe, une fois qu'il a été enregistré depuis le "
                                                    "lancement"));
    cbPhpColouring = placed(new QCheckBox(QStringLiteral("Coloration PHP"), Panel1), "cbPhpColouring", 628, 0, 110, 16);
    cbPhpColouring->setToolTip(QStringLiteral("PHP, HTML et JavaScript en couleurs pendant la frappe"));
    // Past the other check boxes when the window is wide enough for it; below
    // "Colorier", on a row of its own, when it is not (the first-start width),
    // rather than cut.
    connect(Panel1, &Panel::resized, cbPhpColouring, [panel = Panel1, box = cbPhpColouring] {
        const bool wide = panel->width() >= 628 + 110;
        box->move(wide ? 628 : 88, wide ? 0 : 32);
        panel->setFixedHeight(wide ? 33 : 49);
    });
    // Keyword lines are shown as they are written, "<b>" and "<br>" included.
    Label5->setTextFormat(Qt::PlainText);
    Label6->setTextFormat(Qt::PlainText);
    Label5->lower(); // the read-out grows with its text; the check box stays on top
    Label6->lower();
}

void TfmMain::buildPreviewPage()
{
    tsWB = named(new QWidget, "tsWB");
    PC->addTab(tsWB, QStringLiteral("Visualisation du résultat (F9)"));
    auto *column = stacked(tsWB);
    Panel4 = panel(tsWB, "Panel4", 33);
    column->addWidget(Panel4);
    WB = named(new WebBrowser(tsWB), "WB");
    column->addWidget(WB, 1);
    mJournal = named(new ServerLogPanel(tsWB), "mJournal");
    column->addWidget(mJournal);

    PB = placed(new QProgressBar(Panel4), "PB", 0, 0, 60, 14);
    PB->setRange(0, 100);
    PB->setValue(0);
    PB->setTextVisible(false);
    SpeedButton2 = button(Panel4, "SpeedButton2", QStringLiteral("Précédent"), 0, 16, 73, 16);
    SpeedButton1 = button(Panel4, "SpeedButton1", QStringLiteral("Stop"), 80, 16, 57, 16);
    SpeedButton7 = button(Panel4, "SpeedButton7", QStringLiteral("Rafraichis"), 144, 16, 57, 16);
    sbEpingler = button(Panel4, "sbEpingler", QStringLiteral("Épingler cette page"), 64, 0, 137, 16);
    sbEpingler->setToolTip(QStringLiteral("F9 montre cette page depuis les autres fichiers du site (Ctrl+Maj+P)"));
    param = placed(new Edit(Panel4), "param", 208, 0, 721, 17);
    eText = placed(new Edit(Panel4), "eText", 208, 17, 721, 16);
}

void TfmMain::buildDatabasePage()
{
    // The preview hears of Ondrel's own server before the page does: the page may
    // then ask with a box, and the preview waiting for the server goes on meanwhile.
    connect(m_database, &BuiltinDatabase::ready, this, [this] { guard([this] { previewAfterDatabase(); }); });
    connect(m_database, &BuiltinDatabase::failed, this, [this](const QString &message) {
        guard([&] {
            if (m_navigateWhenReady)
                eText->setText(message); // the page is shown all the same: it tells what it misses
            previewAfterDatabase();
        });
    });
    databasePage = new DatabasePage(m_database);
    PC->addTab(databasePage, QStringLiteral("Base de donnée"));
}

void TfmMain::bindDatabasePage()
{
    // A new data folder's first database is named after the site.
    auto noteSite = [this] { databasePage->setSite(eRacine->text(), eFile->text()); };
    connect(eRacine, &QLineEdit::textChanged, databasePage, noteSite);
    connect(eFile, &QLineEdit::textChanged, databasePage, noteSite);
}

void TfmMain::buildAboutPage()
{
    TabSheet1 = named(new QWidget, "TabSheet1");
    PC->addTab(TabSheet1, QStringLiteral("A propos"));
    Memo1 = named(new QPlainTextEdit(TabSheet1), "Memo1");
    Memo1->setFrameStyle(QFrame::NoFrame);
    Memo1->setFont(memoFont());
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The licence under the about text, in the words --version uses.
    Memo1->setPlainText(kAboutText + u'\n' + licenceLine() + u'\n');
    stacked(TabSheet1)->addWidget(Memo1);
}

void TfmMain::buildHelpPage()
{
    TabSheet3 = named(new QWidget, "TabSheet3");
    PC->addTab(TabSheet3, QStringLiteral("Mots clé et aide"));
    auto *column = stacked(TabSheet3);
    Panel5 = panel(TabSheet3, "Panel5", 25);
    column->addWidget(Panel5);
    Memo2 = named(new QPlainTextEdit(TabSheet3), "Memo2");
    Memo2->setFrameStyle(QFrame::NoFrame);
    Memo2->setFont(memoFont());
    Memo2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo2->setFixedHeight(72);
    column->addWidget(Memo2);
    mAide = named(new QPlainTextEdit(TabSheet3), "mAide");
    mAide->setFrameStyle(QFrame::NoFrame);
    mAide->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mAide->setLineWrapMode(QPlainTextEdit::NoWrap);
    column->addWidget(mAide, 1);

    Label7 = label(Panel5, "Label7", QStringLiteral("Dossier de l'aide HTML"), 0, 4);
    eAide = edit(Panel5, "eAide", 120, 0, 345);
}

void TfmMain::bindEvents()
{
    connect(mAide, &QPlainTextEdit::textChanged, this, [this] {
        m_keywordsStale = true;
        m_sideFiles.keywordsEdited = true;
    });
    bindSession();
    connect(M, &RichEdit::notice, this, &TfmMain::showNotice);

    connect(PC, &QTabWidget::currentChanged, this, [this] {
        placeBrowser(); // the page beside the editor follows the editor page, whoever shows it
        if (PC->currentWidget() == tsEdit && pageBeside() && !WB->engineStarted() && !eURL->text().isEmpty()) {
            // Side mode kept from the last run: the page at first sight, once the page change is over.
            QTimer::singleShot(0, this, [this] {
                if (pageBeside() && !WB->engineStarted())
                    guard([this] { refreshBeside(); });
            });
        }
        if (!m_pageFromCode)
            guard([this] { PCChange(); });
    });
    connect(flb, &FileListBox::mouseDown, this, [this] { guard([this] { flbMouseDown(); }); });
    connect(eSite, &QLineEdit::textChanged, this, [this] { guard([this] { eSiteChange(); }); });
    connect(eSite, &Edit::exited, this, [this] { guard([this] { eSiteExit(); }); });

    connect(M, &RichEdit::keyDown, this, [this](int &key) { guard([&] { MKeyDown(key); }); });
    connect(M, &RichEdit::keyUp, this, [this] { guard([this] { MKeyUp(); }); });
    connect(cbColore, &QCheckBox::toggled, M, [this](bool on) { M->colours()->setRecolouredWhileTyping(on); });
    connect(cbPhpColouring, &QCheckBox::toggled, this, [this] { guard([this] { cbPhpColouringToggled(); }); });
    m_completion = new EditorCompletion(M, [this] {
        return std::pair(keywordList(), m_phpSignatures ? m_phpSignatures->signatures() : QString());
    });
    connect(M, &RichEdit::mouseDown, this, [this] { guard([this] { MMouseDown(); }); });
    connect(M, &RichEdit::mouseUp, this, [this] { guard([this] { MMouseUp(); }); });
    connect(M, &QsciScintilla::modificationChanged, this, [this] { showUnsavedMark(); });
    bindEditorKeys();
    bindSiteSearch();
    connect(sbColorie, &QToolButton::clicked, this, [this] { guard([this] { sbColorieClick(); }); });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] { guard([this] { SpeedButton3Click(); }); });
    connect(SpeedButton4, &QToolButton::clicked, this, [this] { guard([this] { SpeedButton4Click(); }); });
    connect(SpeedButton5, &QToolButton::clicked, this, [this] { guard([this] { SpeedButton5Click(); }); });
    connect(SpeedButton6, &QToolButton::clicked, this, [this] { guard([this] { SpeedButton6Click(); }); });
    connect(sbAide, &QToolButton::clicked, this, [this] { guard([this] { sbAideClick(); }); });
    for (SpeedButton *anchor : {SpeedButton8, SpeedButton9, SpeedButton10, SpeedButton11, SpeedButton12}) {
        connect(anchor, &SpeedButton::mouseUp, this, [this, anchor](Qt::MouseButton b) {
            guard([&] { SpeedButton8MouseUp(anchor, b); });
        });
    }

    connect(SpeedButton1, &QToolButton::clicked, this, [this] { guard([this] { SpeedButton1Click(); }); });
    connect(SpeedButton2, &QToolButton::clicked, this, [this] { guard([this] { SpeedButton2Click(); }); });
    connect(SpeedButton7, &QToolButton::clicked, this, [this] { guard([this] { SpeedButton7Click(); }); });
    connect(sbEpingler, &QToolButton::clicked, this, [this] { guard([this] { sbEpinglerClick(); }); });
    connect(sbDesepingler, &QToolButton::clicked, this, [this] { guard([this] { unpinPage(); }); });
    connect(WB, &WebBrowser::statusTextChange, this,
            [this](const QString &text) { guard([&] { WBStatusTextChange(text); }); });
    connect(WB, &WebBrowser::progressChange, this,
            [this](int progress, int progressMax) { guard([&] { WBProgressChange(progress, progressMax); }); });
    connect(WB, &WebBrowser::documentComplete, this,
            [this](const QString &url) { guard([&] { WBDocumentComplete(url); }); });

    connect(cbServeurIntegre, &QCheckBox::clicked, this, [this] { guard([this] { cbServeurIntegreClick(); }); });
    connect(eRacine, &QLineEdit::textChanged, this, [this] { guard([this] { eRacineChange(); }); });
    connect(param, &QLineEdit::returnPressed, this, [this] { guard([this] { paramKeyDown(VkEnter); }); });
    auto *f5 = new QShortcut(QKeySequence(Qt::Key_F5), tsWB, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(f5, &QShortcut::activated, this, [this] { guard([this] { tsWBKeyDown(VkF5); }); });
    connect(mJournal, &ServerLogPanel::lineClicked, this,
            [this](const QString &text, ServerLineKind kind) { guard([&] { mJournalLineClick(text, kind); }); });
    connect(m_server, &BuiltinServer::logLine, mJournal, &ServerLogPanel::appendLine);
    connect(m_server, &BuiltinServer::ready, this, [this] { guard([this] { ServeurReady(); }); });
    connect(m_server, &BuiltinServer::failed, this,
            [this](const QString &message) { guard([&] { ServeurFailed(message); }); });
    connect(m_server, &BuiltinServer::originChanged, this, [this](const QString &oldOrigin, const QString &newOrigin) {
        guard([&] { ServeurOriginChange(oldOrigin, newOrigin); });
    });
    connect(spApercu, &QSplitter::splitterMoved, this, [this] { guard([this] { spApercuMoved(); }); });
    connect(cbApercuACote, &QCheckBox::clicked, this, [this] { guard([this] { cbApercuACoteClick(); }); });
    connect(cbEnregistrementAuto, &QCheckBox::clicked, this, [this] { guard([this] { cbEnregistrementAutoClick(); }); });
    connect(M, &QsciScintilla::textChanged, this, [this] { MTextChange(); });
    connect(M, &RichEdit::errorMarkClicked, this, [this](int line) { guard([&] { MErrorMarkClick(line); }); });
    connect(m_server, &BuiltinServer::logLine, this,
            [this](const QString &text, ServerLineKind kind) { guard([&] { ServeurLogLine(text, kind); }); });
    connect(m_lint, &PhpLint::checked, this,
            [this](const QString &path, const LintResult &result) { guard([&] { LintChecked(path, result); }); });

    bindDatabasePage();
}

void TfmMain::bindEditorKeys()
{
    // Keys of the whole editor page (the editor and its find bar).
    auto key = [this](QWidget *scope, const QKeySequence &keys, auto handler) {
        auto *shortcut = new QShortcut(keys, scope);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, handler] { guard([&] { handler(); }); });
    };
    key(tsEdit, QKeySequence(Qt::CTRL | Qt::Key_S), [this] { saveKey(); });
    key(tsEdit, QKeySequence(Qt::CTRL | Qt::Key_F), [this] { openFindBar(false); });
    key(tsEdit, QKeySequence(Qt::CTRL | Qt::Key_H), [this] { openFindBar(true); });
    key(tsEdit, QKeySequence(Qt::CTRL | Qt::Key_G), [this] { goToLine(); });
    key(tsEdit, QKeySequence(Qt::CTRL | Qt::Key_W), [this] { m_session->closeCurrentTab(); });
    key(tsEdit, QKeySequence(Qt::CTRL | Qt::Key_PageUp), [this] { m_session->showNeighbourTab(-1); });
    key(tsEdit, QKeySequence(Qt::CTRL | Qt::Key_PageDown), [this] { m_session->showNeighbourTab(1); });
    for (QWidget *page : {tsEdit, tsWB})
        key(page, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P), [this] { sbEpinglerClick(); });
    key(tsEdit, QKeySequence(Qt::Key_F3), [this] { findNextMatch(false); });
    key(tsEdit, QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { findNextMatch(true); });
    key(findBar, QKeySequence(Qt::Key_Escape), [this] { closeFindBar(); });
    connect(findBar->findEdit, &QLineEdit::returnPressed, this, [this] { guard([this] { findNextMatch(false); }); });
    connect(findBar->replaceEdit, &QLineEdit::returnPressed, this, [this] { guard([this] { replaceMatch(); }); });
    connect(findBar->nextButton, &QPushButton::clicked, this, [this] { guard([this] { findNextMatch(false); }); });
    connect(findBar->previousButton, &QPushButton::clicked, this, [this] { guard([this] { findNextMatch(true); }); });
    connect(findBar->replaceButton, &QPushButton::clicked, this, [this] { guard([this] { replaceMatch(); }); });
    connect(findBar->replaceAllButton, &QPushButton::clicked, this, [this] { guard([this] { replaceAllMatches(); }); });
    connect(findBar, &FindBar::finished, this, [this](const FindRequest &request, const FindResult &result) {
        guard([&] { findFinished(request, result); });
    });
}

const QString &TfmMain::keywordList()
{
    if (m_keywordsStale) {
        // The lines as they stand: toPlainText would turn a no-break space into a space.
        QStringList lines;
        for (QTextBlock block = mAide->document()->begin(); block.isValid(); block = block.next())
            lines.append(block.text());
        m_keywords = lines.join(u'\n');
        m_keywordsStale = false;
    }
    return m_keywords;
}

void TfmMain::showPage(QWidget *page)
{
    m_pageFromCode = true;
    PC->setCurrentWidget(page);
    m_pageFromCode = false;
}

QString TfmMain::windowTitleText()
{
    return QStringLiteral("Ondrel V2.1 beta - par l'équipe Ondrel");
}

void TfmMain::closeEvent(QCloseEvent *event)
{
    if (m_session->mayCloseFiles()) {
        // Once hidden, a window no longer knows that the window manager had maximised it.
        notePlacementAtClose();
        event->accept();
    } else {
        event->ignore();
    }
}

void TfmMain::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        guard([this] { FormShow(); });
    }
}
