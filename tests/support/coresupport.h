#pragma once
// Helpers of every test program, the core's alone included: temporary folders,
// whole files, processes, loopback ports, readable Qt values in failures.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <ostream>

/** A temporary folder for one test, with helpers to write and read files in it. */
struct TempFolder
{
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    QString write(const QString &name, const QByteArray &bytes) const;
    QByteArray read(const QString &name) const;
};

/** Reads a whole file; empty when it cannot be read. */
QByteArray readFile(const QString &path);
/** Writes a whole file, creating folders as needed. */
void writeFile(const QString &path, const QByteArray &bytes);

/** The offset of the `nth` occurrence (from 0) of `needle` in `text`; -1 when there is none. */
qsizetype offsetOf(const QByteArray &text, const char *needle, int nth = 0);

/** Whether process `pid` runs (a zombie waiting to be reaped counts as gone). */
bool processAlive(qint64 pid);

/** A TCP port on 127.0.0.1 that nothing listens on right now, below the ephemeral range; throws when none. */
int freeLoopbackPort();

// Readable values in test failure messages.
inline void PrintTo(const QString &text, std::ostream *os) { *os << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QByteArray &bytes, std::ostream *os) { *os << '"' << bytes.toStdString() << '"'; }
inline void PrintTo(const QStringList &list, std::ostream *os) { *os << '[' << list.join(QStringLiteral(", ")).toStdString() << ']'; }
