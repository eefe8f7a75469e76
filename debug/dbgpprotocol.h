#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

// The DBGp protocol as Xdebug speaks it: the engine sends "LENGTH\0<xml>\0"
// packets, the client sends one-line commands ending in "\0". Nothing here
// touches a socket; the session (debug/dbgpsession.h) does.

/**
 * One element of an engine's answer: its local name (no namespace prefix), its
 * attributes by local name, its text (CDATA included, still base64 when the
 * element says encoding="base64") and its child elements in order.
 */
struct DbgpNode
{
    QString name;
    QHash<QString, QString> attributes;
    QString text;
    std::vector<DbgpNode> children;

    QString attribute(const QString &key) const { return attributes.value(key); }
    int intAttribute(const QString &key, int fallback = 0) const;
    /** The first child element named `childName`; nullptr when there is none. */
    const DbgpNode *child(const QString &childName) const;
    /** The text, base64-decoded when the element says so, read as UTF-8. */
    QString decodedText() const;
};

/** Parses one packet's XML. False, with `error` in French, when it is not well-formed. */
bool parseDbgpXml(const QByteArray &xml, DbgpNode *root, QString *error);

/**
 * Cuts the byte stream of an engine into packets. A packet whose declared
 * length is over `maxPacket`, or a length that is not a number, makes the
 * stream unusable: next() answers Malformed or TooLarge from then on.
 */
class DbgpPacketReader
{
public:
    static constexpr qsizetype kDefaultMaxPacket = 64 * 1024 * 1024;
    enum class Status { Packet, NeedMore, Malformed, TooLarge };

    explicit DbgpPacketReader(qsizetype maxPacket = kDefaultMaxPacket) : m_maxPacket(maxPacket) {}
    void append(const QByteArray &bytes) { m_buffer += bytes; }
    /** A new limit for the packets not yet returned. */
    void setMaxPacket(qsizetype maxPacket) { m_maxPacket = maxPacket; }
    /** The next whole packet's XML into `packet`, or why there is none yet. */
    Status next(QByteArray *packet);
    /** Bytes received but not yet returned as a packet. */
    qsizetype pending() const { return m_buffer.size() - m_start; }

private:
    QByteArray m_buffer;
    qsizetype m_start = 0;
    qsizetype m_maxPacket;
    Status m_broken = Status::NeedMore;
};

/**
 * One command line: `name -i ID args… [-- base64(data)]` followed by "\0".
 * Arguments holding spaces, quotes or backslashes are quoted as DBGp wants.
 */
QByteArray dbgpCommand(const QString &name, int transactionId, const QStringList &args,
                       const QByteArray &data = {});

/** The local path of a "file://" URI Xdebug reports ("file:///w/a%20b.php" → "/w/a b.php"). */
QString dbgpLocalPath(const QString &fileUri);
/** The "file://" URI Xdebug uses for a local path. */
QString dbgpFileUri(const QString &localPath);

/** A variable, array element or object member as the engine describes it. */
struct DbgpProperty
{
    QString name;     // "$count", "0", "title"
    QString fullName; // what property_get takes: "$order['lines'][0]"
    QString type;     // "int", "string", "array", "object", "null", "bool", "float", "uninitialized"…
    QString className;
    QString value;    // shortened by the engine's max_data for long strings
    qint64 size = -1; // a string's whole length in bytes; -1 when not told
    bool hasChildren = false;
    int childCount = 0;
    int page = 0;
    int pageSize = 0;
    std::vector<DbgpProperty> children;

    /** Whether the engine sent less of the value than there is. */
    bool isShortened() const { return size >= 0 && value.toUtf8().size() < size; }
};
DbgpProperty dbgpProperty(const DbgpNode &node);
/** The <property> children of a context_get, property_get or eval answer. */
std::vector<DbgpProperty> dbgpProperties(const DbgpNode &response);

/** One frame of the call stack, 0 the innermost. */
struct DbgpFrame
{
    int level = 0;
    QString file; // a local path
    int line = 0; // 1-based
    QString where; // "{main}", "Cart->total", "require"
};
std::vector<DbgpFrame> dbgpStack(const DbgpNode &response);

/** A context a frame offers: "Locals" 0, "Superglobals" 1, "User defined constants" 2. */
struct DbgpContext
{
    QString name;
    int id = 0;
};
std::vector<DbgpContext> dbgpContexts(const DbgpNode &response);

/** Where and why the engine stopped, from a continuation command's answer. */
struct DbgpStop
{
    QString status; // "break", "stopping", "stopped", "running"
    QString file;   // local path, empty when the answer names none
    int line = 0;
    QString exception; // "Warning", "Exception"… for an error or exception breakpoint
    QString message;
};
DbgpStop dbgpStop(const DbgpNode &response);

/** The engine's error in an answer (<error code="…"><message>…</message></error>); empty when none. */
QString dbgpError(const DbgpNode &response);
