#pragma once

#include <QString>
#include <QStringList>

// The side files kept as one record a line (the recent list, the breakpoints):
// UTF-8, each line ended by LF. Both are read and written whole.

/**
 * The lines of the file at `path`, without their breaks (LF, CR LF or a lone CR
 * at the end of a line); empty when it cannot be read or does not exist.
 */
QStringList readLineFile(const QString &path);
/**
 * Replaces the file at `path` atomically with `lines`, each followed by LF. A CR
 * or LF inside a line would split the record, so each is written as a space.
 * False, and the file as it was, when it cannot be written.
 */
bool writeLineFile(const QString &path, const QStringList &lines);
