#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

/**
 * A `php -S` web server on a free loopback port serving one folder, for as long
 * as the object lives. PHP's built-in server logs every request it answers on
 * its standard error; the log is collected so that tests can count requests.
 */
class PhpServer : public QObject
{
    Q_OBJECT
public:
    /**
     * Starts the server on `folder` and waits until it accepts connections. Throws on
     * failure; the message ends with the last lines php printed.
     */
    explicit PhpServer(const QString &folder);
    ~PhpServer() override;

    int port() const { return m_port; }
    /** "http://127.0.0.1:PORT" (no final "/"). */
    QString origin() const;

    /** Every request answered so far, as "METHOD /path?query", in order. */
    QStringList requests();
    /** How many answered requests were exactly `method` + " " + `target` ("GET /a.php?test=1"). */
    int count(const QString &request);
    /** Waits, processing events, until count(request) >= n; false on time-out. */
    bool waitForCount(const QString &request, int n, int timeoutMs = 30000);

private:
    void readLog();

    QProcess m_process;
    QByteArray m_pending;
    QStringList m_requests;
    QStringList m_lastLines; // php's last output lines, for a failure's message
    int m_port = 0;
};
