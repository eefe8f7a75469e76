// The database page's work beside the console: "Base intégrée" (Ondrel's own
// MariaDB behind the console's "localhost", db/builtindatabase.h), a whole
// database in and out through MariaDB's own client programs ("Importer un
// fichier SQL…", "Exporter la base…"), and the grid written to a CSV file that a
// spreadsheet opens without running anything ("Exporter CSV…").
#include "pages/databasepage.h"

#include "db/builtindatabase.h"
#include "db/consoletext.h"
#include "db/dbconsole.h"
#include "db/serveraddress.h"
#include "db/sqldump.h"
#include "db/stringgrid.h"
#include "io/savefile.h"
#include "widgets/widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>

namespace {

/** The CSV save dialog, with a line under its fields that says how values are written. */
QString chooseCsvPath(QWidget *parent)
{
    QFileDialog dialog(parent, QStringLiteral("Exporter CSV"), QString(), QStringLiteral("Fichiers CSV (*.csv)"));
    dialog.setObjectName(QStringLiteral("exportDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog); // a native dialog has no room for the line below
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (auto *grid = qobject_cast<QGridLayout *>(dialog.layout())) {
        auto *note = new QLabel(csvExportDescription(), &dialog);
        note->setObjectName(QStringLiteral("exportDescription"));
        note->setTextFormat(Qt::PlainText);
        note->setWordWrap(true);
        grid->addWidget(note, grid->rowCount(), 0, 1, grid->columnCount());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return csvExportPath(dialog.selectedFiles().constFirst());
}

} // namespace

void DatabasePage::setSite(const QString &racine, const QString &editedFile)
{
    m_racine = racine;
    m_editedFile = editedFile;
}

QString DatabasePage::siteFolder() const
{
    if (!m_racine.isEmpty())
        return m_racine;
    return m_editedFile.isEmpty() ? QString() : QFileInfo(m_editedFile).absolutePath();
}

bool DatabasePage::usesBuiltinDatabase() const
{
    return cbBaseIntegree->isChecked() && host->text() == u"localhost";
}

void DatabasePage::startBuiltinDatabase()
{
    if (usesBuiltinDatabase() && !m_database->start(siteFolder()))
        showStatus(mariadbMissingMessage()); // no box here: "Go" says it once
}

void DatabasePage::startBuiltinDatabaseAtLaunch()
{
    // Only a server that exists already: a first use waits for a connection, a page that
    // uses MySQL, or a tick of the box.
    if (QFileInfo(m_database->paths().dataFolder + QStringLiteral("/mysql")).isDir())
        startBuiltinDatabase();
}

void DatabasePage::cbBaseIntegreeClick()
{
    // Ticking starts the server in the background; unticking leaves it to the end of the run,
    // as the pages of a running preview may still use it.
    sbRedemarrer->hide();
    if (cbBaseIntegree->isChecked())
        startBuiltinDatabase();
}

void DatabasePage::sbRedemarrerClick()
{
    sbRedemarrer->hide();
    m_connectWhenDatabaseReady = usesBuiltinDatabase() && !m_console->isConnected();
    if (m_connectWhenDatabaseReady)
        sbConnected->setEnabled(false);
    m_database->start(siteFolder());
}

void DatabasePage::databaseReady(const QString &createdDatabase)
{
    if (!createdDatabase.isEmpty())
        base->setText(createdDatabase); // a new data folder: its first database is the one to use
    showStatus(m_database->shared() ? QStringLiteral("Base intégrée prête (celle d'une autre fenêtre d'Ondrel)")
                                    : QStringLiteral("Base intégrée prête"));
    if (!m_connectWhenDatabaseReady)
        return;
    m_connectWhenDatabaseReady = false;
    sbConnected->setEnabled(true);
    if (usesBuiltinDatabase() && !m_console->isConnected() && !m_console->isConnecting())
        openConsole(QFile::encodeName(m_database->paths().socket));
}

void DatabasePage::databaseFailed(const QString &message)
{
    showStatus(message);
    if (!m_connectWhenDatabaseReady)
        return; // a start at launch: the status is enough until the user asks for a connection
    m_connectWhenDatabaseReady = false;
    sbConnected->setEnabled(true);
    showPlainBox(this, message);
}

void DatabasePage::databaseCrashed(const QString &message)
{
    // The connection went with the server: "Go" comes back, and "Redémarrer" starts it again.
    if (m_console->isConnected() && !m_console->isRunning()) {
        m_console->close();
        sbConnected->setText(QStringLiteral("Go"));
    }
    showStatus(message);
    sbRedemarrer->show();
    sbRedemarrer->raise();
}

ClientAccess DatabasePage::clientAccess()
{
    // Host as typed: a name, host:port, [IPv6]:port or a socket path.
    const ServerAddress address = serverAddress(host->text());
    if (!address.error.isEmpty())
        throw OndrelError(address.error);
    ClientAccess access{address.host,  address.socket, user->text(),
                        pass->text(),  base->text(),   address.port,
                        TlsMode(cbChiffrement->currentIndex()), eFichierCA->text().trimmed()};
    if (usesBuiltinDatabase()) {
        if (!m_database->isReady())
            throw OndrelError(QStringLiteral("La base intégrée n'est pas démarrée : cliquez d'abord sur « Go »."));
        access.socket = m_database->paths().socket;
    }
    return access;
}

template <typename Job>
ClientAccess DatabasePage::startJob(Job *job, const QString &path, SpeedButton *button, const QString &alreadyRunning)
{
    if (job->isRunning())
        throw OndrelError(alreadyRunning);
    const ClientAccess access = clientAccess();
    QString why;
    if (!job->start(path, access, &why))
        throw OndrelError(why);
    button->setEnabled(false);
    return access;
}

void DatabasePage::jobFinished(SpeedButton *button, bool ok, const QString &message)
{
    button->setEnabled(true);
    showStatus(message);
    if (!ok)
        showPlainBox(this, message);
}

void DatabasePage::sbImporterClick()
{
    QFileDialog dialog(this, QStringLiteral("Importer un fichier SQL"), QString(),
                       QStringLiteral("Fichiers SQL (*.sql *.sql.gz);;Tous les fichiers (*)"));
    dialog.setObjectName(QStringLiteral("importDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        importSqlFile(dialog.selectedFiles().constFirst());
}

void DatabasePage::importSqlFile(const QString &path)
{
    startJob(m_import, path, sbImporter, QStringLiteral("Un import est déjà en cours."));
    sbAnnulerImport->show();
}

void DatabasePage::sbAnnulerImportClick()
{
    m_import->cancel();
}

void DatabasePage::sbExporterBaseClick()
{
    QFileDialog dialog(this, QStringLiteral("Exporter la base"), base->text() + QStringLiteral(".sql"),
                       QStringLiteral("Fichiers SQL (*.sql)"));
    dialog.setObjectName(QStringLiteral("exportBaseDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("sql"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        exportDatabase(dialog.selectedFiles().constFirst());
}

void DatabasePage::exportDatabase(const QString &path)
{
    const ClientAccess access = startJob(m_export, path, sbExporterBase, QStringLiteral("Un export est déjà en cours."));
    showStatus(QStringLiteral("Export de la base %1…").arg(access.database));
}

void DatabasePage::sbExportClick()
{
    if (sg->isHidden()) { // after a statement without rows: there is nothing on screen to export
        showStatus(QStringLiteral("Rien à exporter : la dernière requête n'a pas renvoyé de lignes."));
        return;
    }
    const QString path = chooseCsvPath(this);
    if (path.isEmpty())
        return;
    QString why;
    if (!replaceFileAtomically(path, sg->cells()->csv(), 0666, &why))
        throw OndrelError(cannotCreateMessage(path, why));
}
