// The connection to the MySQL server: the "Go"/"Stop" button. The console opens
// and closes it on the database worker; the window stays usable meanwhile.
#include "app/main.h"
#include "widgets/widgets.h"
#include "db/consoletext.h"
#include "db/builtindatabase.h"
#include "db/connectionsecurity.h"
#include "db/dbconsole.h"
#include "db/serveraddress.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>

void TfmMain::sbConnectedClick()
{
    if (m_console->isConnecting())
        return; // the button is disabled meanwhile; a queued click changes nothing
    if (m_console->isConnected()) {
        m_console->close();
        sbConnected->setText(QStringLiteral("Go"));
        return;
    }
    if (usesBuiltinDatabase()) {
        BuiltinDatabase *database = builtinDatabase();
        if (database->start(siteFolder())) {
            if (database->isReady()) {
                openConsole(QFile::encodeName(database->paths().socket));
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

void TfmMain::openConsole(const QByteArray &socket)
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

void TfmMain::consoleConnected(const ConnectOutcome &outcome)
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

void TfmMain::connectionLost()
{
    sbConnected->setText(QStringLiteral("Go"));
}

void TfmMain::cbChiffrementChange()
{
    // The CA file is read only to check the server's certificate.
    const bool verified = TlsMode(cbChiffrement->currentIndex()) == TlsMode::Verified;
    eFichierCA->setEnabled(verified);
    sbFichierCA->setEnabled(verified);
}

void TfmMain::sbFichierCAClick()
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
