#include "io/recoverypaths.h"

#include "io/fileidentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString hashName(const QString &filePath, const char *suffix)
{
    return recoveryFolder() + QLatin1Char('/')
        + QString::number(contentHash(QFile::encodeName(filePath)), 16).rightJustified(16, QLatin1Char('0'))
        + QLatin1String(suffix);
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
    return hashName(filePath, ".journal");
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
