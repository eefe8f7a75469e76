#include "base/ports.h"

#include <QFile>
#include <QRandomGenerator>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kLowestPort = 10000;

/** The first port of the kernel's ephemeral range; 32768 when it cannot be read. */
int ephemeralStart()
{
    QFile range(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    if (range.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const int first = range.readLine().simplified().split(' ').value(0).toInt(&ok);
        if (ok && first > kLowestPort + 100)
            return first;
    }
    return 32768;
}

bool canBind(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

} // namespace

int pickLoopbackPort()
{
    const int end = ephemeralStart();
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int port = int(QRandomGenerator::global()->bounded(kLowestPort, end));
        if (canBind(port))
            return port;
    }
    return 0;
}
