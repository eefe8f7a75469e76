#include "debug/dbgpsession.h"

#include <QTcpSocket>

DbgpSession::DbgpSession(QTcpSocket *socket, QObject *parent, qsizetype maxPacket)
    : QObject(parent)
    , m_socket(socket)
    , m_reader(maxPacket)
    , m_maxPacket(maxPacket)
{
    socket->setParent(this);
    m_initTimer.setSingleShot(true);
    m_initTimer.setInterval(kDefaultInitTimeoutMs);
    m_replyTimer.setSingleShot(true);
    connect(&m_initTimer, &QTimer::timeout, this, [this] {
        drop(QStringLiteral("Xdebug n'a pas envoyé son paquet init : connexion fermée."));
    });
    connect(&m_replyTimer, &QTimer::timeout, this, [this] {
        drop(QStringLiteral("Xdebug ne répond plus : session de débogage terminée."));
    });
    connect(socket, &QTcpSocket::readyRead, this, &DbgpSession::readPackets);
    connect(socket, &QTcpSocket::disconnected, this, &DbgpSession::onDisconnected);
    m_initTimer.start();
    if (socket->state() != QAbstractSocket::ConnectedState)
        QMetaObject::invokeMethod(this, &DbgpSession::onDisconnected, Qt::QueuedConnection);
    else if (socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &DbgpSession::readPackets, Qt::QueuedConnection);
}

DbgpSession::~DbgpSession()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void DbgpSession::setInitTimeout(int ms)
{
    m_initTimer.setInterval(ms);
    if (m_initTimer.isActive())
        m_initTimer.start();
}

void DbgpSession::setInitLimit(qsizetype bytes)
{
    if (m_state != State::AwaitingInit)
        return;
    m_reader.setMaxPacket(bytes);
    // The length, its NUL and the closing NUL come on top of the packet.
    if (m_socket)
        m_socket->setReadBufferSize(bytes + 32);
}

quint16 DbgpSession::peerPort() const
{
    return m_socket ? m_socket->peerPort() : 0;
}

int DbgpSession::send(const QString &command, const QStringList &args, const Callback &callback,
                      const QByteArray &data)
{
    if (m_state != State::Paused)
        return -1;
    return write(command, args, data, callback, false);
}

bool DbgpSession::resume(const QString &command)
{
    if (m_state != State::Paused)
        return false;
    m_state = State::Running;
    write(command, {}, QByteArray(), [this](const Reply &r) { handleContinuation(r); }, true);
    return true;
}

void DbgpSession::stop()
{
    if (m_state == State::Ended || m_state == State::AwaitingInit) {
        if (m_state == State::AwaitingInit)
            drop(QString());
        return;
    }
    m_stopRequested = true;
    // The engine answers "stop" even while the script runs; whatever it says,
    // the session is over once it has (or once it stays silent too long).
    write(QStringLiteral("stop"), {}, QByteArray(), [this](const Reply &) { finish(QString()); }, false);
}

void DbgpSession::detach()
{
    if (m_state == State::Ended)
        return;
    if (m_state == State::AwaitingInit) {
        drop(QString());
        return;
    }
    m_stopRequested = true;
    write(QStringLiteral("detach"), {}, QByteArray(), {}, false);
    if (m_socket) {
        m_socket->flush();
        m_socket->disconnectFromHost(); // sends what is still buffered, then closes
    }
    finish(QString());
}

void DbgpSession::drop(const QString &reason)
{
    if (m_state == State::Ended)
        return;
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
    finish(reason);
}

int DbgpSession::write(const QString &command, const QStringList &args, const QByteArray &data,
                       const Callback &callback, bool continuation)
{
    const int id = m_nextId++;
    m_pending[id] = {callback, continuation};
    if (m_socket)
        m_socket->write(dbgpCommand(command, id, args, data));
    armReplyTimer();
    return id;
}

void DbgpSession::armReplyTimer()
{
    for (const auto &[id, pending] : m_pending) {
        if (!pending.continuation) {
            m_replyTimer.start(m_replyTimeoutMs);
            return;
        }
    }
    m_replyTimer.stop();
}

