#include "app/instance.h"

#include "app/handover.h"

#include <QFile>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QTimer>
#include <QVariant>

#include <algorithm>
#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int kLockWaitMs = 10000;
constexpr int kBacklog = 16;

/** Whether `path` is a socket file of this user (not a file or link someone put there). */
bool isOwnSocket(const QByteArray &path, struct stat *info = nullptr)
{
    struct stat st{};
    if (::lstat(path.constData(), &st) != 0 || !S_ISSOCK(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    if (info)
        *info = st;
    return true;
}

/** The user id of the process at the other end of `fd`; -1 when unknown. */
long peerUid(int fd)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return -1;
    return long(credentials.uid);
}

} // namespace

InstanceServer::InstanceServer(const QString &socketPath, QObject *parent)
    : QObject(parent)
    , m_path(socketPath)
{
}

InstanceServer::~InstanceServer()
{
    for (QLocalSocket *socket : std::as_const(m_clients))
        socket->disconnect(this);
    if (m_fd < 0)
        return;
    delete m_notifier;
    ::close(m_fd);
    // Only the file this object made: another window may have put its own there since.
    const QByteArray native = QFile::encodeName(m_path);
    struct stat st{};
    if (isOwnSocket(native, &st) && st.st_dev == m_device && st.st_ino == m_inode)
        ::unlink(native.constData());
}

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
    const QByteArray native = QFile::encodeName(m_path);
    sockaddr_un address{};
    if (m_fd >= 0 || native.isEmpty() || native.size() >= qsizetype(sizeof address.sun_path) || windowListens(m_path)) {
        m_lock.reset();
        return;
    }
    // A socket of ours that nothing listens on was left by a window that ended
    // abruptly; anything else in the way (a file, a link) stays, and we do not serve.
    if (isOwnSocket(native))
        ::unlink(native.constData());
    address.sun_family = AF_UNIX;
    std::copy(native.cbegin(), native.cend(), address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    struct stat st{};
    if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
        && ::chmod(native.constData(), 0600) == 0 && ::listen(fd, kBacklog) == 0 && isOwnSocket(native, &st)) {
        m_fd = fd;
        m_device = st.st_dev;
        m_inode = st.st_ino;
        m_notifier = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &InstanceServer::accept);
    } else if (fd >= 0) {
        ::close(fd);
    }
    m_lock.reset();
}

void InstanceServer::deliver()
{
    QTimer::singleShot(0, this, [this] {
        m_delivering = true;
        const QList<QStringList> waiting = std::exchange(m_waiting, {});
        for (const QStringList &files : waiting)
            Q_EMIT filesHandedOver(files);
    });
}

void InstanceServer::accept()
{
    for (;;) {
        const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return; // EAGAIN: none left; EMFILE and the like: the next ones wait in the backlog
        }
        if (peerUid(fd) != long(::geteuid())) {
            ::close(fd);
            continue;
        }
        if (m_clients.size() >= kMaxClients)
            drop(m_clients.first()); // a flood pushes out its own oldest, never a quick sender
        auto *socket = new QLocalSocket(this);
        if (!socket->setSocketDescriptor(qintptr(fd))) {
            ::close(fd);
            delete socket;
            continue;
        }
        m_clients.append(socket);
        QTimer::singleShot(kMessageMs, socket, [this, socket] { drop(socket); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { receive(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { drop(socket); });
        receive(socket);
    }
}

void InstanceServer::drop(QLocalSocket *socket)
{
    if (!m_clients.removeOne(socket))
        return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void InstanceServer::receive(QLocalSocket *socket)
{
    QByteArray received = socket->property("received").toByteArray() + socket->readAll();
    socket->setProperty("received", received);
    const ReceivedHandOver message = readHandOverMessage(received);
    if (message.state == ReceivedHandOver::Incomplete)
        return;
    if (message.state == ReceivedHandOver::Complete) {
        socket->write(kHandOverAnswer);
        socket->flush();
    }
    m_clients.removeOne(socket);
    socket->disconnect(this);
    socket->disconnectFromServer();
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (socket->state() == QLocalSocket::UnconnectedState)
        socket->deleteLater();
    if (message.state == ReceivedHandOver::Complete)
        handOver(message.files);
}

void InstanceServer::handOver(const QStringList &files)
{
    if (m_delivering)
        Q_EMIT filesHandedOver(files);
    else
        m_waiting.append(files);
}
