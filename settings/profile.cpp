#include "settings/profile.h"

#include "io/readfile.h"
#include "io/savefile.h"
#include "io/ansitext.h"
#include "base/integers.h"

#include <QFile>
#include <QFileInfo>

namespace {

const QByteArray kLineBreak = QByteArrayLiteral("\r\n");

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QStringView trimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

bool sameName(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

/** Whether `line` is a section header "[name]"; its name, blanks removed, goes to `name`. */
bool isHeader(QStringView line, QStringView *name = nullptr)
{
    if (line.startsWith(QChar(0xFEFF))) // a byte-order mark before the first header
        line = line.mid(1);
    line = trimBlanks(line);
    if (!line.startsWith(u'['))
        return false;
    if (name) {
        const qsizetype close = line.indexOf(u']');
        *name = trimBlanks(close < 0 ? line.mid(1) : line.mid(1, close - 1));
    }
    return true;
}

/** Position of the "=" of a "key=value" line, or -1 for a comment or a line without a key. */
qsizetype equalsSign(QStringView line)
{
    const QStringView trimmed = trimBlanks(line);
    if (trimmed.startsWith(u';'))
        return -1;
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0 || trimBlanks(line.left(eq)).isEmpty())
        return -1;
    return eq;
}

QString valueOf(QStringView line, qsizetype eq)
{
    QStringView value = trimBlanks(line.mid(eq + 1));
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'')
        && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    if (value.size() > ProfileFile::kMaxValueLength) {
        qsizetype cut = ProfileFile::kMaxValueLength;
        if (value[cut - 1].isHighSurrogate()) // never leave half a character
            --cut;
        value = value.left(cut);
    }
    return value.toString();
}

} // namespace

bool ProfileFile::load(const QString &path)
{
    m_lines.clear();
    const ReadResult read = readWholeFile(path, kMaxFileBytes);
    if (read.error == ReadError::Missing) // a dangling link too: writing will create its target
        return true;
    if (!read.ok())
        return false;
    setBytes(read.bytes);
    return true;
}

bool ProfileFile::save(const QString &path, mode_t newFileMode, QString *why) const
{
    return replaceFileAtomically(path, bytes(), newFileMode, why);
}

void ProfileFile::setBytes(const QByteArray &bytes)
{
    m_lines.clear();
    for (const RawLine &raw : splitRawLines(bytes))
        m_lines.append(Line{decodeLine(raw.text), raw.text, raw.lineBreak});
}

QByteArray ProfileFile::bytes() const
{
    QByteArray out;
    for (const Line &line : m_lines)
        out += line.raw + line.lineBreak;
    return out;
}

qsizetype ProfileFile::findSection(QStringView section, qsizetype from) const
{
    for (qsizetype i = from; i < m_lines.size(); ++i) {
        QStringView name;
        if (isHeader(m_lines[i].text, &name) && sameName(name, section))
            return i;
    }
    return -1;
}

qsizetype ProfileFile::sectionEnd(qsizetype header) const
{
    qsizetype i = header + 1;
    while (i < m_lines.size() && !isHeader(m_lines[i].text))
        ++i;
    return i;
}

qsizetype ProfileFile::findKey(QStringView section, QStringView key) const
{
    for (qsizetype header = findSection(section); header >= 0;
         header = findSection(section, header + 1)) {
        const qsizetype end = sectionEnd(header);
        for (qsizetype i = header + 1; i < end; ++i) {
            const QString &text = m_lines[i].text;
            const qsizetype eq = equalsSign(text);
            if (eq >= 0 && sameName(trimBlanks(QStringView(text).left(eq)), key))
                return i;
        }
    }
    return -1;
}

bool ProfileFile::contains(QStringView section, QStringView key) const
{
    return findKey(section, key) >= 0;
}

QString ProfileFile::readString(QStringView section, QStringView key, const QString &fallback) const
{
    const qsizetype i = findKey(section, key);
    if (i < 0)
        return fallback;
    const QString &text = m_lines[i].text;
    return valueOf(text, equalsSign(text));
}

std::optional<QString> ProfileFile::storedText(QStringView section, QStringView key) const
{
    const qsizetype i = findKey(section, key);
    if (i < 0)
        return std::nullopt;
    const QString &text = m_lines[i].text;
    return text.mid(equalsSign(text) + 1);
}

qint32 ProfileFile::readInteger(QStringView section, QStringView key, qint32 fallback) const
{
    const qsizetype i = findKey(section, key);
    if (i < 0)
        return fallback;
    const QString &text = m_lines[i].text;
    return toIntegerDef(valueOf(text, equalsSign(text)), fallback);
}

bool ProfileFile::readBool(QStringView section, QStringView key, bool fallback) const
{
    return readInteger(section, key, fallback ? 1 : 0) != 0;
}

void ProfileFile::insertLine(qsizetype at, const QString &text)
{
    // The line before the new one must end with a break of its own.
    if (at > 0 && m_lines[at - 1].lineBreak.isEmpty())
        m_lines[at - 1].lineBreak = kLineBreak;
    m_lines.insert(at, Line{text, text.toUtf8(), kLineBreak});
}

void ProfileFile::writeString(QStringView section, QStringView key, const QString &value)
{
    QString safe = value;
    safe.replace(u'\r', u' ').replace(u'\n', u' ');

    const qsizetype existing = findKey(section, key);
    if (existing >= 0) {
        Line &line = m_lines[existing];
        // The key keeps its spelling and place; only what follows "=" changes.
        line.text = line.text.left(equalsSign(line.text) + 1) + safe;
        line.raw = line.text.toUtf8();
        return;
    }
    const QString entry = key.toString() + u'=' + safe;
    const qsizetype header = findSection(section);
    if (header < 0) {
        insertLine(m_lines.size(), u'[' + section.toString() + u']');
        insertLine(m_lines.size(), entry);
        return;
    }
    qsizetype last = sectionEnd(header) - 1;
    while (last > header && trimBlanks(m_lines[last].text).isEmpty())
        --last;
    insertLine(last + 1, entry);
}

void ProfileFile::writeInteger(QStringView section, QStringView key, qint32 value)
{
    writeString(section, key, QString::number(value));
}

void ProfileFile::writeBool(QStringView section, QStringView key, bool value)
{
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void ProfileFile::keepOnly(QStringView section, const QStringList &keys)
{
    const qsizetype first = findSection(section);
    if (first < 0)
        return;
    for (qsizetype header = findSection(section, first + 1); header >= 0; header = findSection(section, header))
        m_lines.remove(header, sectionEnd(header) - header);
    QStringList seen;
    qsizetype i = first + 1;
    while (i < m_lines.size() && !isHeader(m_lines[i].text)) {
        const QString &text = m_lines[i].text;
        const qsizetype eq = equalsSign(text);
        const QStringView name = eq >= 0 ? trimBlanks(QStringView(text).left(eq)) : QStringView();
        if (eq >= 0 && keys.contains(name, Qt::CaseInsensitive) && !seen.contains(name, Qt::CaseInsensitive)) {
            seen.append(name.toString());
            ++i;
        } else {
            m_lines.remove(i);
        }
    }
}

void ProfileFile::eraseSection(QStringView section)
{
    for (qsizetype header = findSection(section); header >= 0; header = findSection(section, header))
        m_lines.remove(header, sectionEnd(header) - header);
}
