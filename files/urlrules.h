#pragma once

#include <QString>
#include <QStringView>

/**
 * The rules that turn the file page's texts into paths and URLs. Pure text
 * operations: nothing here touches the disk, and nothing is encoded, trimmed
 * or checked, so that what the user typed goes through unchanged.
 */

/** The characters that end a folder part in a path: "/" on POSIX systems, "\" and ":" on Windows. */
inline constexpr QStringView kPosixSeparators = u"/";
inline constexpr QStringView kWindowsSeparators = u"\\:";
#ifdef Q_OS_WIN
inline constexpr QStringView kPlatformSeparators = kWindowsSeparators;
#else
inline constexpr QStringView kPlatformSeparators = kPosixSeparators;
#endif

/**
 * The file-name part of `path`: the text after the last character of `path`
 * that is one of `separators`, or the whole text when it holds none of them.
 */
QString fileNamePart(const QString &path, QStringView separators = kPlatformSeparators);

/**
 * The site text with a final "/": unchanged when it already ends with "/".
 * An empty site stays empty: a lone "/" would turn every target URL into a
 * path that no web server on the machine answers, and an empty site is easier
 * for the user to spot and fill in than a "/" the program made up.
 */
QString withTrailingSlash(const QString &site);

/** The target URL: the site text immediately followed by the file-name part of `file`. */
QString targetUrl(const QString &site, const QString &file);

/** The preview URL: `url` alone when `param` is empty, otherwise `url` + "?" + `param`. */
QString previewUrl(const QString &url, const QString &param);

/**
 * The path of `name` inside `folder` (a file or a sub-folder of a listing): the folder,
 * a "/" and the name, with no "/" added when the folder already ends with one
 * (the root). Empty when `name` is empty (no item selected).
 */
QString joinPath(const QString &folder, const QString &name);

/**
 * The URL path under which a server rooted at `root` serves `file`: the part of
 * `file` below `root`, each segment percent-encoded (UTF-8), joined by "/", with
 * no leading "/". Empty when `file` does not lie under `root`. Both paths are
 * absolute; "." and ".." are resolved as text, nothing touches the disk.
 */
QString servedPath(const QString &root, const QString &file);

/**
 * The folder Ondrel's own PHP server serves for `file`: `racine` when it is set
 * and the file lies under it, otherwise the file's own folder.
 */
QString serverRoot(const QString &racine, const QString &file);

/**
 * The folder Ondrel's own PHP server serves while the pinned `page` is shown for
 * the edited file `edited`: `racine` when it holds both, otherwise the deepest
 * folder that holds both. Both paths are absolute; nothing touches the disk.
 */
QString pinnedServerRoot(const QString &racine, const QString &page, const QString &edited);

/**
 * Whether the pinned `page` is shown for `edited`, another file of its site:
 * `racine` holds both, or the deepest folder that holds both is neither "/" nor
 * `home` (a page of another site is never shown for a file by chance).
 */
bool pinnedPageCovers(const QString &racine, const QString &page, const QString &edited, const QString &home);
