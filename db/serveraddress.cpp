#include "db/serveraddress.h"

#include <algorithm>

namespace {

ServerAddress failed(const QString &why)
{
    ServerAddress address;
    address.error = why;
    return address;
}

/** `name` with the port typed after its ":". */
ServerAddress withPort(const QString &name, const QString &port, const QString &typed)
{
    bool ok = false;
    const uint number = port.toUInt(&ok, 10);
    const bool digitsOnly = !port.isEmpty() && std::all_of(port.begin(), port.end(), [](QChar c) {
        return c >= u'0' && c <= u'9';
    });
    if (!ok || !digitsOnly || number < 1 || number > 65535)
        return failed(QStringLiteral("Host « %1 » : le port doit être un nombre de 1 à 65535.").arg(typed));
    ServerAddress address;
    address.host = name;
    address.port = number;
    address.tcp = true;
    return address;
}

} // namespace

ServerAddress serverAddress(const QString &hostText)
{
    if (hostText.startsWith(u'/')) {
        ServerAddress address;
        address.host = QStringLiteral("localhost"); // the library takes the socket for this host only
        address.socket = hostText;
        return address;
    }
    if (hostText.startsWith(u'[')) { // an IPv6 address, with a port or not
        const qsizetype close = hostText.indexOf(u']');
        if (close < 0)
            return failed(QStringLiteral("Host « %1 » : il manque le « ] » après l'adresse IPv6.").arg(hostText));
        const QString address = hostText.mid(1, close - 1);
        const QString rest = hostText.mid(close + 1);
        if (rest.isEmpty()) {
            ServerAddress plain;
            plain.host = address;
            return plain;
        }
        if (!rest.startsWith(u':'))
            return failed(QStringLiteral("Host « %1 » : après « ] » ne peut venir que « :port ».").arg(hostText));
        return withPort(address, rest.mid(1), hostText);
    }
    if (hostText.count(u':') == 1) {
        const qsizetype colon = hostText.indexOf(u':');
        return withPort(hostText.left(colon), hostText.mid(colon + 1), hostText);
    }
    ServerAddress address; // a name, an IPv4 address, a bare IPv6 address ("::1") or nothing
    address.host = hostText;
    return address;
}
