#pragma once

#include <QString>

/**
 * PHP's own keyword list: the signature of every internal function, public
 * method of an internal class and scalar constant of the installed PHP, asked of
 * PHP itself through reflection and kept in a cache file, one a line, in the
 * keyword list's own format:
 *
 *     str_replace(array|string $search, array|string $replace, array|string $subject, &$count = null): array|string
 *     PDO::prepare(string $query, array $options = []): PDOStatement|false
 *     PHP_EOL = '\n'
 *
 * The cache's first line is "# " and the first line of `php --version`: a
 * different PHP makes the cache stale. Everything here blocks (it runs PHP):
 * callers run it off the user-interface thread.
 */

/** The PHP script Ondrel runs with `php -r` to list the signatures. */
QString phpReflectionScript();

/** The first line of `php --version` from `php`, or an empty string when it does not run. */
QString phpVersionLine(const QString &php);

/** The signatures from the running PHP `php`; empty when it fails (then `why` says why). */
QString reflectPhpSignatures(const QString &php, QString *why = nullptr);

/** The signatures kept in `cacheFile` for PHP `version`; null when the file is missing or stale. */
QString readSignatureCache(const QString &cacheFile, const QString &version);

/** Writes the cache file (atomically, the folder made when needed); false when it cannot. */
bool writeSignatureCache(const QString &cacheFile, const QString &version, const QString &signatures);

/** The cache file's place: "php-signatures.txt" in Ondrel's cache folder ($XDG_CACHE_HOME/ondrel). */
QString signatureCachePath();

/**
 * What start-up runs off the window's thread: the signatures of the PHP found
 * as `php` on the path, from the cache while `php --version` is the same, else
 * asked of PHP and cached again. Empty without PHP.
 */
QString loadPhpSignatures(const QString &php, const QString &cacheFile);

/**
 * The line of PHP's list for the function or method `name` (the word the user
 * typed, with what comes before the name itself ignored: "!strlen(" or
 * "$pdo->prepare(" stand for "strlen" and "prepare"): the function of that name,
 * else the first method of that name; null when there is none.
 */
QString phpSignatureFor(const QString &signatures, const QString &typedWord);
