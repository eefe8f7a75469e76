#include "files/recentfiles.h"

#include "base/linefile.h"

#include <algorithm>

namespace {

QString flagsOf(const RecentFile &file)
{
    QString flags;
    if (file.open)
        flags += u'o';
    if (file.current)
        flags += u'c';
    if (file.pinned)
        flags += u'p';
    return flags.isEmpty() ? QStringLiteral("-") : flags;
}

} // namespace

QList<RecentFile> readRecentFiles(const QString &path)
{
    QList<RecentFile> out;
    for (const QString &line : readLineFile(path)) {
        const QStringList fields = line.split(u'\t');
        if (fields.size() < 7)
            continue;
        RecentFile recent;
        recent.path = fields.mid(6).join(u'\t'); // a tab in a name stays
        const QString &flags = fields.at(0);
        bool caretOk = false, lineOk = false, sizeOk = false, timeOk = false;
        recent.caret = fields.at(1).toLongLong(&caretOk);
        recent.firstLine = fields.at(2).toInt(&lineOk);
        recent.size = fields.at(4).toLongLong(&sizeOk);
        recent.modifiedMs = fields.at(5).toLongLong(&timeOk);
        const QStringList anchors = fields.at(3).split(u',');
        const bool anchorsOk = anchors.size() == 5 && std::all_of(anchors.begin(), anchors.end(), [](const QString &a) {
            bool ok = false;
            return a.toLongLong(&ok) >= 0 && ok;
        });
        const bool flagsOk = flags == u"-" || (!flags.isEmpty() && std::all_of(flags.begin(), flags.end(), [](QChar c) {
            return c == u'o' || c == u'c' || c == u'p';
        }));
        if (!caretOk || !lineOk || !sizeOk || !timeOk || !anchorsOk || !flagsOk || recent.caret < 0
            || recent.firstLine < 0 || !recent.path.startsWith(u'/'))
            continue;
        recent.anchors = anchors;
        recent.open = flags.contains(u'o');
        recent.current = recent.open && flags.contains(u'c');
        recent.pinned = flags.contains(u'p');
        const bool seen = std::any_of(out.begin(), out.end(), [&](const RecentFile &r) { return r.path == recent.path; });
        if (!seen)
            out.append(recent);
    }
    return out;
}

bool writeRecentFiles(const QString &path, const QList<RecentFile> &files)
{
    QStringList lines;
    for (const RecentFile &recent : files)
        lines.append(flagsOf(recent) + u'\t' + QString::number(recent.caret) + u'\t'
                     + QString::number(recent.firstLine) + u'\t' + recent.anchors.join(u',') + u'\t'
                     + QString::number(recent.size) + u'\t' + QString::number(recent.modifiedMs) + u'\t'
                     + recent.path);
    return writeLineFile(path, lines);
}

void noteRecentFile(QList<RecentFile> &files, const RecentFile &file)
{
    files.removeIf([&](const RecentFile &r) { return r.path == file.path; });
    files.prepend(file);
    qsizetype kept = 0;
    files.removeIf([&](const RecentFile &r) {
        if (r.open || r.pinned)
            return false;
        return ++kept > kRecentFiles;
    });
}
