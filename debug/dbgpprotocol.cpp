#include "debug/dbgpprotocol.h"

#include <QUrl>
#include <QXmlStreamReader>

namespace {

// A packet's length prefix is a decimal number of at most this many digits.
constexpr int kMaxLengthDigits = 12;
// Nesting deeper than this is refused: the reader recurses once per level.
constexpr int kMaxDepth = 256;

bool readElement(QXmlStreamReader &xml, DbgpNode *node, int depth)
{
    node->name = xml.name().toString();
    for (const QXmlStreamAttribute &a : xml.attributes())
        node->attributes.insert(a.name().toString(), a.value().toString());
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            if (depth >= kMaxDepth)
                return false;
            node->children.emplace_back();
            if (!readElement(xml, &node->children.back(), depth + 1))
                return false;
            break;
        case QXmlStreamReader::Characters:
            node->text += xml.text();
            break;
        case QXmlStreamReader::EndElement:
            return true;
        default:
            break;
        }
    }
    return false;
}

QString quoted(const QString &arg)
{
    if (!arg.isEmpty() && !arg.contains(QLatin1Char(' ')) && !arg.contains(QLatin1Char('"'))
        && !arg.contains(QLatin1Char('\\')) && !arg.contains(QLatin1Char('\0')))
        return arg;
    QString out = QStringLiteral("\"");
    for (const QChar c : arg) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        if (c != QLatin1Char('\0'))
            out += c;
    }
    return out + QLatin1Char('"');
}

} // namespace

int DbgpNode::intAttribute(const QString &key, int fallback) const
{
    bool ok = false;
    const int value = attributes.value(key).toInt(&ok);
    return ok ? value : fallback;
}

const DbgpNode *DbgpNode::child(const QString &childName) const
{
    for (const DbgpNode &c : children)
        if (c.name == childName)
            return &c;
    return nullptr;
}

QString DbgpNode::decodedText() const
{
    if (attribute(QStringLiteral("encoding")) == QLatin1String("base64"))
        return QString::fromUtf8(QByteArray::fromBase64(text.toLatin1()));
    return text;
}

bool parseDbgpXml(const QByteArray &xml, DbgpNode *root, QString *error)
{
    *root = DbgpNode();
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement) {
            if (!readElement(reader, root, 0)) {
                *error = reader.hasError() ? QStringLiteral("XML mal formé : %1").arg(reader.errorString())
                                           : QStringLiteral("XML mal formé ou trop imbriqué");
                return false;
            }
            // Anything after the root element must be well-formed too.
            while (!reader.atEnd() && reader.readNext() != QXmlStreamReader::Invalid) {
            }
            if (reader.hasError() && reader.error() != QXmlStreamReader::PrematureEndOfDocumentError) {
                *error = QStringLiteral("XML mal formé : %1").arg(reader.errorString());
                return false;
            }
            return true;
        }
    }
    *error = reader.hasError() ? QStringLiteral("XML mal formé : %1").arg(reader.errorString())
                               : QStringLiteral("Paquet sans élément XML");
    return false;
}

DbgpPacketReader::Status DbgpPacketReader::next(QByteArray *packet)
{
    if (m_broken != Status::NeedMore)
        return m_broken;
    const qsizetype nul = m_buffer.indexOf('\0', m_start);
    if (nul < 0) {
        if (pending() > kMaxLengthDigits)
            return m_broken = Status::Malformed;
        return Status::NeedMore;
    }
    const QByteArray digits = m_buffer.mid(m_start, nul - m_start);
    bool ok = !digits.isEmpty() && digits.size() <= kMaxLengthDigits;
    for (const char c : digits)
        ok = ok && c >= '0' && c <= '9';
    const qint64 length = ok ? digits.toLongLong(&ok) : 0;
    if (!ok)
        return m_broken = Status::Malformed;
    if (length > m_maxPacket)
        return m_broken = Status::TooLarge;
    const qsizetype body = nul + 1;
    if (m_buffer.size() < body + length + 1)
        return Status::NeedMore;
    if (m_buffer.at(body + length) != '\0')
        return m_broken = Status::Malformed;
    *packet = m_buffer.mid(body, length);
    m_start = body + length + 1;
    // Drop what was read once it is most of the buffer, so a long session does not grow it.
    if (m_start > 65536 && m_start * 2 > m_buffer.size()) {
        m_buffer.remove(0, m_start);
        m_start = 0;
    }
    return Status::Packet;
}

