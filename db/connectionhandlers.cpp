// The connection to the MySQL server: the "Go"/"Stop" button. The open and the
// close run on the database worker; the window stays usable meanwhile.
#include "app/main.h"
#include "widgets/widgets.h"
#include "db/_libmysq.h"
#include "db/consoletext.h"
#include "db/dbworker.h"

#include <QApplication>
#include <QPointer>

void TfmMain::sbConnectedClick()
{
    if (m_connecting)
        return; // the button is disabled meanwhile; a queued click changes nothing
    if (EstConnecte) {
        if (m_running)
            sbAnnulerClick(); // the close waits for the statement, which the cancel shortens
        DbWorker::post([] { mysqlClose(); });
        EstConnecte = false;
        m_connection.reset();
        sbConnected->setText(QStringLiteral("Go"));
        return;
    }
    auto request = std::make_shared<ConnectRequest>();
    request->host = host->text().toUtf8();
    request->user = user->text().toUtf8();
    request->password = pass->text().toUtf8();
    request->database = base->text().toUtf8();
    request->timeoutSeconds = DelaiConnexion;
    m_connecting = true;
    sbConnected->setEnabled(false);
    // The busy cursor of work going on in the background: the window stays usable.
    QApplication::setOverrideCursor(Qt::BusyCursor);
    const QPointer<QObject> window(this);
    DbWorker::post([window, request] {
        const ConnectOutcome outcome = mysqlOpen(*request);
        DbWorker::reply(window, [window, request, outcome] {
            auto *w = static_cast<TfmMain *>(window.data());
            if (outcome.opened)
                w->m_connection = request;
            w->guard([&] { w->connectionDone(outcome); });
        });
    });
}

void TfmMain::connectionDone(const ConnectOutcome &outcome)
{
    m_connecting = false;
    sbConnected->setEnabled(true);
    // The busy cursor stays while a message box is up, then goes.
    const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    if (!outcome.opened) {
        showPlainBox(this, connectionMessage(outcome.error));
        return;
    }
    EstConnecte = true;
    m_threadId = outcome.threadId;
    sbConnected->setText(QStringLiteral("Stop"));
    if (!outcome.databaseSelected)
        showPlainBox(this, databaseMessage(outcome.error));
}
