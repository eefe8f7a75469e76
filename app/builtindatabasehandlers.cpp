// "Base intégrée": Ondrel's own MariaDB server behind the console's "localhost"
// and the pages' mysqli and PDO. The server itself is db/builtindatabase.h.
#include "app/main.h"

#include "widgets/widgets.h"
#include "db/builtindatabase.h"
#include "db/dbconsole.h"
#include "preview/phpserver.h"
#include "preview/webbrowser.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>

BuiltinDatabase *TfmMain::builtinDatabase()
{
    if (!m_database) {
        m_database = new BuiltinDatabase(this);
        connect(m_database, &BuiltinDatabase::progress, this, [this](const QString &text) {
            guard([&] { databaseProgress(text); });
        });
        connect(m_database, &BuiltinDatabase::ready, this, [this](const QString &created) {
            guard([&] { databaseReady(created); });
        });
        connect(m_database, &BuiltinDatabase::failed, this, [this](const QString &message) {
            guard([&] { databaseFailed(message); });
        });
        connect(m_database, &BuiltinDatabase::crashed, this, [this](const QString &message) {
            guard([&] { databaseCrashed(message); });
        });
    }
    return m_database;
}

bool TfmMain::usesBuiltinDatabase() const
{
    return cbBaseIntegree->isChecked() && host->text() == u"localhost";
}

QString TfmMain::siteFolder() const
{
    if (!eRacine->text().isEmpty())
        return eRacine->text();
    return eFile->text().isEmpty() ? QString() : QFileInfo(eFile->text()).absolutePath();
}

void TfmMain::startBuiltinDatabase()
{
    if (usesBuiltinDatabase() && !builtinDatabase()->start(siteFolder()))
        showStatus(mariadbMissingMessage()); // no box here: "Go" says it once
}

void TfmMain::startBuiltinDatabaseAtLaunch()
{
    // Only a server that exists already: a first use waits for a connection, a page that
    // uses MySQL, or a tick of the box.
    if (QFileInfo(builtinDatabase()->paths().dataFolder + QStringLiteral("/mysql")).isDir())
        startBuiltinDatabase();
}

void TfmMain::cbBaseIntegreeClick()
{
    // Ticking starts the server in the background; unticking leaves it to the end of the run,
    // as the pages of a running preview may still use it.
    sbRedemarrer->hide();
    if (cbBaseIntegree->isChecked())
        startBuiltinDatabase();
}

/** A preview that waited for Ondrel's own server goes on, whether it started or not. */
void TfmMain::previewAfterDatabase()
{
    if (m_navigateWhenReady && m_server->isReady()) {
        m_navigateWhenReady = false;
        navigatePreview();
    }
}

void TfmMain::sbRedemarrerClick()
{
    sbRedemarrer->hide();
    m_connectWhenDatabaseReady = usesBuiltinDatabase() && !m_console->isConnected();
    if (m_connectWhenDatabaseReady)
        sbConnected->setEnabled(false);
    builtinDatabase()->start(siteFolder());
}

void TfmMain::databaseProgress(const QString &text)
{
    showStatus(text);
}

void TfmMain::databaseReady(const QString &createdDatabase)
{
    if (!createdDatabase.isEmpty())
        base->setText(createdDatabase); // a new data folder: its first database is the one to use
    showStatus(m_database->shared() ? QStringLiteral("Base intégrée prête (celle d'une autre fenêtre d'Ondrel)")
                                    : QStringLiteral("Base intégrée prête"));
    previewAfterDatabase();
    if (!m_connectWhenDatabaseReady)
        return;
    m_connectWhenDatabaseReady = false;
    sbConnected->setEnabled(true);
    if (usesBuiltinDatabase() && !m_console->isConnected() && !m_console->isConnecting())
        openConsole(QFile::encodeName(m_database->paths().socket));
}

void TfmMain::databaseFailed(const QString &message)
{
    showStatus(message);
    if (m_navigateWhenReady)
        eText->setText(message); // the page is shown all the same: it tells what it misses
    previewAfterDatabase();
    if (!m_connectWhenDatabaseReady)
        return; // a start at launch: the status is enough until the user asks for a connection
    m_connectWhenDatabaseReady = false;
    sbConnected->setEnabled(true);
    showPlainBox(this, message);
}

void TfmMain::databaseCrashed(const QString &message)
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