QByteArray dbgpCommand(const QString &name, int transactionId, const QStringList &args, const QByteArray &data)
{
    QString line = name + QStringLiteral(" -i ") + QString::number(transactionId);
    for (const QString &arg : args)
        line += QLatin1Char(' ') + quoted(arg);
    QByteArray bytes = line.toUtf8();
    if (!data.isNull())
        bytes += " -- " + data.toBase64();
    bytes += '\0';
    return bytes;
}

QString dbgpLocalPath(const QString &fileUri)
{
    const QUrl url(fileUri);
    if (url.isLocalFile())
        return url.toLocalFile();
    return fileUri.startsWith(QLatin1Char('/')) ? fileUri : QString();
}

QString dbgpFileUri(const QString &localPath)
{
    return QString::fromUtf8(QUrl::fromLocalFile(localPath).toEncoded());
}

DbgpProperty dbgpProperty(const DbgpNode &node)
{
    DbgpProperty p;
    p.name = node.attribute(QStringLiteral("name"));
    p.fullName = node.attribute(QStringLiteral("fullname"));
    p.type = node.attribute(QStringLiteral("type"));
    p.className = node.attribute(QStringLiteral("classname"));
    p.hasChildren = node.attribute(QStringLiteral("children")) == QLatin1String("1");
    p.childCount = node.intAttribute(QStringLiteral("numchildren"));
    p.page = node.intAttribute(QStringLiteral("page"));
    p.pageSize = node.intAttribute(QStringLiteral("pagesize"));
    bool ok = false;
    const qint64 size = node.attribute(QStringLiteral("size")).toLongLong(&ok);
    p.size = ok ? size : -1;
    // Xdebug sends a property's name and value either as attributes or as child
    // elements (<name>, <fullname>, <value>) when it was asked to.
    if (const DbgpNode *n = node.child(QStringLiteral("name")))
        p.name = n->decodedText();
    if (const DbgpNode *n = node.child(QStringLiteral("fullname")))
        p.fullName = n->decodedText();
    if (const DbgpNode *v = node.child(QStringLiteral("value")))
        p.value = v->decodedText();
    else if (!p.hasChildren)
        p.value = node.decodedText();
    for (const DbgpNode &c : node.children)
        if (c.name == QLatin1String("property"))
            p.children.push_back(dbgpProperty(c));
    return p;
}

std::vector<DbgpProperty> dbgpProperties(const DbgpNode &response)
{
    std::vector<DbgpProperty> out;
    for (const DbgpNode &c : response.children)
        if (c.name == QLatin1String("property"))
            out.push_back(dbgpProperty(c));
    return out;
}

std::vector<DbgpFrame> dbgpStack(const DbgpNode &response)
{
    std::vector<DbgpFrame> out;
    for (const DbgpNode &c : response.children) {
        if (c.name != QLatin1String("stack"))
            continue;
        DbgpFrame f;
        f.level = c.intAttribute(QStringLiteral("level"), int(out.size()));
        f.file = dbgpLocalPath(c.attribute(QStringLiteral("filename")));
        f.line = c.intAttribute(QStringLiteral("lineno"));
        f.where = c.attribute(QStringLiteral("where"));
        out.push_back(f);
    }
    return out;
}

std::vector<DbgpContext> dbgpContexts(const DbgpNode &response)
{
    std::vector<DbgpContext> out;
    for (const DbgpNode &c : response.children)
        if (c.name == QLatin1String("context"))
            out.push_back({c.attribute(QStringLiteral("name")), c.intAttribute(QStringLiteral("id"))});
    return out;
}

DbgpStop dbgpStop(const DbgpNode &response)
{
    DbgpStop s;
    s.status = response.attribute(QStringLiteral("status"));
    if (const DbgpNode *m = response.child(QStringLiteral("message"))) {
        s.file = dbgpLocalPath(m->attribute(QStringLiteral("filename")));
        s.line = m->intAttribute(QStringLiteral("lineno"));
        s.exception = m->attribute(QStringLiteral("exception"));
        s.message = m->decodedText();
    }
    return s;
}

QString dbgpError(const DbgpNode &response)
{
    const DbgpNode *e = response.child(QStringLiteral("error"));
    if (!e)
        return {};
    const DbgpNode *m = e->child(QStringLiteral("message"));
    const QString text = m ? m->decodedText().trimmed() : QString();
    return text.isEmpty() ? QStringLiteral("erreur %1").arg(e->attribute(QStringLiteral("code"))) : text;
}
