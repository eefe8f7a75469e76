#include "phpserver.h"

#include "testsupport.h"

#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

#include <stdexcept>

PhpServer::PhpServer(const QString &folder)
{
    connect(&m_process, &QProcess::readyReadStandardError, this, &PhpServer::readLog);
    // Another process may take the port between the pick and php's bind: then php
    // exits at once, and the server is started again on another port.
    for (int attempt = 0; attempt < 5; ++attempt) {
        m_port = freeLoopbackPort();
        m_process.start(QStringLiteral("php"),
                        {QStringLiteral("-S"), QStringLiteral("127.0.0.1:%1").arg(m_port),
                         QStringLiteral("-t"), folder});
        if (!m_process.waitForStarted(10000))
            throw std::runtime_error("php -S did not start");
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
        m_pending.clear();
    }
    throw std::runtime_error("php -S does not accept connections");
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
    m_pending += m_process.readAllStandardError();
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QString text = QString::fromUtf8(m_pending.left(end));
        m_pending.remove(0, end + 1);
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
