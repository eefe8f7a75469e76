#include "app/instance.h"

#include "app/handover.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QVariant>

namespace {
constexpr int kLockWaitMs = 10000;
}

InstanceServer::InstanceServer(const QString &socketPath, QObject *parent)
    : QObject(parent)
    , m_path(socketPath)
{
}

InstanceServer::~InstanceServer() = default;

void InstanceServer::lock()
{
    if (m_path.isEmpty())
        return;
    m_lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
    if (!m_lock->tryLock(kLockWaitMs))
        m_lock.reset(); // a launch stuck while starting: go on without it
}

void InstanceServer::serve()
{
    if (!m_path.isEmpty() && !m_server) {
        auto *server = new QLocalServer(this);
        server->setSocketOptions(QLocalServer::UserAccessOption);
        // A socket file nobody listens on was left by a window that ended abruptly.
        if (!windowListens(m_path)) {
            QLocalServer::removeServer(m_path);
            if (server->listen(m_path)) {
                connect(server, &QLocalServer::newConnection, this, &InstanceServer::accept);
                m_server = server;
            }
        }
        if (!m_server)
            delete server;
    }
    m_lock.reset();
}

void InstanceServer::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { receive(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        receive(socket);
    }
}

void InstanceServer::receive(QLocalSocket *socket)
{
    QByteArray received = socket->property("received").toByteArray() + socket->readAll();
    socket->setProperty("received", received);
    const ReceivedHandOver message = readHandOverMessage(received);
    if (message.state == ReceivedHandOver::Incomplete)
        return;
    socket->disconnect(this);
    if (message.state == ReceivedHandOver::Complete) {
        socket->write(kHandOverAnswer);
        socket->flush();
    }
    socket->disconnectFromServer();
    if (message.state == ReceivedHandOver::Complete)
        emit filesHandedOver(message.files);
}
