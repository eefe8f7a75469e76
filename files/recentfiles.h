#pragma once

#include <QList>
#include <QString>
#include <QStringList>

/**
 * A file of the recent list (Ctrl+E): where its caret and view were and its five
 * anchors when it was last left, and whether it was open in a tab, the current
 * tab or the pinned page when the window closed. `size` and `modifiedMs` tell
 * what the file was then, so that a change made while Ondrel was not running
 * is reported at the next start.
 */
struct RecentFile
{
    QString path; // absolute
    qsizetype caret = 0;
    int firstLine = 0;
    QStringList anchors = {QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                           QStringLiteral("0")};
    bool open = false;
    bool current = false;
    bool pinned = false;
    qint64 size = -1;       // -1: not known
    qint64 modifiedMs = -1; // ms since the epoch; -1: not known
    bool operator==(const RecentFile &other) const = default;
};

/** How many files the recent list keeps besides those open or pinned. */
constexpr qsizetype kRecentFiles = 30;

// The side file of the recent list: one file a line, most recent first,
// "FLAGS<TAB>CARET<TAB>FIRSTLINE<TAB>A1,A2,A3,A4,A5<TAB>SIZE<TAB>MTIME<TAB>PATH",
// FLAGS "-" or letters among "o" (open tab), "c" (current tab), "p" (pinned page).
// A line that does not read so is skipped.

QList<RecentFile> readRecentFiles(const QString &path);
/** Writes the whole list at once (atomically); false when the file cannot be written. */
bool writeRecentFiles(const QString &path, const QList<RecentFile> &files);
/**
 * Puts `file` first in `files`, in place of the entry of the same path, and
 * trims the list to kRecentFiles, never dropping an open or pinned file.
 */
void noteRecentFile(QList<RecentFile> &files, const RecentFile &file);
