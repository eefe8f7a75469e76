#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

#include <sys/types.h>

/**
 * A settings file in the INI format, read and written the way the Windows
 * profile functions do it, but in memory: the file is read once, any number of
 * reads and writes are applied to the copy in memory, and `save` replaces the
 * file once, atomically.
 *
 * - "[name]" opens a section; "key=value" lines belong to the section above them.
 *   Section and key names are compared without regard to letter case.
 * - A value is the text after the key's first "=", blanks (spaces, tabs) removed
 *   at both ends, then one pair of enclosing double or single quotes removed,
 *   cut to its first 2047 characters. A key that is present with an empty value
 *   reads as empty text, not as the default.
 * - Writing replaces an existing key's line in place, or adds "key=value" after
 *   the last non-blank line of the section; a missing section is added at the end.
 * - Every line the program does not change (unknown keys and sections, comments,
 *   blank lines) is written back byte for byte, its line break included.
 *
 * Lines are decoded as UTF-8, or as Windows-1252 when not valid UTF-8; changed
 * and new lines are written in UTF-8 with CR LF line breaks.
 */
class ProfileFile
{
public:
    /** Longest value a read returns, in characters. */
    static constexpr qsizetype kMaxValueLength = 2047;

    ProfileFile() = default;
    explicit ProfileFile(const QByteArray &bytes) { setBytes(bytes); }

    /**
     * Reads the file at `path`. A missing file gives an empty profile and true;
     * a path that exists but cannot be read (a folder, no permission) gives an
     * empty profile and false.
     */
    bool load(const QString &path);
    /** Replaces the file at `path` atomically; a new file gets `newFileMode` (less the umask). */
    bool save(const QString &path, mode_t newFileMode = 0600, QString *why = nullptr) const;

    void setBytes(const QByteArray &bytes);
    QByteArray bytes() const;

    /** Whether `key` is present in `section` (with any value, the empty one included). */
    bool contains(QStringView section, QStringView key) const;
    QString readString(QStringView section, QStringView key, const QString &fallback = QString()) const;
    /**
     * The text after the key's "=" exactly as stored: nothing trimmed, no quotes
     * removed, never cut; nothing when the key is missing. Written back with
     * writeString, it gives the same value.
     */
    std::optional<QString> storedText(QStringView section, QStringView key) const;
    /** The value read by toInteger; `fallback` when missing or not an integer. */
    qint32 readInteger(QStringView section, QStringView key, qint32 fallback) const;
    /** An integer read with default 1 or 0; any non-zero value is true. */
    bool readBool(QStringView section, QStringView key, bool fallback) const;

    /**
     * Sets `key` in `section` to `value`. A CR or LF in the value would end the
     * line and let the rest pass for another key, so each is written as a space.
     */
    void writeString(QStringView section, QStringView key, const QString &value);
    void writeInteger(QStringView section, QStringView key, qint32 value);
    void writeBool(QStringView section, QStringView key, bool value);
    /**
     * Leaves the first section named `section` holding only the first line of each
     * of `keys`, in place: every other line of it goes, and so do the later
     * sections of that name. Nothing happens when there is no such section.
     */
    void keepOnly(QStringView section, const QStringList &keys);
    /** Removes every section named `section`: its header and all lines up to the next header. */
    void eraseSection(QStringView section);

private:
    struct Line
    {
        QString text;         // decoded, without its line break
        QByteArray raw;       // the bytes of the line as read, without the break
        QByteArray lineBreak; // as read; empty for a last line without one
    };

    qsizetype findKey(QStringView section, QStringView key) const;
    qsizetype findSection(QStringView section, qsizetype from = 0) const;
    qsizetype sectionEnd(qsizetype header) const;
    void insertLine(qsizetype at, const QString &text);

    QList<Line> m_lines;
};
