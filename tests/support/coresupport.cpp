#include "support/coresupport.h"

#include "base/ports.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <stdexcept>

QString TempFolder::write(const QString &name, const QByteArray &bytes) const
{
    const QString p = path(name);
    writeFile(p, bytes);
    return p;
}

QByteArray TempFolder::read(const QString &name) const
{
    return readFile(path(name));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

qsizetype offsetOf(const QByteArray &text, const char *needle, int nth)
{
    qsizetype at = text.indexOf(needle);
    while (nth-- > 0 && at >= 0)
        at = text.indexOf(needle, at + 1);
    return at;
}

int freeLoopbackPort()
{
    const int port = pickLoopbackPort();
    if (port == 0)
        throw std::runtime_error("no free loopback port below the ephemeral range");
    return port;
}

bool processAlive(qint64 pid)
{
    if (pid <= 0 || ::kill(pid_t(pid), 0) != 0)
        return false;
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    return close >= 0 && stat.mid(close + 2, 1) != "Z";
}
