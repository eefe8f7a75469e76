#include "files/siteguess.h"

#include <QDir>
#include <QFileInfo>

namespace {

/** The folder above `path` ("/" for "/x"; empty for "/" itself or a relative path). */
QString parentFolder(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0 || path == QStringLiteral("/"))
        return {};
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

/** Whether `folder` lies strictly inside `home` (both clean and absolute). */
bool strictlyInside(const QString &folder, const QString &home)
{
    if (home == QStringLiteral("/"))
        return folder != home;
    return folder.size() > home.size() + 1 && folder.startsWith(home) && folder.at(home.size()) == u'/';
}

} // namespace

QString guessSiteFolder(const QString &filePath, const QString &homeFolder,
                        const std::function<bool(const QString &folder)> &holdsSiteMark)
{
    if (!filePath.startsWith(u'/'))
        return {};
    const QString fileFolder = parentFolder(QDir::cleanPath(filePath));
    if (fileFolder.isEmpty())
        return {};
    const QString home = homeFolder.startsWith(u'/') ? QDir::cleanPath(homeFolder) : QString();
    if (!home.isEmpty()) {
        for (QString folder = fileFolder; strictlyInside(folder, home); folder = parentFolder(folder)) {
            if (holdsSiteMark(folder))
                return folder;
        }
    }
    if (fileFolder == QStringLiteral("/"))
        return {};
    return fileFolder;
}

QString guessSiteFolder(const QString &filePath, const QString &homeFolder)
{
    return guessSiteFolder(filePath, homeFolder, [](const QString &folder) { return holdsSiteMark(folder); });
}

bool holdsSiteMark(const QString &folder)
{
    const QDir dir(folder);
    for (const char *name : {".git", "composer.json", "wp-config.php"}) {
        if (QFileInfo::exists(dir.filePath(QString::fromLatin1(name))))
            return true;
    }
    return false;
}
