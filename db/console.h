#pragma once

#include <QString>

class StringGrid;

/**
 * Runs one statement and shows its outcome in `grid` (row 0 the field names,
 * rows 1..N the rows in server order; hidden when the statement gave no result
 * set) and in the status label `mysqlErr` of the grid's window: the error
 * message, empty after a result set, "%1 ligne(s) affectée(s)" otherwise.
 *
 * The statement runs on the database worker: this returns at once and the
 * window stays usable; while it runs the status counts its time and "Annuler"
 * is offered. Without an open connection nothing is sent: "Non connecté".
 */
void ExecRequete(const QString &statement, StringGrid *grid);
