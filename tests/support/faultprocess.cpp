#include "faultprocess.h"

bool FaultProcess::start(const QString &program, const QStringList &arguments)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(30000))
        return false;
    m_pid = m_process.processId();
    while (!m_output.contains("ready\n")) {
        if (!m_process.waitForReadyRead(60000))
            return false;
        m_output += m_process.readAll();
    }
    return true;
}

void FaultProcess::kill()
{
    m_process.kill();
    m_process.waitForFinished(30000);
    m_output += m_process.readAll();
}

bool FaultProcess::finish(int ms)
{
    const bool ended = m_process.waitForFinished(ms);
    m_output += m_process.readAll();
    return ended && m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

QStringList FaultProcess::messages() const
{
    QStringList found;
    for (const QString &line : QString::fromUtf8(m_output).split(u'\n')) {
        if (line.startsWith(u"message: "))
            found << line.mid(9).replace(QStringLiteral("\\n"), QStringLiteral("\n")); // the child writes a message on one line
    }
    return found;
}

bool FaultProcess::waitForSaves(int count)
{
    while (m_output.count("saved\n") < count) {
        if (!m_process.waitForReadyRead(60000))
            return false;
        m_output += m_process.readAll();
    }
    return true;
}

void FaultProcess::send(const QByteArray &bytes)
{
    m_process.write(bytes);
    m_process.waitForBytesWritten(30000);
}
