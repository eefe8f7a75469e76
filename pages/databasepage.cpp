// The page "Base de donnée": its controls, the connection ("Go"/"Stop") and the
// query console's side of it: the keys of the query box, the refresh box,
// "Annuler", and the showing of what the console (db/dbconsole.h) reports. The
// console opens, runs and closes on the database worker; the page stays usable.
#include "pages/databasepage.h"

#include "base/integers.h"
#include "base/virtualkeys.h"
#include "db/builtindatabase.h"
#include "db/connectionsecurity.h"
#include "db/consoletext.h"
#include "db/dbconsole.h"
#include "db/schematree.h"
#include "db/serveraddress.h"
#include "db/simplecombo.h"
#include "db/sqldump.h"
#include "db/sqlline.h"
#include "db/statementcompletion.h"
#include "db/stringgrid.h"
#include "pages/pagecontrols.h"
#include "settings/consolepassword.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

using namespace PageControls;

namespace {

constexpr qint32 kDefaultRefreshMs = 5000;
constexpr int kQueryBoxRightMargin = 3; // pixels left free at Panel6's right edge
constexpr int kRunningTickMs = 100;     // how often the running time is shown
const QString kStatementRunning = QStringLiteral("Une requête est en cours, la nouvelle n'est pas lancée");
const QString kNothingToRepeat = QStringLiteral(
    "Actualisation : rien à répéter, seule une requête qui a renvoyé des lignes (SELECT, SHOW…) est répétée.");

bool historyHas(const SimpleComboBox *box, const QString &statement)
{
    const QStringList lines = box->items();
    return std::any_of(lines.begin(), lines.end(), [&](const QString &line) {
        return line.compare(statement, Qt::CaseInsensitive) == 0;
    });
}

/** A copy of a result set's rows, for the grid to take while the set itself stays for its tab. */
PackedRows copyOfRows(const PackedRows &rows)
{
    PackedRows copy;
    for (int row = 0; row < rows.size(); ++row)
        copy.appendRow(rows.cells(row));
    return copy;
}

/** "Pass" shows dots, until the eye at its end shows the password. */
void addRevealButton(Edit *pass)
{
    pass->setEchoMode(QLineEdit::Password);
    QIcon eye = QIcon::fromTheme(QStringLiteral("view-reveal-symbolic"));
    if (eye.isNull())
        eye = pass->style()->standardIcon(QStyle::SP_FileDialogContentsView);
    auto *show = pass->addAction(eye, QLineEdit::TrailingPosition);
    show->setObjectName(QStringLiteral("actVoirPass"));
    show->setCheckable(true);
    show->setToolTip(QStringLiteral("Afficher le mot de passe"));
    QObject::connect(show, &QAction::toggled, pass, [pass, show](bool shown) {
        pass->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
        show->setToolTip(shown ? QStringLiteral("Masquer le mot de passe") : QStringLiteral("Afficher le mot de passe"));
    });
}

} // namespace

DatabasePage::DatabasePage(BuiltinDatabase *database, QWidget *parent)
    : QWidget(parent)
    , m_console(new DbConsole(this))
    , m_database(database)
    , m_import(new SqlImport(this))
    , m_export(new SqlExport(this))
{
    setObjectName(QStringLiteral("TabSheet4"));
    Timer1 = m_console->refreshTimer();
    buildControls();
    bindEvents();
    m_password = new ConsolePassword(host, user, pass, this);
    connect(m_password, &ConsolePassword::said, this, &DatabasePage::showStatus);
}

DatabasePage::~DatabasePage()
{
    if (m_console->isConnecting())
        QApplication::restoreOverrideCursor(); // the open's answer will find no page
}

