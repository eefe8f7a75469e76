#include "debug/breakpointfile.h"

#include "base/linefile.h"

#include <algorithm>

std::vector<DebugBreakpoint> readBreakpoints(const QString &path)
{
    std::vector<DebugBreakpoint> out;
    for (const QString &line : readLineFile(path)) {
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
    QStringList lines;
    for (const DebugBreakpoint &b : breakpoints) {
        QString condition = b.condition;
        condition.replace(QLatin1Char('\t'), QLatin1Char(' '));
        QString line = QString::number(b.line) + QLatin1Char('\t') + b.file;
        if (!condition.trimmed().isEmpty())
            line += QLatin1Char('\t') + condition;
        lines.append(line);
    }
    return writeLineFile(path, lines);
}
