#include "app/handover.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QByteArray kHeader = QByteArrayLiteral("ondrel-ouvrir");
constexpr qsizetype kMaxMessage = 1 << 20;

/** A socket file descriptor closed when it goes out of scope. */
struct Socket
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ~Socket()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

bool sendAll(int fd, const QByteArray &bytes)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

bool connectTo(const Socket &socket, const QString &socketPath)
{
    const QByteArray native = QFile::encodeName(socketPath);
    sockaddr_un address{};
    if (socket.fd < 0 || native.isEmpty() || native.size() >= qsizetype(sizeof address.sun_path))
        return false;
    address.sun_family = AF_UNIX;
    std::copy(native.cbegin(), native.cend(), address.sun_path);
    return ::connect(socket.fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
}

} // namespace

QString instanceSocketPath(const QString &runtimeFolder, const QString &sideFileBase)
{
    if (runtimeFolder.isEmpty())
        return {};
    const QByteArray hash = QCryptographicHash::hash(sideFileBase.toUtf8(), QCryptographicHash::Sha256).toHex();
    const QString path = QDir(runtimeFolder).filePath(QStringLiteral("ondrel-%1.sock").arg(QLatin1String(hash.left(16))));
    if (QFile::encodeName(path).size() >= qsizetype(sizeof(sockaddr_un::sun_path)))
        return {};
    return path;
}

QByteArray handOverMessage(const QStringList &files)
{
    QByteArray message = kHeader + '\0';
    for (const QString &file : files) {
        if (!file.isEmpty())
            message += QFile::encodeName(file) + '\0';
    }
    return message + '\0';
}

ReceivedHandOver readHandOverMessage(const QByteArray &received)
{
    ReceivedHandOver result;
    const qsizetype headerEnd = received.indexOf('\0');
    if (received.size() > kMaxMessage
        || (headerEnd < 0 ? !kHeader.startsWith(received) : received.first(headerEnd) != kHeader)) {
        result.state = ReceivedHandOver::Invalid;
        return result;
    }
    if (headerEnd < 0)
        return result;
    qsizetype at = headerEnd + 1;
    for (;;) {
        const qsizetype end = received.indexOf('\0', at);
        if (end < 0) {
            result.files.clear();
            return result; // the rest has not arrived yet
        }
        if (end == at) {
            result.state = ReceivedHandOver::Complete;
            return result;
        }
        result.files << QFile::decodeName(received.mid(at, end - at));
        at = end + 1;
    }
}


std::optional<int> handOverExitStatus(const QString &socketPath, const QStringList &files, int answerMs,
                                      void (*print)(const QString &message))
{
    switch (handOverToWindow(socketPath, files, answerMs)) {
    case HandOver::HandedOver:
        return 0;
    case HandOver::NoAnswer:
        print(noAnswerMessage());
        return 1;
    case HandOver::NoWindow:
        break;
    }
    return std::nullopt;
}

QString noAnswerMessage()
{
    return QStringLiteral("la fenêtre d'Ondrel déjà ouverte ne répond pas ; "
                          "« ondrel --nouvelle-instance » en ouvre une autre.");
}

bool windowListens(const QString &socketPath)
{
    return connectTo(Socket(), socketPath);
}

HandOver handOverToWindow(const QString &socketPath, const QStringList &files, int answerMs)
{
    Socket socket;
    if (!connectTo(socket, socketPath))
        return HandOver::NoWindow; // no socket file, or one left by a window that is gone
    if (!sendAll(socket.fd, handOverMessage(files)))
        return HandOver::NoWindow;

    QByteArray answer;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = answerMs - clock.elapsed();
        if (left <= 0)
            return HandOver::NoAnswer;
        pollfd wait{socket.fd, POLLIN, 0};
        const int ready = ::poll(&wait, 1, int(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return HandOver::NoAnswer;
        char buffer[16];
        const ssize_t n = ::read(socket.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) // closed without answering: that window is going away
            return HandOver::NoWindow;
        answer.append(buffer, n);
        if (answer.startsWith(kHandOverAnswer))
            return HandOver::HandedOver;
        if (answer.size() >= qsizetype(sizeof kHandOverAnswer))
            return HandOver::NoWindow;
    }
}
