#pragma once

#include <QString>
#include <QStringList>

/**
 * The recovery folder, `$XDG_CACHE_HOME/ondrel/` (else `~/.cache/ondrel/`): the
 * journals of unsaved text, one per edited file, and the copies that keep a file's
 * old content safe while it is written in place.
 */
QString recoveryFolder();

/**
 * The journal this run keeps of the text edited for `filePath`: named by a hash
 * of the path's bytes and by a mark drawn once per run, so that two windows
 * editing the same file never write, lock or remove each other's journal.
 */
QString journalPathFor(const QString &filePath);

/** Every journal of `filePath` in the recovery folder: this run's, other runs', older versions' (one per file). */
QStringList journalsOf(const QString &filePath);

/**
 * Where the old content of `filePath` may be kept while the file is written in place,
 * in the order to try: the recovery folder; beside the file, hidden
 * (".page.php.ondrel-ancien"); `$XDG_RUNTIME_DIR/ondrel/` when that is set.
 */
QStringList safeCopyPathsFor(const QString &filePath);
