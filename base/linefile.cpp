#include "base/linefile.h"

#include <QFile>
#include <QSaveFile>

QStringList readLineFile(const QString &path)
{
    QStringList lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    while (!file.atEnd()) {
        QString line = QString::fromUtf8(file.readLine());
        while (line.endsWith(u'\n') || line.endsWith(u'\r'))
            line.chop(1);
        lines.append(line);
    }
    return lines;
}

bool writeLineFile(const QString &path, const QStringList &lines)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (QString line : lines) {
        line.replace(u'\n', u' ').replace(u'\r', u' ');
        file.write(line.toUtf8() + '\n');
    }
    return file.commit();
}
