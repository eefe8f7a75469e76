#include "files/urlrules.h"

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
