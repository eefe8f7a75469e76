// The settings file: any bytes read as a profile, then one key written.
// - Reading gives back every byte (bytes() is what a save writes).
// - Reading any key of any section does not crash and gives at most 2047 characters.
// - After a write, the key reads as the value written (line breaks made spaces,
//   blanks and one pair of quotes removed, cut to 2047), in memory and after the
//   bytes are read again.
// - A write keeps every line it does not own, byte for byte and in order: an
//   existing key changes its own line only; a new key adds at most a section
//   header and its line (and a break after a last line that had none).
#include "fuzzinput.h"
#include "io/ansitext.h"
#include "settings/profile.h"

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QString trimmedBlanks(QString s)
{
    while (!s.isEmpty() && isBlank(s.front()))
        s.remove(0, 1);
    while (!s.isEmpty() && isBlank(s.back()))
        s.chop(1);
    return s;
}

/** What a read gives back for a written value. */
QString expectedValue(const QString &written)
{
    QString v = written;
    v.replace(u'\r', u' ').replace(u'\n', u' ');
    v = trimmedBlanks(v);
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    if (v.size() > ProfileFile::kMaxValueLength) {
        qsizetype cut = ProfileFile::kMaxValueLength;
        if (v[cut - 1].isHighSurrogate())
            --cut;
        v.truncate(cut);
    }
    return v;
}

/** A name the program could use: no line break, no blanks at its ends, not empty. */
QString nameFrom(const QByteArray &bytes, bool section)
{
    QString name = QString::fromUtf8(bytes);
    name.remove(u'\r').remove(u'\n').remove(QChar(0xFEFF));
    if (section) {
        name.remove(u']');
    } else {
        name.remove(u'=');
        while (!name.isEmpty() && (name.front() == u'[' || name.front() == u';' || isBlank(name.front())))
            name.remove(0, 1);
    }
    name = trimmedBlanks(name);
    return name.isEmpty() ? QStringLiteral("K") : name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const QString section = nameFrom(in.chunk(24), true);
    const QString key = nameFrom(in.chunk(24), false);
    const uint8_t valueMode = in.byte();
    QString value = QString::fromUtf8(in.chunk());
    if (valueMode & 1) // long values, across the 2047 limit
        value = value.repeated(1 + (valueMode >> 1) % 40);
    const QByteArray file = in.rest();

    ProfileFile ini(file);
    FUZZ_CHECK(ini.bytes() == file, "reading and writing back changed the bytes");
    FUZZ_CHECK(ini.readString(section, key, QStringLiteral("?")).size() <= ProfileFile::kMaxValueLength,
               "a value longer than 2047");
    (void)ini.readInteger(section, key, 7);

    const bool existed = ini.contains(section, key);
    ini.writeString(section, key, value);
    const QString want = expectedValue(value);
    FUZZ_CHECK(ini.readString(section, key, QStringLiteral("<missing>")) == want, "the written value does not read back");
    const QByteArray saved = ini.bytes();
    FUZZ_CHECK(ProfileFile(saved).readString(section, key, QStringLiteral("<missing>")) == want,
               "the written value does not read back from the saved bytes");

    const QList<RawLine> before = splitRawLines(file);
    const QList<RawLine> after = splitRawLines(saved);
    if (existed) {
        FUZZ_CHECK(after.size() == before.size(), "rewriting a key changed the line count");
        int changed = 0;
        for (qsizetype i = 0; i < before.size(); ++i) {
            FUZZ_CHECK(after[i].lineBreak == before[i].lineBreak, "rewriting a key changed a line break");
            changed += after[i].text != before[i].text;
        }
        FUZZ_CHECK(changed <= 1, "rewriting a key changed another line");
    } else {
        FUZZ_CHECK(after.size() == before.size() + 1 || after.size() == before.size() + 2,
                   "a new key added other lines than its own and its section's");
        qsizetype j = 0;
        for (qsizetype i = 0; i < before.size(); ++i) {
            while (j < after.size() && after[j].text != before[i].text)
                ++j;
            FUZZ_CHECK(j < after.size(), "a line the write does not own was lost");
            const bool lastWithoutBreak = i == before.size() - 1 && before[i].lineBreak.isEmpty();
            FUZZ_CHECK(after[j].lineBreak == before[i].lineBreak || lastWithoutBreak,
                       "a line break the write does not own changed");
            ++j;
        }
    }
    return 0;
}
