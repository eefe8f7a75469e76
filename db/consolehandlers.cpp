// The query console: statements, history and automatic refresh.
#include "db/console.h"

#include "app/main.h"
#include "base/virtualkeys.h"
#include "widgets/widgets.h"
#include "db/_libmysq.h"
#include "db/consoletext.h"
#include "db/dbworker.h"
#include "db/simplecombo.h"
#include "db/stringgrid.h"
#include "io/savefile.h"
#include "base/integers.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>

namespace {

constexpr qint32 kDefaultRefreshMs = 5000;
constexpr int kQueryBoxRightMargin = 3; // pixels left free at Panel6's right edge
constexpr int kRunningTickMs = 100;     // how often the running time is shown
const QString kNotConnected = QStringLiteral("Non connecté");
const QString kRefreshRefused =
    QStringLiteral("Actualisation refusée : seule une requête qui renvoie des lignes (SELECT, SHOW…) est répétée.");

void showStatus(TfmMain &w, const QString &message)
{
    w.mysqlErr->setText(message);
    w.mysqlErr->adjustSize(); // the label grows with its text
}

bool historyHas(const SimpleComboBox *box, const QString &statement)
{
    const QStringList lines = box->items();
    return std::any_of(lines.begin(), lines.end(), [&](const QString &line) {
        return line.compare(statement, Qt::CaseInsensitive) == 0;
    });
}

} // namespace

void ExecRequete(const QString &statement, StringGrid *grid)
{
    if (auto *w = qobject_cast<TfmMain *>(grid->window()))
        w->startStatement(statement, false);
}

void TfmMain::startStatement(const QString &statement, bool fromTimer)
{
    if (dbBusy())
        return;
    if (!EstConnecte) {
        sg->setVisible(false);
        showStatus(*this, kNotConnected);
        return;
    }
    showStatementRunning(true);
    const QPointer<QObject> window(this);
    const QByteArray bytes = statement.toUtf8(); // whole, line breaks and all
    DbWorker::post([window, bytes, statement, fromTimer] {
        auto outcome = std::make_shared<StatementOutcome>(mysqlRun(bytes));
        DbWorker::reply(window, [window, outcome, statement, fromTimer] {
            auto *w = static_cast<TfmMain *>(window.data());
            w->guard([&] { w->statementDone(statement, fromTimer, *outcome); });
        });
    });
}

void TfmMain::showStatementRunning(bool running)
{
    m_running = running;
    m_cancelAsked = false;
    cb->setBusy(running);
    sbAnnuler->setVisible(running);
    sbAnnuler->setEnabled(running);
    mysqlErr->move(running ? sbAnnuler->geometry().right() + 6 : sbAnnuler->x(), mysqlErr->y());
    if (running) {
        m_runClock.start();
        TimerEnCours->start(kRunningTickMs);
        TimerEnCoursTimer();
    } else {
        TimerEnCours->stop();
    }
}

void TfmMain::TimerEnCoursTimer()
{
    if (m_running)
        showStatus(*this, runningMessage(m_runClock.elapsed()));
}

// The steps of a statement's outcome, in their order, once the worker has it whole.
void TfmMain::statementDone(const QString &statement, bool fromTimer, StatementOutcome &outcome)
{
    showStatementRunning(false);
    if (outcome.connectionLost) {
        EstConnecte = false;
        m_connection.reset();
        sbConnected->setText(QStringLiteral("Go"));
    }
    sg->setVisible(outcome.hasResult);
    if (outcome.hasResult) {
        const int columns = int(outcome.binaryColumns.size());
        sg->cells()->takeResult(std::move(*outcome.rows), columns, std::move(outcome.binaryColumns));
    }
    QString status = firstCharacters(outcome.error, kErrorTextLength);
    if (!outcome.hasResult && outcome.errorNumber == 0)
        status = affectedRowsMessage(outcome.affectedRows, outcome.insertId);
    showStatus(*this, status);

    if (fromTimer)
        return;
    m_lastStatement = statement;
    m_lastGaveRows = outcome.hasResult;
    if (Timer1->isActive() && !m_lastGaveRows)
        stopRefresh(status.isEmpty() ? kRefreshRefused : status + QStringLiteral(" — actualisation arrêtée"));
}

void TfmMain::stopRefresh(const QString &why)
{
    Timer1->stop();
    cbTempo->setChecked(false);
    showStatus(*this, why);
}

void TfmMain::sbAnnulerClick()
{
    if (!m_running || m_cancelAsked || !m_connection)
        return;
    m_cancelAsked = true;
    sbAnnuler->setEnabled(false);
    // A second, short-lived connection asks the server to stop the statement.
    const std::shared_ptr<ConnectRequest> request = m_connection;
    const quint64 threadId = m_threadId;
    QThreadPool::globalInstance()->start([request, threadId] { mysqlKillQuery(*request, threadId); });
}

void TfmMain::cbKeyDown(int key)
{
    if (key != VkEnter || m_running)
        return; // while a statement runs, Enter does not start a second one
    const QString statement = cb->text();
    if (!historyHas(cb, statement))
        cb->addItem(statement);
    ExecRequete(statement, sg);
}

void TfmMain::cbListKeyDown(int key)
{
    if (key == VkDelete && cb->selectedIndex() >= 0)
        cb->removeItem(cb->selectedIndex());
}

void TfmMain::cbTempoClick()
{
    if (cbTempo->isChecked() && !m_lastGaveRows) {
        stopRefresh(kRefreshRefused);
        return;
    }
    // A period of 0 would fire continuously and a negative one means nothing:
    // neither starts the timer.
    Timer1->setInterval(std::max(toPeriodInteger(tempo->text()).value_or(kDefaultRefreshMs), 0));
    if (cbTempo->isChecked() && Timer1->interval() > 0)
        Timer1->start();
    else
        Timer1->stop();
}

void TfmMain::Timer1Timer()
{
    if (dbBusy())
        return; // the statement of an earlier tick (or of Enter) still runs: this tick is skipped
    if (!m_lastGaveRows) {
        stopRefresh(kRefreshRefused);
        return;
    }
    startStatement(m_lastStatement, true);
}

void TfmMain::sbExportClick()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Exporter CSV"), QString(),
                                                      QStringLiteral("Fichiers CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QString why;
    if (!replaceFileAtomically(path, sg->cells()->csv(), 0666, &why))
        throw OndrelError(cannotCreateMessage(path, why));
}

void TfmMain::Panel6Resize()
{
    cb->resize(Panel6->width() - cb->x() - kQueryBoxRightMargin, cb->height());
    sbExport->move(Panel6->width() - sbExport->width() - kQueryBoxRightMargin, sbExport->y());
}
