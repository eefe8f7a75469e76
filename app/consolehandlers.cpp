// The query console's window side: the keys of the query box, the refresh box,
// "Annuler", the export, and the showing of what the console (db/dbconsole.h)
// reports.
#include "app/main.h"
#include "base/virtualkeys.h"
#include "widgets/widgets.h"
#include "db/consoletext.h"
#include "db/dbconsole.h"
#include "db/schematree.h"
#include "db/simplecombo.h"
#include "db/stringgrid.h"
#include "base/integers.h"

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

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
PackedRows copyOf(const PackedRows &rows)
{
    PackedRows copy;
    for (int row = 0; row < rows.size(); ++row)
        copy.appendRow(rows.cells(row));
    return copy;
}

} // namespace

void TfmMain::showStatus(const QString &text)
{
    mysqlErr->setText(text);
    mysqlErr->adjustSize(); // the label grows with its text
}

void TfmMain::cbKeyDown(int key)
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

void TfmMain::cbListKeyDown(int key)
{
    if (key == VkDelete && cb->selectedIndex() >= 0)
        cb->removeItem(cb->selectedIndex());
}

void TfmMain::statementStarted()
{
    showStatementRunning(true);
}

void TfmMain::showStatementRunning(bool running)
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

void TfmMain::TimerEnCoursTimer()
{
    if (!m_console->isRunning())
        return;
    const QString time = runningMessage(m_console->runningMs());
    showStatus(m_runningNote.isEmpty() ? time : m_runningNote + QStringLiteral(" — ") + time);
}

// The steps of a statement's outcome, in their order, once the worker has it whole.
void TfmMain::statementFinished(const StatementOutcome &outcome, bool fromRefresh)
{
    Q_UNUSED(fromRefresh); // a tick's outcome shows as Enter's does
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

void TfmMain::showResultSets(const StatementOutcome &outcome)
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

void TfmMain::tbResultatsChange(int index)
{
    if (index < 0 || size_t(index) >= m_resultSets.size())
        return;
    const ResultSet &set = m_resultSets[size_t(index)];
    sg->cells()->takeResult(copyOf(*set.rows), set.columnCount(), set.binaryColumns);
}

void TfmMain::sbAnnulerClick()
{
    if (!m_console->isRunning())
        return;
    sbAnnuler->setEnabled(false);
    m_console->cancel();
}

void TfmMain::cancelFailed(const QString &error, bool reachable)
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

void TfmMain::cbTempoClick()
{
    const int period = toPeriodInteger(tempo->text()).value_or(kDefaultRefreshMs);
    m_console->setRefresh(cbTempo->isChecked(), period);
}

void TfmMain::nothingToRepeat()
{
    showStatus(kNothingToRepeat);
}

void TfmMain::Panel6Resize()
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
