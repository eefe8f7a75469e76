#include "debug/dbgplistener.h"

#include "debug/dbgpsession.h"
#include "base/ports.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>

#include <unistd.h>

namespace {

constexpr int kPortAttempts = 20;

QString newIdeKey()
{
    QByteArray bytes(16, '\0');
    for (char &b : bytes)
        b = char(QRandomGenerator::system()->bounded(256));
    return QString::fromLatin1(bytes.toHex());
}

} // namespace

int loopbackPeerUid(quint16 peerPort, quint16 localPort)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    // Addresses are "0100007F:1F4B": the IPv4 address in the kernel's byte order, then the port.
    const QByteArray peer = "0100007F:" + QByteArray::number(peerPort, 16).toUpper().rightJustified(4, '0');
    const QByteArray local = "0100007F:" + QByteArray::number(localPort, 16).toUpper().rightJustified(4, '0');
    table.readLine(); // header
    while (!table.atEnd()) {
        const QList<QByteArray> fields = table.readLine().simplified().split(' ');
        if (fields.size() > 7 && fields.at(1) == peer && fields.at(2) == local) {
            bool ok = false;
            const int uid = fields.at(7).toInt(&ok);
            return ok ? uid : -1;
        }
    }
    return -1;
}

DbgpListener::DbgpListener(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
    , m_ideKey(newIdeKey())
    , m_initTimeoutMs(DbgpSession::kDefaultInitTimeoutMs)
    , m_replyTimeoutMs(DbgpSession::kDefaultReplyTimeoutMs)
{
    connect(m_server, &QTcpServer::newConnection, this, &DbgpListener::accept);
}

DbgpListener::~DbgpListener() = default;

bool DbgpListener::listen(int preferredPort)
{
    if (m_server->isListening())
        return true;
    if (preferredPort > 0 && m_server->listen(QHostAddress::LocalHost, quint16(preferredPort)))
        return true;
    for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
        const int port = pickLoopbackPort();
        if (port > 0 && m_server->listen(QHostAddress::LocalHost, quint16(port)))
            return true;
    }
    return false;
}

void DbgpListener::close()
{
    m_server->close();
}

bool DbgpListener::isListening() const
{
    return m_server->isListening();
}

int DbgpListener::port() const
{
    return m_server->isListening() ? m_server->serverPort() : 0;
}

void DbgpListener::accept()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        const int uid = loopbackPeerUid(socket->peerPort(), socket->localPort());
        if (!socket->peerAddress().isLoopback() || (uid >= 0 && uid_t(uid) != ::getuid())) {
            socket->abort();
            socket->deleteLater();
            Q_EMIT refused(QStringLiteral("Connexion de débogage refusée : elle vient d'un autre utilisateur."));
            continue;
        }
        auto *session = new DbgpSession(socket, this);
        session->setInitTimeout(m_initTimeoutMs);
        session->setReplyTimeout(m_replyTimeoutMs);
        // Until handed over, an ended session is a refused one, and goes.
        const QMetaObject::Connection refusal = connect(session, &DbgpSession::ended, this, [this, session](const QString &reason) {
            session->deleteLater();
            if (!reason.isEmpty())
                Q_EMIT refused(reason);
        });
        connect(session, &DbgpSession::initialized, this, [this, session, refusal] {
            if (session->ideKey() != m_ideKey) {
                session->drop(QStringLiteral("Connexion de débogage refusée : elle ne vient pas d'une page lancée par Ondrel."));
                return;
            }
            disconnect(refusal);
            Q_EMIT sessionStarted(session);
        });
    }
}
