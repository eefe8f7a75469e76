#pragma once

#include <QString>

#include <functional>

/**
 * The site of a file opened while no site is open.
 *
 * The site is the nearest folder above the file (its own folder first) that
 * holds `.git` (a folder or a file), `composer.json` or `wp-config.php`; such a
 * folder is looked for only strictly inside `homeFolder`, so neither the home
 * folder itself (a repository of dotfiles) nor anything outside it (`/etc`
 * kept in Git, `/` itself) becomes a site by its marks. Without one, the site is
 * the file's own folder, except `/`: a file whose folder is `/` gets no site
 * (an empty string), since the whole disk is never a site.
 *
 * Paths are absolute; they are cleaned (`..`, `//`, a final `/`) but symbolic
 * links are not followed. `holdsSiteMark(folder)` tells whether a folder holds
 * one of the three names; it is asked of folders inside the home folder only,
 * nearest first, and the search stops at the first yes.
 */
QString guessSiteFolder(const QString &filePath, const QString &homeFolder,
                        const std::function<bool(const QString &folder)> &holdsSiteMark);

/** The same, looking at the disk for the three names. */
QString guessSiteFolder(const QString &filePath, const QString &homeFolder);

/** Whether `folder` holds `.git` (folder or file), `composer.json` or `wp-config.php`. */
bool holdsSiteMark(const QString &folder);