void DatabasePage::buildControls()
{
    auto *column = stacked(this);
    Panel6 = panel(this, "Panel6", 172, true);
    column->addWidget(Panel6);
    tbResultats = named(new QTabBar(this), "tbResultats");
    tbResultats->setExpanding(false);
    tbResultats->setDrawBase(false);
    tbResultats->hide(); // shown when a statement gives several result sets
    sg = named(new StringGrid(this), "sg");
    sg->setFrameStyle(QFrame::NoFrame);
    // The schema tree beside the result tabs and grid, in a splitter the user can drag.
    spSchema = named(new QSplitter(Qt::Horizontal, this), "spSchema");
    spSchema->setChildrenCollapsible(false);
    auto *results = new QWidget(spSchema);
    auto *resultColumn = stacked(results);
    resultColumn->addWidget(tbResultats);
    resultColumn->addWidget(sg, 1);
    column->addWidget(spSchema, 1);

    Label8 = label(Panel6, "Label8", QStringLiteral("Host"), 3, 6);
    Label9 = label(Panel6, "Label9", QStringLiteral("User"), 3, 27);
    Label10 = label(Panel6, "Label10", QStringLiteral("Pass"), 3, 48);
    Label11 = label(Panel6, "Label11", QStringLiteral("Base"), 3, 74);
    host = edit(Panel6, "host", 34, 2, 121);
    user = edit(Panel6, "user", 34, 23, 121);
    pass = edit(Panel6, "pass", 34, 44, 121);
    addRevealButton(pass);
    base = edit(Panel6, "base", 34, 70, 94);
    sbConnected = button(Panel6, "sbConnected", QStringLiteral("Go"), 129, 71, 28, 21);
    cb = placed(new SimpleComboBox(Panel6), "cb", 157, 2, 460, 103);
    colourSqlAsTyped(cb->editLine());
    cbTempo = placed(new QCheckBox(QStringLiteral("Actualisation (ms)"), Panel6), "cbTempo", 6, 99, 115, 17);
    tempo = edit(Panel6, "tempo", 112, 96, 41);
    tempo->setText(QStringLiteral("5000"));
    mysqlErr = label(Panel6, "mysqlErr", QStringLiteral("Ok"), 160, 112);
    mysqlErr->setTextFormat(Qt::PlainText); // server messages quote statements, tags included
    sbAnnuler = button(Panel6, "sbAnnuler", QStringLiteral("Annuler"), 160, 109, 56, 19);
    sbAnnuler->hide(); // offered while a statement runs
    sbExport = button(Panel6, "sbExport", QStringLiteral("Exporter CSV…"), 520, 109, 90, 19);
    cbBaseIntegree = placed(new QCheckBox(QStringLiteral("Base intégrée"), Panel6), "cbBaseIntegree", 6, 122, 115, 17);
    cbBaseIntegree->setToolTip(QStringLiteral("Host « localhost » : la base MariaDB d'Ondrel, "
                                              "que lui seul démarre et que seul votre compte peut ouvrir"));
    sbRedemarrer = button(Panel6, "sbRedemarrer", QStringLiteral("Redémarrer"), 160, 128, 70, 19);
    sbRedemarrer->hide(); // offered when Ondrel's own server stopped by itself
    sbAnnulerImport = button(Panel6, "sbAnnulerImport", QStringLiteral("Annuler"), 300, 128, 56, 19);
    sbAnnulerImport->hide(); // offered while an import runs
    sbImporter = button(Panel6, "sbImporter", QStringLiteral("Importer un fichier SQL…"), 360, 128, 140, 19);
    sbExporterBase = button(Panel6, "sbExporterBase", QStringLiteral("Exporter la base…"), 520, 128, 90, 19);
    lChiffrement = label(Panel6, "lChiffrement", QStringLiteral("Chiffrer la connexion"), 6, 152);
    cbChiffrement = named(new QComboBox(Panel6), "cbChiffrement");
    cbChiffrement->addItems(tlsModeChoices());
    // Beside its caption, as wide as its longest choice.
    cbChiffrement->setGeometry(lChiffrement->geometry().right() + 7, 148, cbChiffrement->sizeHint().width(), 21);
    cbChiffrement->setToolTip(QStringLiteral("TLS vers un serveur joint par le réseau ; "
                                             "une connexion par socket local n'est jamais chiffrée"));
    lChiffrement->setBuddy(cbChiffrement);
    eFichierCA = edit(Panel6, "eFichierCA", cbChiffrement->geometry().right() + 9, 149, 262); // to "…" (Panel6Resize)
    eFichierCA->setPlaceholderText(QStringLiteral("Fichier CA (vide : autorités du système)"));
    eFichierCA->setToolTip(QStringLiteral("Le certificat de l'autorité qui a signé celui du serveur (PEM)"));
    sbFichierCA = button(Panel6, "sbFichierCA", QStringLiteral("…"), 586, 149, 24, 19);
    sbFichierCA->setToolTip(QStringLiteral("Choisir le fichier CA"));
    eFichierCA->setEnabled(false); // until "certificat vérifié" is chosen (cbChiffrementChange)
    sbFichierCA->setEnabled(false);
    tvSchema = new SchemaTree(m_console, cb->editLine(), spSchema);
    spSchema->insertWidget(0, tvSchema);
    spSchema->setStretchFactor(0, 0); // the tree keeps its width when the window changes size
    spSchema->setStretchFactor(1, 1);
    auto *fold = button(Panel6, "sbSchema", QStringLiteral("Schéma"), 440, 109, 56, 19);
    fold->setToolTip(QStringLiteral("Afficher ou replier l'arbre des bases, tables et colonnes"));
    tvSchema->setFoldButton(fold);
    new StatementCompletion(cb->editLine(), tvSchema); // the tree owns it: it completes from what the tree read
    TimerEnCours = named(new QTimer(this), "TimerEnCours");
}

