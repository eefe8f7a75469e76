#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

/**
 * The word whose argument list the user is opening: with the caret at column x
 * (bytes from the start of `line`, counted from 0), the character just before
 * it must be "("; the word runs back from there to the nearest space, "(", ".",
 * "/" or "=" (not included) or to the start of the line, and ends with the "(".
 * Empty when there is no such word (x < 2, x beyond the line, no "(").
 */
QByteArray functionWord(const QByteArray &line, qsizetype x);

/**
 * The manual pages looked for, in order, for a function name: the help folder
 * prefix used exactly as typed, then "function." or "manuel_function.", the
 * name with every "_" made "-", and ".html".
 */
QStringList helpPageCandidates(const QString &prefix, const QString &name);

/** The first line of `list` (lines separated by "\n") that contains `word`, exactly; null if none. */
QString firstLineContaining(const QString &list, const QString &word);
