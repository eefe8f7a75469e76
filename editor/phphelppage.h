#pragma once

#include <QString>

/**
 * The help page F1 shows for a function of PHP's own list when the help folder
 * has no page for it: its signature, its parameters, its return type, and the
 * address of its page in PHP's online manual, which the user may follow.
 */

/** The online manual's address: "function.str-replace.php", "pdo.prepare.php" (in French). */
QString onlineManualUrl(const QString &name);

/** The page as HTML, every text of the signature escaped; `signature` is one line of PHP's list. */
QString reflectionHelpPage(const QString &signature);
