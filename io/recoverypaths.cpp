#include "io/recoverypaths.h"

#include "io/fileidentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace {

QString pathHash(const QString &filePath)
{
    return QString::number(contentHash(QFile::encodeName(filePath)), 16).rightJustified(16, QLatin1Char('0'));
}

QString hashName(const QString &filePath, const char *suffix)
{
    return recoveryFolder() + QLatin1Char('/') + pathHash(filePath) + QLatin1String(suffix);
}

/** This run's mark in its journals' names: random, as a process id may come back after a crash. */
const QString &runMark()
{
    static const QString mark = QString::number(QRandomGenerator::system()->generate(), 16).rightJustified(8, QLatin1Char('0'));
    return mark;
}

} // namespace

QString recoveryFolder()
{
    QString base = QFile::decodeName(qgetenv("XDG_CACHE_HOME"));
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/ondrel");
}

QString journalPathFor(const QString &filePath)
{
    return recoveryFolder() + QLatin1Char('/') + pathHash(filePath) + QLatin1Char('-') + runMark() + QStringLiteral(".journal");
}

QStringList journalsOf(const QString &filePath)
{
    const QString hash = pathHash(filePath);
    QStringList found;
    const QDir folder(recoveryFolder());
    for (const QString &name : folder.entryList({hash + QStringLiteral("*.journal")}, QDir::Files, QDir::Time))
        if (name == hash + QStringLiteral(".journal") || name.at(hash.size()) == QLatin1Char('-'))
            found << folder.filePath(name);
    return found;
}

QStringList safeCopyPathsFor(const QString &filePath)
{
    const QFileInfo file(filePath);
    QStringList paths{hashName(filePath, ".ancien"),
                      file.dir().filePath(QLatin1Char('.') + file.fileName() + QStringLiteral(".ondrel-ancien"))};
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime))
        paths << runtime + QStringLiteral("/ondrel/") + QFileInfo(hashName(filePath, ".ancien")).fileName();
    return paths;
}
