// The editor's load and save of a file's bytes, which must lose nothing:
// - loading makes every CR LF, lone CR and lone LF a CR LF and changes no other byte;
// - the style kept is that of the file's first line break;
// - saving restores that style: the saved bytes equal the file's, line breaks aside,
//   and exactly when every break of the file has the first one's style;
// - the UTF-8 check agrees with a plain validator; Windows-1252 gives one character per byte.
#include "io/textbytes.h"
#include "fuzzinput.h"

#include <QList>

namespace {

QByteArray breaksAside(QByteArray bytes)
{
    return bytes.replace("\r\n", "\n").replace('\r', '\n');
}

/** The style of each line break of `bytes`, in order. */
QList<QByteArray> breakStyles(const QByteArray &bytes)
{
    QList<QByteArray> styles;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            styles << QByteArray("\r\n");
            ++i;
        } else if (bytes[i] == '\r' || bytes[i] == '\n') {
            styles << QByteArray(1, bytes[i]);
        }
    }
    return styles;
}

/** Well-formed UTF-8, written out from the table of valid byte sequences. */
bool validUtf8(const QByteArray &s)
{
    const auto *p = reinterpret_cast<const unsigned char *>(s.constData());
    const qsizetype n = s.size();
    qsizetype i = 0;
    auto inRange = [&](qsizetype k, unsigned lo, unsigned hi) { return k < n && p[k] >= lo && p[k] <= hi; };
    while (i < n) {
        const unsigned b = p[i];
        if (b <= 0x7F) { i += 1; continue; }
        if (b >= 0xC2 && b <= 0xDF && inRange(i + 1, 0x80, 0xBF)) { i += 2; continue; }
        if (b == 0xE0 && inRange(i + 1, 0xA0, 0xBF) && inRange(i + 2, 0x80, 0xBF)) { i += 3; continue; }
        if (((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) && inRange(i + 1, 0x80, 0xBF) && inRange(i + 2, 0x80, 0xBF)) { i += 3; continue; }
        if (b == 0xED && inRange(i + 1, 0x80, 0x9F) && inRange(i + 2, 0x80, 0xBF)) { i += 3; continue; }
        if (b == 0xF0 && inRange(i + 1, 0x90, 0xBF) && inRange(i + 2, 0x80, 0xBF) && inRange(i + 3, 0x80, 0xBF)) { i += 4; continue; }
        if (b >= 0xF1 && b <= 0xF3 && inRange(i + 1, 0x80, 0xBF) && inRange(i + 2, 0x80, 0xBF) && inRange(i + 3, 0x80, 0xBF)) { i += 4; continue; }
        if (b == 0xF4 && inRange(i + 1, 0x80, 0x8F) && inRange(i + 2, 0x80, 0xBF) && inRange(i + 3, 0x80, 0xBF)) { i += 4; continue; }
        return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray raw(reinterpret_cast<const char *>(data), qsizetype(size));
    const LoadedText loaded = normaliseLineBreaks(raw);
    const QList<QByteArray> styles = breakStyles(raw);

    FUZZ_CHECK(breaksAside(loaded.crlf) == breaksAside(raw), "loading changed a byte that is no line break");
    for (const QByteArray &style : breakStyles(loaded.crlf))
        FUZZ_CHECK(style == "\r\n", "the loaded text holds a lone CR or LF");
    FUZZ_CHECK(loaded.crlf.count("\r\n") == styles.size(), "loading changed the number of line breaks");
    FUZZ_CHECK(loaded.lineBreak == styles.value(0), "the kept style is not that of the first break");

    const QByteArray saved = restoreLineBreaks(loaded.crlf, loaded.lineBreak.isEmpty() ? QByteArray("\n") : loaded.lineBreak);
    FUZZ_CHECK(breaksAside(saved) == breaksAside(raw), "saving changed a byte that is no line break");
    FUZZ_CHECK(breakStyles(saved).size() == styles.size(), "saving changed the number of line breaks");
    if (styles.count(styles.value(0)) == styles.size())
        FUZZ_CHECK(saved == raw, "a file with one line-break style did not save back byte for byte");

    FUZZ_CHECK(isValidUtf8(raw.constData(), raw.size()) == validUtf8(raw), "isValidUtf8 differs from the validator");
    FUZZ_CHECK(fromWindows1252(raw).size() == raw.size(), "Windows-1252 gives one character per byte");
    const QString shown = fromUtf8OrWindows1252(raw);
    if (validUtf8(raw))
        FUZZ_CHECK(shown == QString::fromUtf8(raw), "valid UTF-8 is not read as UTF-8");
    return 0;
}