void DatabasePage::bindEvents()
{
    // A click queued behind another handler's event loop: each runs through guard.
    auto on = [this](auto *sender, auto signal, void (DatabasePage::*handler)()) {
        connect(sender, signal, this, [this, handler] { guard([&] { (this->*handler)(); }); });
    };
    on(sbConnected, &QToolButton::clicked, &DatabasePage::sbConnectedClick);
    on(Panel6, &Panel::resized, &DatabasePage::Panel6Resize);
    connect(cb, &SimpleComboBox::keyDown, this, [this](int key) { guard([&] { cbKeyDown(key); }); });
    connect(cb, &SimpleComboBox::listKeyDown, this, [this](int key) { guard([&] { cbListKeyDown(key); }); });
    on(sbAnnuler, &QToolButton::clicked, &DatabasePage::sbAnnulerClick);
    on(sbExport, &QToolButton::clicked, &DatabasePage::sbExportClick);
    on(TimerEnCours, &QTimer::timeout, &DatabasePage::TimerEnCoursTimer);
    on(cbTempo, &QCheckBox::clicked, &DatabasePage::cbTempoClick);
    on(cbBaseIntegree, &QCheckBox::clicked, &DatabasePage::cbBaseIntegreeClick);
    on(sbRedemarrer, &QToolButton::clicked, &DatabasePage::sbRedemarrerClick);
    on(sbImporter, &QToolButton::clicked, &DatabasePage::sbImporterClick);
    on(sbExporterBase, &QToolButton::clicked, &DatabasePage::sbExporterBaseClick);
    on(sbAnnulerImport, &QToolButton::clicked, &DatabasePage::sbAnnulerImportClick);
    on(cbChiffrement, &QComboBox::currentIndexChanged, &DatabasePage::cbChiffrementChange);
    on(sbFichierCA, &QToolButton::clicked, &DatabasePage::sbFichierCAClick);
    connect(spSchema, &QSplitter::splitterMoved, tvSchema, &SchemaTree::noteWidth);
    connect(tvSchema, &SchemaTree::runRequested, this, [this](const QString &statement) {
        guard([&] {
            cb->setText(statement);
            cbKeyDown(VkEnter);
        });
    });
    connect(tbResultats, &QTabBar::currentChanged, this, [this](int index) { guard([&] { tbResultatsChange(index); }); });

    connect(m_console, &DbConsole::connected, this,
            [this](const ConnectOutcome &outcome) { guard([&] { consoleConnected(outcome); }); });
    connect(m_console, &DbConsole::statementStarted, this, [this] { showStatementRunning(true); });
    connect(m_console, &DbConsole::statementFinished, this,
            [this](const StatementOutcome &outcome) { guard([&] { statementFinished(outcome); }); });
    connect(m_console, &DbConsole::connectionLost, this, [this] { connectionLost(); });
    connect(m_console, &DbConsole::cancelFailed, this,
            [this](const QString &error, bool reachable) { guard([&] { cancelFailed(error, reachable); }); });
    connect(m_console, &DbConsole::nothingToRepeat, this, [this] { showStatus(kNothingToRepeat); });

    connect(m_database, &BuiltinDatabase::progress, this, &DatabasePage::showStatus);
    connect(m_database, &BuiltinDatabase::ready, this,
            [this](const QString &created) { guard([&] { databaseReady(created); }); });
    connect(m_database, &BuiltinDatabase::failed, this,
            [this](const QString &message) { guard([&] { databaseFailed(message); }); });
    connect(m_database, &BuiltinDatabase::crashed, this,
            [this](const QString &message) { guard([&] { databaseCrashed(message); }); });

    connect(m_import, &SqlImport::progress, this,
            [this](int percent) { showStatus(QStringLiteral("Import : %1 %").arg(percent)); });
    connect(m_import, &SqlImport::finished, this, [this](bool ok, const QString &message) {
        sbAnnulerImport->hide();
        jobFinished(sbImporter, ok, message);
    });
    connect(m_export, &SqlExport::finished, this,
            [this](bool ok, const QString &message) { jobFinished(sbExporterBase, ok, message); });
}

