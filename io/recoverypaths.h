#pragma once

#include <QString>
#include <QStringList>

/**
 * The recovery folder, `$XDG_CACHE_HOME/ondrel/` (else `~/.cache/ondrel/`): the
 * journals of unsaved text, one per edited file, and the copies that keep a file's
 * old content safe while it is written in place.
 */
QString recoveryFolder();

/** The journal of the text edited for `filePath`: named by a hash of the path's bytes. */
QString journalPathFor(const QString &filePath);

/**
 * Where the old content of `filePath` may be kept while the file is written in place,
 * in the order to try: the recovery folder; beside the file, hidden
 * (".page.php.ondrel-ancien"); `$XDG_RUNTIME_DIR/ondrel/` when that is set.
 */
QStringList safeCopyPathsFor(const QString &filePath);
