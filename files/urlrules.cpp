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
