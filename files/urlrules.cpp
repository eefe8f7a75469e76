#include "files/urlrules.h"

#include <QDir>
#include <QUrl>

QString fileNamePart(const QString &path, QStringView separators)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (separators.contains(path.at(i)))
            return path.mid(i + 1);
    }
    return path;
}

QString withTrailingSlash(const QString &site)
{
    if (site.isEmpty() || site.endsWith(QLatin1Char('/')))
        return site;
    return site + QLatin1Char('/');
}

QString targetUrl(const QString &site, const QString &file)
{
    return site + fileNamePart(file);
}

QString previewUrl(const QString &url, const QString &param)
{
    if (param.isEmpty())
        return url;
    return url + QLatin1Char('?') + param;
}

QString joinPath(const QString &folder, const QString &name)
{
    if (name.isEmpty())
        return QString();
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

QString servedPath(const QString &root, const QString &file)
{
    const QString base = QDir::cleanPath(root);
    const QString path = QDir::cleanPath(file);
    if (base.isEmpty() || path.isEmpty())
        return QString();
    const QString prefix = base.endsWith(u'/') ? base : base + u'/';
    if (!path.startsWith(prefix) || path.size() == prefix.size())
        return QString();
    QStringList segments;
    for (const QString &segment : path.mid(prefix.size()).split(u'/'))
        segments.append(QString::fromLatin1(QUrl::toPercentEncoding(segment)));
    return segments.join(u'/');
}

QString serverRoot(const QString &racine, const QString &file)
{
    if (!racine.isEmpty() && !servedPath(racine, file).isEmpty())
        return QDir::cleanPath(racine);
    const QString path = QDir::cleanPath(file);
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

namespace {

/** The deepest folder holding both files. */
QString commonFolder(const QString &a, const QString &b)
{
    const QStringList left = QDir::cleanPath(a).split(u'/');
    const QStringList right = QDir::cleanPath(b).split(u'/');
    qsizetype same = 0;
    // The last segment is a file's name: only the folders above it count.
    while (same < left.size() - 1 && same < right.size() - 1 && left.at(same) == right.at(same))
        ++same;
    const QString folder = left.mid(0, same).join(u'/');
    return folder.isEmpty() ? QStringLiteral("/") : folder;
}

bool holds(const QString &racine, const QString &file)
{
    return !racine.isEmpty() && !servedPath(racine, file).isEmpty();
}

} // namespace

QString pinnedServerRoot(const QString &racine, const QString &page, const QString &edited)
{
    if (holds(racine, page) && holds(racine, edited))
        return QDir::cleanPath(racine);
    return commonFolder(page, edited);
}

bool pinnedPageCovers(const QString &racine, const QString &page, const QString &edited, const QString &home)
{
    if (page.isEmpty() || edited.isEmpty())
        return false;
    if (holds(racine, page) && holds(racine, edited))
        return true;
    const QString common = commonFolder(page, edited);
    return common != u"/" && common != QDir::cleanPath(home);
}
