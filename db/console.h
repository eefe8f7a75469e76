#pragma once

#include <QString>

class StringGrid;

/**
 * Runs one statement on the connection record and shows its outcome: the
 * result set in `grid` (row 0 the field names, rows 1..N the rows in server
 * order; hidden when the statement gave no result set) and the record's error
 * message, empty on success, in the status label `mysqlErr` of `fmMain`.
 * Statements are sent whatever the state of the connection; the library
 * refuses them when none is open. Blocks until the whole result is in.
 */
void ExecRequete(const QString &statement, StringGrid *grid);
