// "Importer un fichier SQL…" and "Exporter la base…": a whole database in and out
// through MariaDB's own client programs, beside the console.
#include "app/main.h"

#include "base/errors.h"
#include "widgets/widgets.h"
#include "db/builtindatabase.h"
#include "db/serveraddress.h"
#include "db/sqldump.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>

ClientAccess TfmMain::clientAccess()
{
    // Host as typed: a name, host:port, [IPv6]:port or a socket path.
    const ServerAddress address = serverAddress(host->text());
    if (!address.error.isEmpty())
        throw OndrelError(address.error);
    ClientAccess access{address.host,  address.socket, user->text(),
                        pass->text(),  base->text(),   address.port,
                        TlsMode(cbChiffrement->currentIndex()), eFichierCA->text().trimmed()};
    if (usesBuiltinDatabase()) {
        if (!builtinDatabase()->isReady())
            throw OndrelError(QStringLiteral("La base intégrée n'est pas démarrée : cliquez d'abord sur « Go »."));
        access.socket = m_database->paths().socket;
    }
    return access;
}

void TfmMain::sbImporterClick()
{
    QFileDialog dialog(this, QStringLiteral("Importer un fichier SQL"), QString(),
                       QStringLiteral("Fichiers SQL (*.sql *.sql.gz);;Tous les fichiers (*)"));
    dialog.setObjectName(QStringLiteral("importDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        importSqlFile(dialog.selectedFiles().constFirst());
}

void TfmMain::importSqlFile(const QString &path)
{
    if (m_import && m_import->isRunning())
        throw OndrelError(QStringLiteral("Un import est déjà en cours."));
    const ClientAccess access = clientAccess();
    if (!m_import) {
        m_import = new SqlImport(this);
        connect(m_import, &SqlImport::progress, this, [this](int percent) {
            showStatus(QStringLiteral("Import : %1 %").arg(percent));
        });
        connect(m_import, &SqlImport::finished, this, [this](bool ok, const QString &message) {
            sbAnnulerImport->hide();
            sbImporter->setEnabled(true);
            showStatus(message);
            if (!ok)
                showPlainBox(this, message);
        });
    }
    QString why;
    if (!m_import->start(path, access, &why))
        throw OndrelError(why);
    sbImporter->setEnabled(false);
    sbAnnulerImport->show();
}

void TfmMain::sbAnnulerImportClick()
{
    if (m_import)
        m_import->cancel();
}

void TfmMain::sbExporterBaseClick()
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

void TfmMain::exportDatabase(const QString &path)
{
    if (m_export && m_export->isRunning())
        throw OndrelError(QStringLiteral("Un export est déjà en cours."));
    const ClientAccess access = clientAccess();
    if (!m_export) {
        m_export = new SqlExport(this);
        connect(m_export, &SqlExport::finished, this, [this](bool ok, const QString &message) {
            sbExporterBase->setEnabled(true);
            showStatus(message);
            if (!ok)
                showPlainBox(this, message);
        });
    }
    QString why;
    if (!m_export->start(path, access, &why))
        throw OndrelError(why);
    sbExporterBase->setEnabled(false);
    showStatus(QStringLiteral("Export de la base %1…").arg(access.database));
}