QStringList DatabasePage::history() const
{
    return cb->items();
}

void DatabasePage::setHistory(const QStringList &statements)
{
    cb->list()->clear();
    cb->list()->addItems(statements);
}

void DatabasePage::showStatus(const QString &text)
{
    mysqlErr->setText(text);
    mysqlErr->adjustSize(); // the label grows with its text
}

void DatabasePage::sbConnectedClick()
{
    if (m_console->isConnecting())
        return; // the button is disabled meanwhile; a queued click changes nothing
    if (m_console->isConnected()) {
        m_console->close();
        sbConnected->setText(QStringLiteral("Go"));
        return;
    }
    if (usesBuiltinDatabase()) {
        if (m_database->start(siteFolder())) {
            if (m_database->isReady()) {
                openConsole(QFile::encodeName(m_database->paths().socket));
                return;
            }
            // The server starts in the background; the click goes on in databaseReady.
            m_connectWhenDatabaseReady = true;
            sbConnected->setEnabled(false);
            return;
        }
        if (!m_toldDatabaseMissing) { // the console works as without the box
            m_toldDatabaseMissing = true;
            showPlainBox(this, mariadbMissingMessage());
        }
    }
    openConsole({});
}

void DatabasePage::openConsole(const QByteArray &socket)
{
    // Host as typed: a name, host:port, [IPv6]:port or a socket path.
    const ServerAddress address = serverAddress(host->text());
    if (!address.error.isEmpty()) {
        showPlainBox(this, address.error);
        return;
    }
    ConnectRequest request;
    request.host = address.host.toUtf8();
    request.port = address.port;
    request.socket = socket.isEmpty() ? QFile::encodeName(address.socket) : socket;
    request.user = user->text().toUtf8();
    request.password = pass->text().toUtf8();
    request.database = base->text().toUtf8();
    request.timeoutSeconds = DelaiConnexion;
    request.tls = TlsMode(cbChiffrement->currentIndex());
    request.caFile = QFile::encodeName(eFichierCA->text().trimmed());
    sbConnected->setEnabled(false);
    // The busy cursor of work going on in the background: the window stays usable.
    QApplication::setOverrideCursor(Qt::BusyCursor);
    m_console->open(request);
}

