// "Exporter CSV…": the grid as the user sees it, written to a CSV file that a
// spreadsheet opens without running anything.
#include "app/main.h"
#include "widgets/widgets.h"
#include "db/consoletext.h"
#include "db/stringgrid.h"
#include "io/savefile.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>

namespace {

/** The save dialog, with a line under its fields that says how values are written. */
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

void TfmMain::sbExportClick()
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
