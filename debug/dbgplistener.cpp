#include "debug/dbgplistener.h"

#include "debug/dbgpsession.h"
#include "base/ports.h"

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

DbgpListener::DbgpListener(QObject *parent)
    : QObject(parent)
    , m_ideKey(newIdeKey())
    , m_initTimeoutMs(DbgpSession::kDefaultInitTimeoutMs)
    , m_replyTimeoutMs(DbgpSession::kDefaultReplyTimeoutMs)
    , m_tables(kernelSocketTables())
{
}

DbgpListener::~DbgpListener() = default;

bool DbgpListener::listen(int port, PortChoice choice)
{
    if (isListening() && port == m_asked && choice == m_choice)
        return true;
    close();
    m_asked = port;
    m_choice = choice;
    if (port > 0 && listenOn(port))
        return true;
    if (choice == PortChoice::ThisOnly)
        return false;
    for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
        const int other = pickLoopbackPort();
        if (other > 0 && listenOn(other))
            return true;
    }
    return false;
}

bool DbgpListener::listenOn(int port)
{
    auto *v4 = new QTcpServer(this);
    if (!v4->listen(QHostAddress::LocalHost, quint16(port))) {
        delete v4;
        return false;
    }
    m_servers.push_back(v4);
    if (m_choice == PortChoice::ThisOnly) {
        // Xdebug may try ::1 before 127.0.0.1: whoever listened there would get the page.
        auto *v6 = new QTcpServer(this);
        if (v6->listen(QHostAddress::LocalHostIPv6, quint16(port))) {
            m_servers.push_back(v6);
        } else {
            const bool taken = v6->serverError() == QAbstractSocket::AddressInUseError;
            delete v6;
            if (taken) { // a machine without IPv6 has no ::1 to take
                close();
                return false;
            }
        }
    }
    for (QTcpServer *server : m_servers)
        connect(server, &QTcpServer::newConnection, this, &DbgpListener::accept);
    return true;
}

void DbgpListener::close()
{
    for (QTcpServer *server : m_servers)
        delete server;
    m_servers.clear();
}

bool DbgpListener::isListening() const
{
    return !m_servers.empty();
}

int DbgpListener::port() const
{
    return isListening() ? m_servers.front()->serverPort() : 0;
}

QString DbgpListener::takenPortMessage(int port) const
{
    const int owner = listeningPortOwner(m_tables, quint16(port));
    return QStringLiteral("Le port %1 est pris par un autre programme (compte %2) : le débogage est arrêté")
        .arg(port)
        .arg(owner >= 0 ? accountName(owner) : QStringLiteral("inconnu"));
}

void DbgpListener::accept()
{
    auto *server = qobject_cast<QTcpServer *>(sender());
    while (QTcpSocket *socket = server ? server->nextPendingConnection() : nullptr) {
        const int uid = socket->peerAddress().isLoopback()
            ? peerOwner(m_tables, socket->peerAddress(), socket->peerPort(), socket->localAddress(), socket->localPort())
            : -1;
        if (uid < 0) {
            refuseSocket(socket, QStringLiteral("Connexion de débogage refusée : son compte n'a pas pu être vérifié."));
            continue;
        }
        const bool known = uid_t(uid) == ::getuid() || m_allowed.contains(uid);
        if (!known && !m_askAboutOthers) {
            refuseSocket(socket, QStringLiteral("Connexion de débogage refusée : elle vient d'un autre utilisateur."));
            continue;
        }
        if (m_waiting.size() >= kMaxWaiting) {
            refuseSocket(socket, QStringLiteral("Connexion de débogage refusée : trop de connexions attendent déjà."));
            continue;
        }
        startSession(socket, uid);
    }
}

void DbgpListener::refuseSocket(QTcpSocket *socket, const QString &reason)
{
    socket->abort();
    socket->deleteLater();
    Q_EMIT refused(reason);
}

void DbgpListener::startSession(QTcpSocket *socket, int uid)
{
    auto *session = new DbgpSession(socket, this);
    session->setInitTimeout(m_initTimeoutMs);
    session->setReplyTimeout(m_replyTimeoutMs);
    session->setInitLimit(kMaxInitBytes);
    m_waiting.insert(session);
    // Until handed over, an ended session is a refused one, and goes.
    const QMetaObject::Connection refusal = connect(session, &DbgpSession::ended, this, [this, session](const QString &reason) {
        m_waiting.remove(session);
        session->deleteLater();
        if (!reason.isEmpty())
            Q_EMIT refused(reason);
    });
    connect(session, &DbgpSession::initialized, this, [this, session, uid, refusal] {
        m_waiting.remove(session);
        if (session->ideKey() != m_ideKey) {
            session->drop(QStringLiteral("Connexion de débogage refusée : elle ne vient pas d'une page lancée par Ondrel."));
            return;
        }
        if (uid_t(uid) != ::getuid() && !m_allowed.contains(uid)) {
            if (m_awaitingApproval) {
                session->drop(QStringLiteral("Connexion de débogage refusée : une autre attend déjà votre réponse."));
                return;
            }
            m_awaitingApproval = session;
            m_awaitingUid = uid;
            Q_EMIT accountApprovalNeeded(uid, accountName(uid));
            return;
        }
        disconnect(refusal);
        Q_EMIT sessionStarted(session);
    });
}

void DbgpListener::allowAccount(int uid)
{
    m_allowed.insert(uid);
    if (!m_awaitingApproval || m_awaitingUid != uid)
        return;
    DbgpSession *session = m_awaitingApproval;
    m_awaitingApproval = nullptr;
    if (session->state() != DbgpSession::State::Paused)
        return; // gone meanwhile: its end was told
    disconnect(session, &DbgpSession::ended, this, nullptr);
    Q_EMIT sessionStarted(session);
}

void DbgpListener::refuseAccount(int uid)
{
    if (!m_awaitingApproval || m_awaitingUid != uid)
        return;
    DbgpSession *session = m_awaitingApproval;
    m_awaitingApproval = nullptr;
    session->drop(QStringLiteral("Connexion de débogage refusée : elle vient du compte %1, que vous n'avez pas autorisé.")
                      .arg(accountName(uid)));
}