void DatabasePage::consoleConnected(const ConnectOutcome &outcome)
{
    sbConnected->setEnabled(true);
    // The busy cursor stays while a message box is up, then goes.
    const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    if (!outcome.opened) {
        if (!outcome.tlsError.isEmpty()) // said where the console says what went wrong, no box
            mysqlErr->setText(outcome.tlsError);
        else
            showPlainBox(this, connectionMessage(outcome.error));
        return;
    }
    sbConnected->setText(QStringLiteral("Stop"));
    const QString tls = tlsStatusMessage(TlsMode(cbChiffrement->currentIndex()), outcome.tlsCipher, outcome.throughSocket);
    if (!tls.isEmpty())
        mysqlErr->setText(tls);
    if (!outcome.databaseSelected)
        showPlainBox(this, databaseMessage(outcome.error));
}

void DatabasePage::connectionLost()
{
    sbConnected->setText(QStringLiteral("Go"));
}

void DatabasePage::cbChiffrementChange()
{
    // The CA file is read only to check the server's certificate.
    const bool verified = TlsMode(cbChiffrement->currentIndex()) == TlsMode::Verified;
    eFichierCA->setEnabled(verified);
    sbFichierCA->setEnabled(verified);
}

void DatabasePage::sbFichierCAClick()
{
    const QString typed = eFichierCA->text().trimmed();
    QFileDialog dialog(this, QStringLiteral("Fichier CA"), typed.isEmpty() ? QString() : QFileInfo(typed).absolutePath(),
                       QStringLiteral("Certificats (*.pem *.crt *.cer);;Tous les fichiers (*)"));
    dialog.setObjectName(QStringLiteral("caFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        eFichierCA->setText(dialog.selectedFiles().constFirst());
}

void DatabasePage::cbKeyDown(int key)
{
    if (key != VkEnter)
        return;
    const QString statement = cb->text();
    if (!historyHas(cb, statement))
        cb->addItem(statement);
    if (m_console->run(statement) == DbConsole::Start::Busy) {
        // One statement at a time on the connection: this one is not sent, and the user sees why.
        m_runningNote = kStatementRunning;
        TimerEnCoursTimer();
    }
}

void DatabasePage::cbListKeyDown(int key)
{
    if (key == VkDelete && cb->selectedIndex() >= 0)
        cb->removeItem(cb->selectedIndex());
}

void DatabasePage::showStatementRunning(bool running)
{
    m_runningNote.clear();
    cb->setBusy(running);
    sbAnnuler->setVisible(running);
    sbAnnuler->setEnabled(running);
    mysqlErr->move(running ? sbAnnuler->geometry().right() + 6 : sbAnnuler->x(), mysqlErr->y());
    if (running) {
        TimerEnCours->start(kRunningTickMs);
        TimerEnCoursTimer();
    } else {
        TimerEnCours->stop();
    }
}

void DatabasePage::TimerEnCoursTimer()
{
    if (!m_console->isRunning())
        return;
    const QString time = runningMessage(m_console->runningMs());
    showStatus(m_runningNote.isEmpty() ? time : m_runningNote + QStringLiteral(" — ") + time);
}

// The steps of a statement's outcome, in their order, once the worker has it whole.
// A refresh tick's outcome shows as Enter's does.
void DatabasePage::statementFinished(const StatementOutcome &outcome)
{
    showStatementRunning(false);
    std::vector<qint64> rows; // counted before the grid takes the rows
    for (const ResultSet &set : outcome.results)
        rows.push_back(set.rowCount());
    showResultSets(outcome);
    if (!outcome.error.isEmpty()) {
        showStatus(firstCharacters(outcome.error, kErrorTextLength));
        return;
    }
    showStatus(statementDoneMessage(rows, outcome.affectedRows, outcome.insertId, outcome.elapsedMs));
}

void DatabasePage::showResultSets(const StatementOutcome &outcome)
{
    m_resultSets.clear();
    {
        const QSignalBlocker quiet(tbResultats);
        while (tbResultats->count() > 0)
            tbResultats->removeTab(0);
    }
    tbResultats->setVisible(outcome.results.size() > 1);
    sg->setVisible(outcome.hasResult());
    sbExport->setEnabled(outcome.hasResult()); // the export writes what the grid shows, never a hidden grid
    if (!outcome.hasResult())
        return;
    if (outcome.results.size() == 1) { // the usual case: the rows move into the grid
        const ResultSet &set = outcome.results.front();
        sg->cells()->takeResult(std::move(*set.rows), set.columnCount(), set.binaryColumns);
        return;
    }
    m_resultSets = outcome.results;
    const QSignalBlocker quiet(tbResultats);
    for (size_t k = 0; k < m_resultSets.size(); ++k)
        tbResultats->addTab(resultTabText(int(k) + 1, m_resultSets[k].rowCount()));
    tbResultats->setCurrentIndex(0);
    tbResultatsChange(0);
}

void DatabasePage::tbResultatsChange(int index)
{
    if (index < 0 || size_t(index) >= m_resultSets.size())
        return;
    const ResultSet &set = m_resultSets[size_t(index)];
    sg->cells()->takeResult(copyOfRows(*set.rows), set.columnCount(), set.binaryColumns);
}

void DatabasePage::sbAnnulerClick()
{
    if (!m_console->isRunning())
        return;
    sbAnnuler->setEnabled(false);
    m_console->cancel();
}

void DatabasePage::cancelFailed(const QString &error, bool reachable)
{
    sbAnnuler->setEnabled(true); // the user may try again
    m_runningNote = cancelFailedMessage(error);
    TimerEnCoursTimer();
    if (reachable)
        return;
    // The server refuses a second connection (a connection limit, say): the only
    // way to stop the statement is to drop the connection it runs on.
    QMessageBox box(QMessageBox::Question, applicationTitle(), closeToCancelQuestion(error), QMessageBox::NoButton,
                    this);
    box.setTextFormat(Qt::PlainText);
    QPushButton *closeButton = box.addButton(QStringLiteral("Fermer la connexion"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("Continuer"), QMessageBox::RejectRole);
    box.exec();
    if (box.clickedButton() == closeButton)
        m_console->abortConnection();
}

void DatabasePage::cbTempoClick()
{
    const int period = toPeriodInteger(tempo->text()).value_or(kDefaultRefreshMs);
    m_console->setRefresh(cbTempo->isChecked(), period);
}

void DatabasePage::Panel6Resize()
{
    cb->resize(Panel6->width() - cb->x() - kQueryBoxRightMargin, cb->height());
    sbExport->move(Panel6->width() - sbExport->width() - kQueryBoxRightMargin, sbExport->y());
    if (QToolButton *fold = tvSchema->foldButton())
        fold->move(sbExport->x() - fold->width() - 8, fold->y());
    sbExporterBase->move(Panel6->width() - sbExporterBase->width() - kQueryBoxRightMargin, sbExporterBase->y());
    sbImporter->move(sbExporterBase->x() - sbImporter->width() - 8, sbImporter->y());
    sbAnnulerImport->move(sbImporter->x() - sbAnnulerImport->width() - 8, sbAnnulerImport->y());
    sbFichierCA->move(Panel6->width() - sbFichierCA->width() - kQueryBoxRightMargin, sbFichierCA->y());
    eFichierCA->resize(std::max(sbFichierCA->x() - eFichierCA->x() - 4, 40), eFichierCA->height());
}
