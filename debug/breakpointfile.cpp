#include "debug/breakpointfile.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>

std::vector<DebugBreakpoint> readBreakpoints(const QString &path)
{
    std::vector<DebugBreakpoint> out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
        const QStringList fields = line.split(QLatin1Char('\t'));
        bool ok = false;
        const int number = fields.value(0).toInt(&ok);
        if (!ok || number < 1 || fields.size() < 2 || !fields.at(1).startsWith(QLatin1Char('/')))
            continue;
        DebugBreakpoint b{fields.at(1), number, fields.value(2)};
        if (std::find(out.begin(), out.end(), b) == out.end())
            out.push_back(b);
    }
    return out;
}

bool writeBreakpoints(const QString &path, const std::vector<DebugBreakpoint> &breakpoints)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const DebugBreakpoint &b : breakpoints) {
        QString condition = b.condition;
        condition.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
        QString line = QString::number(b.line) + QLatin1Char('\t') + b.file;
        if (!condition.trimmed().isEmpty())
            line += QLatin1Char('\t') + condition;
        file.write(line.toUtf8() + '\n');
    }
    return file.commit();
}