void DbgpSession::readPackets()
{
    if (!m_socket)
        return;
    const QByteArray bytes = m_socket->readAll();
    m_reader.append(bytes);
    // A long answer on its way is no silence: the time-out counts from the last bytes.
    if (!bytes.isEmpty() && m_replyTimer.isActive())
        m_replyTimer.start(m_replyTimeoutMs);
    QByteArray packet;
    while (m_state != State::Ended) {
        switch (m_reader.next(&packet)) {
        case DbgpPacketReader::Status::Packet:
            handlePacket(packet);
            break;
        case DbgpPacketReader::Status::NeedMore:
            return;
        case DbgpPacketReader::Status::Malformed:
            drop(QStringLiteral("Xdebug a envoyé un paquet illisible : session de débogage terminée."));
            return;
        case DbgpPacketReader::Status::TooLarge:
            drop(QStringLiteral("Xdebug a envoyé une réponse trop grande : session de débogage terminée."));
            return;
        }
    }
}

void DbgpSession::handlePacket(const QByteArray &xml)
{
    DbgpNode node;
    QString error;
    if (!parseDbgpXml(xml, &node, &error)) {
        drop(QStringLiteral("Réponse de Xdebug illisible (%1) : session de débogage terminée.").arg(error));
        return;
    }
    if (m_state == State::AwaitingInit) {
        if (node.name != QLatin1String("init")) {
            drop(QStringLiteral("Le débogueur n'a pas commencé par un paquet init : connexion fermée."));
            return;
        }
        m_initTimer.stop();
        m_reader.setMaxPacket(m_maxPacket);
        if (m_socket)
            m_socket->setReadBufferSize(0);
        m_init = std::move(node);
        m_state = State::Paused;
        Q_EMIT initialized();
        return;
    }
    if (node.name != QLatin1String("response"))
        return; // notifications and stream packets: not asked for, not used
    const int id = node.intAttribute(QStringLiteral("transaction_id"), -1);
    const auto it = m_pending.find(id);
    if (it == m_pending.end())
        return;
    Pending pending = std::move(it->second);
    m_pending.erase(it);
    armReplyTimer();
    Reply reply;
    reply.error = dbgpError(node);
    reply.ok = reply.error.isEmpty();
    reply.node = std::move(node);
    if (pending.callback)
        pending.callback(reply);
}

void DbgpSession::handleContinuation(const Reply &reply)
{
    const DbgpStop stop = dbgpStop(reply.node);
    if (stop.status == QLatin1String("stopped")) {
        finish(QString());
        return;
    }
    if (stop.status == QLatin1String("break") || (!reply.ok && stop.status != QLatin1String("stopping"))) {
        // A continuation the engine refused leaves the script where it was.
        m_state = State::Paused;
        Q_EMIT paused(stop);
        return;
    }
    // "stopping": the script has run to its end and the engine waits for a last word.
    m_state = State::Paused;
    m_stopRequested = true;
    write(QStringLiteral("stop"), {}, QByteArray(), [this](const Reply &) { finish(QString()); }, false);
}

void DbgpSession::onDisconnected()
{
    if (m_state == State::Ended)
        return;
    QString reason;
    if (m_reader.pending() > 0)
        reason = QStringLiteral("La connexion avec Xdebug a été coupée au milieu d'une réponse.");
    else if (m_state == State::AwaitingInit)
        reason = QStringLiteral("Le débogueur s'est déconnecté sans envoyer son paquet init.");
    else if (!m_stopRequested) {
        bool waitingOnAnswer = false;
        for (const auto &[id, pending] : m_pending)
            waitingOnAnswer = waitingOnAnswer || !pending.continuation;
        if (waitingOnAnswer)
            reason = QStringLiteral("La connexion avec Xdebug a été coupée avant sa réponse.");
    }
    finish(reason);
}

void DbgpSession::finish(const QString &reason)
{
    if (m_state == State::Ended)
        return;
    m_state = State::Ended;
    m_initTimer.stop();
    m_replyTimer.stop();
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->disconnectFromHost();
    std::map<int, Pending> pending;
    pending.swap(m_pending);
    Reply failed;
    failed.error = reason.isEmpty() ? QStringLiteral("La session de débogage est terminée.") : reason;
    for (auto &[id, p] : pending)
        if (p.callback && !p.continuation)
            p.callback(failed);
    Q_EMIT ended(reason);
}
