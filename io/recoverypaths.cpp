#include "io/recoverypaths.h"

#include "io/fileidentity.h"

#include <QDir>
#include <QFile>

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

QString safeCopyPathFor(const QString &filePath)
{
    return hashName(filePath, ".ancien");
}
