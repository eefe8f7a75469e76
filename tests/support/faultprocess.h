#pragma once
// Runs the fault-injection child (support/faultchild/) from a test.

#include <QByteArray>
#include <QProcess>
#include <QStringList>

class FaultProcess
{
public:
    /** Starts `program` with `arguments` and waits until it prints "ready"; false if it never does. */
    bool start(const QString &program, const QStringList &arguments);
    /** Waits until the child has printed `count` lines "saved" since it was ready; false if it ends first. */
    bool waitForSaves(int count);
    /** Writes `bytes` to the child's input. */
    void send(const QByteArray &bytes);
    /** SIGKILL, then waits until the process is gone (and reaped). */
    void kill();
    /** Waits for a normal end; false when it does not end within `ms` or does not exit with 0. */
    bool finish(int ms = 120000);
    /** The "message: …" lines the child printed, without their prefix. */
    QStringList messages() const;
    /** Everything the child printed on stdout and stderr. */
    QByteArray output() const { return m_output; }
    qint64 pid() const { return m_pid; }

private:
    QProcess m_process;
    QByteArray m_output;
    qint64 m_pid = 0;
};
