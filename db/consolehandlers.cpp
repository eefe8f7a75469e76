// The query console: statements, history and automatic refresh.
#include "db/console.h"

#include "app/main.h"
#include "app/virtualkeys.h"
#include "app/widgets.h"
#include "db/_libmysq.h"
#include "db/consoletext.h"
#include "db/simplecombo.h"
#include "db/stringgrid.h"
#include "settings/integers.h"

#include <QCheckBox>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <climits>

namespace {

constexpr qint32 kDefaultRefreshMs = 5000;
constexpr int kQueryBoxRightMargin = 3; // pixels left free at Panel6's right edge

/** Grid rows needed for a result: the header row and one per result row. */
int gridRowsFor(quint64 resultRows)
{
    return int(std::min<quint64>(resultRows, quint64(INT_MAX) - 1)) + 1;
}

void fillHeader(MySqlResult *result, StringGrid *grid)
{
    QString name;
    for (int k = 0; mysqlFetchFieldName(result, name); ++k)
        grid->setCell(k, 0, name);
}

/** Rows 1..rowCount-1 from the result, in server order; one change notice for all of them. */
void fillData(MySqlResult *result, StringGrid *grid)
{
    const StringGridModel::Batch batch(*grid->cells());
    std::vector<QByteArrayView> values;
    for (int r = 1; r < grid->rowCount(); ++r) {
        if (!mysqlFetchRow(result, values))
            break;
        grid->cells()->setRowBytes(r, values);
    }
}

void showResult(MySqlResult *result, StringGrid *grid)
{
    grid->setRowCount(gridRowsFor(mysqlNumRows(result)));
    grid->setColCount(int(mysqlNumFields(result))); // every field, however many
    fillHeader(result, grid);
    fillData(result, grid);
    mysqlFreeResult(result);
}

void showStatus(const QString &message)
{
    if (!fmMain)
        return;
    fmMain->mysqlErr->setText(message);
    fmMain->mysqlErr->adjustSize(); // the label grows with its text
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
    mysqlQuery(statement.toUtf8());
    MySqlResult *result = mysqlStoreResult();
    grid->setVisible(result != nullptr);
    if (result)
        showResult(result, grid);
    showStatus(firstCharacters(mysqlError(), kErrorTextLength));
    if (grid->rowCount() > 1)
        grid->setFixedRows(1);
}

void TfmMain::cbKeyDown(int key)
{
    if (key == VkEnter) {
        const QString statement = cb->text();
        if (!historyHas(cb, statement))
            cb->addItem(statement);
        ExecRequete(statement, sg);
    }
    if (key == VkDelete && cb->selectedIndex() >= 0)
        cb->removeItem(cb->selectedIndex());
}

void TfmMain::cbTempoClick()
{
    // A period of 0 would fire continuously and a negative one means nothing:
    // neither starts the timer.
    Timer1->setInterval(std::max(toIntegerDef(tempo->text(), kDefaultRefreshMs), 0));
    if (cbTempo->isChecked() && Timer1->interval() > 0)
        Timer1->start();
    else
        Timer1->stop();
}

void TfmMain::Timer1Timer()
{
    ExecRequete(cb->text(), sg);
}

void TfmMain::Panel6Resize()
{
    cb->resize(Panel6->width() - cb->x() - kQueryBoxRightMargin, cb->height());
}
