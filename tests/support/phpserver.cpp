#include "phpserver.h"

#include "coresupport.h"

#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <stdexcept>

PhpServer::PhpServer(const QString &folder)
{
    // php prints its start-up errors on either stream, and its request log on standard error.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &PhpServer::readLog);
    // Another process may take the port between the pick and php's bind: then php
    // exits at once, and the server is started again on another port.
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_port = freeLoopbackPort();
        m_process.start(QStringLiteral("php"),
                        {QStringLiteral("-S"), QStringLiteral("127.0.0.1:%1").arg(m_port),
                         QStringLiteral("-t"), folder});
        if (!m_process.waitForStarted(10000))
            throw std::runtime_error("php -S did not start: " + m_process.errorString().toStdString());
        const bool up = QTest::qWaitFor([this] {
            if (m_process.state() != QProcess::Running)
                return true;
            QTcpSocket probe;
            probe.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_port));
            return probe.waitForConnected(200);
        }, 15000);
        if (up && m_process.state() == QProcess::Running)
            return;
        m_process.kill();
        m_process.waitForFinished(5000);
        readLog();
        if (!m_pending.isEmpty())
            m_lastLines.append(QString::fromUtf8(m_pending)); // a last line without its line break
        m_pending.clear();
    }
    throw std::runtime_error(QStringLiteral("php -S -t %1 does not accept connections; its last lines:\n%2")
                                 .arg(folder, m_lastLines.join(u'\n'))
                                 .toStdString());
}

PhpServer::~PhpServer()
{
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
}

QString PhpServer::origin() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

void PhpServer::readLog()
{
    // A request line reads "[date] 127.0.0.1:PORT [200]: GET /page.php?test=1".
    static const QRegularExpression line(QStringLiteral(R"(\[\d{3}\]: (\S+) (\S+))"));
    m_pending += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QString text = QString::fromUtf8(m_pending.left(end));
        m_pending.remove(0, end + 1);
        m_lastLines.append(text);
        if (m_lastLines.size() > 20)
            m_lastLines.removeFirst();
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch())
            m_requests.append(match.captured(1) + QLatin1Char(' ') + match.captured(2));
    }
}

QStringList PhpServer::requests()
{
    readLog();
    return m_requests;
}

int PhpServer::count(const QString &request)
{
    return int(requests().count(request));
}

bool PhpServer::waitForCount(const QString &request, int n, int timeoutMs)
{
    return QTest::qWaitFor([&] { return count(request) >= n; }, timeoutMs);
}
