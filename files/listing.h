#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

/**
 * What the folder and file lists show of a folder. Hidden entries (names that
 * start with ".") are never listed; a symbolic link counts as what it points
 * to, and a dangling one is not listed at all.
 */

enum class EntryKind { Files, Folders };

/**
 * Reads the names (without folder) of the entries of `folder` of the given
 * kind, in no particular order. Returns false, with `names` untouched, when the
 * folder cannot be read.
 */
bool readFolder(const QString &folder, EntryKind kind, QStringList *names);

/**
 * True when `name` matches `mask`: "*" stands for any run of characters, "?"
 * for one character, letter case is ignored, and several masks may be joined
 * with ";". "*.*" matches every name, with or without a dot, as it always has
 * for users of this kind of filter.
 */
bool matchesMask(QStringView name, QStringView mask);

/** Sorts names without regard to letter case; names that differ only in case keep a fixed order. */
void sortWithoutCase(QStringList &names);

/**
 * The file list of `folder` for `mask`: the names of its files that match,
 * sorted without regard to case. Returns false when the folder cannot be read.
 */
bool listFiles(const QString &folder, const QString &mask, QStringList *names);

/** The folders from the root down to `folder` (an absolute, clean path), both ends included. */
QStringList folderAncestors(const QString &folder);

/** The text shown for a folder of the folder list: its last name, or "/" for the root. */
QString folderCaption(const QString &folder);
