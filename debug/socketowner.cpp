#include "debug/socketowner.h"

#include <QFile>
#include <QList>
#include <QtEndian>

#include <pwd.h>
#include <sys/types.h>

namespace {

const QString kTcp = QStringLiteral("/proc/net/tcp");
const QString kTcp6 = QStringLiteral("/proc/net/tcp6");
constexpr char kListenState[] = "0A";

/** The fields of each line after the header: sl, local, remote, state, …, uid (7th). */
template<typename Visit>
void forEachSocket(const QByteArray &table, Visit visit)
{
    const QList<QByteArray> lines = table.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() <= 7)
            continue;
        bool ok = false;
        const int uid = fields.at(7).toInt(&ok);
        if (ok && visit(fields.at(1), fields.at(2), fields.at(3), uid))
            return;
    }
}

/** The port of a table address ("0100007F:1F4B" → 0x1F4B), -1 when unreadable. */
int tablePort(const QByteArray &address)
{
    const qsizetype colon = address.lastIndexOf(':');
    bool ok = false;
    const int port = colon < 0 ? -1 : address.mid(colon + 1).toInt(&ok, 16);
    return ok ? port : -1;
}

/** Whether a listener at this table address (the port left out) is reached by connecting to localhost. */
bool reachedFromLocalhost(const QByteArray &address)
{
    const QByteArray host = address.left(address.lastIndexOf(':'));
    if (host.size() == 8) // IPv4: the first byte is written last
        return host == "00000000" || host.endsWith("7F");
    return host == QByteArray(32, '0') || host == "00000000000000000000000001000000"
        || (host.startsWith("0000000000000000FFFF0000") && host.endsWith("7F"));
}

} // namespace

SocketTableReader kernelSocketTables()
{
    return [](const QString &path) {
        QFile file(path);
        // /proc files have no size: read until the end.
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
}

QByteArray socketTableAddress(const QHostAddress &address, quint16 port)
{
    QByteArray host;
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4 && address.protocol() == QAbstractSocket::IPv4Protocol) {
        // The kernel prints the address's four bytes as one native (little-endian) word.
        host = QByteArray::number(qbswap(v4), 16).toUpper().rightJustified(8, '0');
    } else {
        const Q_IPV6ADDR v6 = address.toIPv6Address();
        for (int word = 0; word < 4; ++word)
            for (int byte = 3; byte >= 0; --byte)
                host += QByteArray::number(v6[word * 4 + byte], 16).toUpper().rightJustified(2, '0');
    }
    return host + ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
}

int connectedSocketOwner(const QByteArray &table, const QHostAddress &localAddress, quint16 localPort,
                         const QHostAddress &remoteAddress, quint16 remotePort)
{
    const QByteArray local = socketTableAddress(localAddress, localPort);
    const QByteArray remote = socketTableAddress(remoteAddress, remotePort);
    int owner = -1;
    forEachSocket(table, [&](const QByteArray &l, const QByteArray &r, const QByteArray &state, int uid) {
        if (l != local || r != remote || state == kListenState)
            return false;
        owner = uid;
        return true;
    });
    return owner;
}

int peerOwner(const SocketTableReader &read, const QHostAddress &peerAddress, quint16 peerPort,
              const QHostAddress &ourAddress, quint16 ourPort)
{
    bool isV4 = false;
    const quint32 peer4 = peerAddress.toIPv4Address(&isV4);
    const quint32 ours4 = ourAddress.toIPv4Address();
    if (isV4) {
        // An IPv4 peer is in the IPv4 table, or in the IPv6 one when it reached a dual socket.
        const int owner = connectedSocketOwner(read(kTcp), QHostAddress(peer4), peerPort, QHostAddress(ours4), ourPort);
        if (owner >= 0)
            return owner;
    }
    return connectedSocketOwner(read(kTcp6), QHostAddress(peerAddress.toIPv6Address()), peerPort,
                                QHostAddress(ourAddress.toIPv6Address()), ourPort);
}

int listeningPortOwner(const SocketTableReader &read, quint16 port)
{
    int owner = -1;
    for (const QString &path : {kTcp, kTcp6}) {
        forEachSocket(read(path), [&](const QByteArray &l, const QByteArray &, const QByteArray &state, int uid) {
            if (state != kListenState || tablePort(l) != port || !reachedFromLocalhost(l))
                return false;
            owner = uid;
            return true;
        });
        if (owner >= 0)
            return owner;
    }
    return owner;
}

QString accountName(int uid)
{
    if (const passwd *account = ::getpwuid(uid_t(uid)))
        return QString::fromLocal8Bit(account->pw_name);
    return QString::number(uid);
}

int accountId(const QString &name)
{
    const passwd *account = ::getpwnam(name.toLocal8Bit().constData());
    return account ? int(account->pw_uid) : -1;
}
