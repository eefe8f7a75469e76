// The connection to the MySQL server: the "Go"/"Stop" button.
#include "app/main.h"
#include "app/widgets.h"
#include "db/_libmysq.h"
#include "db/consoletext.h"

#include <QApplication>

namespace {

/** The busy cursor, shown until the end of the scope (message boxes included). */
class BusyCursor
{
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

} // namespace

void TfmMain::sbConnectedClick()
{
    const BusyCursor busy;
    if (EstConnecte) {
        mysqlClose();
        EstConnecte = false;
        sbConnected->setText(QStringLiteral("Go"));
        return;
    }
    mysqlConnect(host->text().toUtf8(), user->text().toUtf8(), pass->text().toUtf8());
    if (mysqlErrno() != 0) {
        showPlainBox(this, connectionMessage(mysqlError()));
        return;
    }
    EstConnecte = true;
    sbConnected->setText(QStringLiteral("Stop"));
    if (mysqlSelectDb(base->text().toUtf8()) != 0)
        showPlainBox(this, databaseMessage(mysqlError()));
}
